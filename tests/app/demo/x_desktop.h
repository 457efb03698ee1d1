// The X display as a viewer meets it, for the tests that run the whole demo
// (natively or under Wine): a key tapped as a person would, which window is
// in front, and whether the mouse cursor can be seen.
#pragma once

#include <string>

// Presses and releases the key at once, through the XTest extension (as if
// typed on the keyboard), on the display named by DISPLAY. False, with the
// reason in *error, when that cannot be done.
bool x_tap_key(const char* key_name, std::string* error);

// The name of the frontmost window that shows on the screen (mapped, drawn
// on, larger than a pixel); empty when there is none.
std::string x_frontmost_window_name();

// True when the cursor shown at the pointer has a visible pixel; false when
// it is hidden (all transparent) or the display cannot tell.
bool x_cursor_visible();
