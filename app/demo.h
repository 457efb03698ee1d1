// The demo from start to end: window, scenes, music, then the main loop.
#pragma once

#include <cstdint>

// Runs the whole demo and returns the process exit code.
int32_t run_demo();
