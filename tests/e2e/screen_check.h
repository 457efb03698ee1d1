// What the X display shows while the demo runs: the caption of its window
// and how much of the screen is lit.
#pragma once

#include <string>

struct ScreenState {
    bool opened;          // the display could be opened
    std::string caption;  // of the first top-level window whose name starts with the prefix
    long lit_pixels;      // pixels that are not black
    long pixels;          // pixels on the screen
};

// Looks at the display named by DISPLAY.
ScreenState look_at_screen(const std::string& caption_prefix = "korvanti");
