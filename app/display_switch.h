// The full-screen window's display mode while the program loses and regains
// the activation (Alt-Tab, a click on another program, the Windows key). A
// program that sets a temporary mode gives the desktop its own mode back when
// it is left: the mode restored, the window minimised, the cursor shown; and
// takes the mode again when it is brought back. The calls go through
// DisplayOps, so that this runs under test without a display.
#pragma once

// The window system's side.
struct DisplayOps {
    bool (*take_mode)();     // the temporary 640x480 mode again; false when refused
    void (*give_back_mode)();  // the user's own mode, from the registry
    void (*minimise)();
    void (*restore)();       // the minimised window shown at its place and size again
    void (*show_cursor)(bool shown);  // one step of the system's show count
};

struct DisplaySwitch {
    bool on;              // the temporary mode was taken and not yet released at tear-down
    bool given_back;      // the desktop has its own mode now: cursor shown, window minimised
};

// The mode was taken and the cursor hidden at the window's creation.
void display_switch_start(DisplaySwitch* display);
// The program (any of its windows) gained or lost the activation. Nothing
// happens to a framed window, twice in a row, or after the tear-down.
void display_switch_activation(DisplaySwitch* display, const DisplayOps* ops, bool activated);
// Tear-down: the desktop's mode and the cursor back, unless the program is
// inactive and gave them back already; later activations change nothing.
void display_switch_end(DisplaySwitch* display, const DisplayOps* ops);
