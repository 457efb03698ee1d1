// The capture's show_message_box (platform.h) writes to standard error.
#pragma once

// Boxes shown since the start of the program.
int message_boxes_shown();
