// A viewer's quick tap of Escape while the demo runs: pressed and released
// at once, once the caption shows a frame rate (the loop is running).
#pragma once

#include <string>

#include "e2e/demo_run.h"

struct EscapeTap {
    DemoRun run;
    bool tapped;               // the tap was sent
    std::string tap_error;     // why not
    double seconds_after_tap;  // from the tap to the program's end
};

// Runs `launch` (its deadline bounds the whole run) and taps Escape once the
// window whose caption starts with "korvanti" shows a rate.
EscapeTap run_and_tap_escape(DemoLaunch launch);
