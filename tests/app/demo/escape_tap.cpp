#include "escape_tap.h"

#include <cstdio>

#include "e2e/screen_check.h"
#include "x_desktop.h"

EscapeTap run_and_tap_escape(DemoLaunch launch) {
    EscapeTap tap = {};
    double tapped_at = -1.0;
    launch.while_running = [&](double seconds) {
        if (tapped_at >= 0 || !tap.tap_error.empty()) return;
        float rate = 0;
        if (std::sscanf(look_at_screen().caption.c_str(), "korvanti [%f FPS]", &rate) != 1) return;
        tap.tapped = x_tap_key("Escape", &tap.tap_error);
        if (tap.tapped) tapped_at = seconds;
    };
    tap.run = run_demo(launch);
    tap.seconds_after_tap = tapped_at >= 0 ? tap.run.seconds - tapped_at : -1.0;
    return tap;
}
