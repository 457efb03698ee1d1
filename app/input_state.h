// The keyboard and activity state that the window's messages write and the
// main loop reads, both on the main thread.
#pragma once

#include <cstdint>

// Virtual-key code of Escape, the one key the loop looks at.
constexpr uint8_t KEY_ESCAPE = 0x1B;

struct InputState {
    bool keys[256];  // key-down flag per virtual-key code 0..255
    bool active;     // false while the window is minimised; starts true
};
