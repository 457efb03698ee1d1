#include "app/display_switch.h"

void display_switch_start(DisplaySwitch* display) {
    display->on = true;
    display->given_back = false;
}

void display_switch_activation(DisplaySwitch* display, const DisplayOps* ops, bool activated) {
    if (!display->on) return;
    if (!activated && !display->given_back) {
        // The mode first, so that the window is minimised on the user's desktop.
        ops->give_back_mode();
        ops->minimise();
        ops->show_cursor(true);
        display->given_back = true;
    } else if (activated && display->given_back) {
        // Refused (another program holds the display): the window stays
        // minimised on the desktop, and the next activation tries again.
        if (!ops->take_mode()) return;
        ops->restore();
        ops->show_cursor(false);
        display->given_back = false;
    }
}

void display_switch_end(DisplaySwitch* display, const DisplayOps* ops) {
    if (!display->on) return;
    display->on = false;
    if (display->given_back) return;
    ops->give_back_mode();
    ops->show_cursor(true);
}
