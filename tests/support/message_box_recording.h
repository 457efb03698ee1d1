// A show_message_box for tests: records every box instead of showing it and
// answers questions with a chosen value. Linked into every test program, so
// no test can ever block on a modal box.
#pragma once

#include "platform/platform.h"

struct RecordedMessageBox {
    char text[192];  // truncated to fit, always terminated
    char caption[32];
    MessageBoxIcon icon;
    MessageBoxButtons buttons;
};

constexpr int MESSAGE_BOX_RECORD_CAPACITY = 32;

struct MessageBoxRecording {
    RecordedMessageBox boxes[MESSAGE_BOX_RECORD_CAPACITY];  // the first ones shown, in order
    int count;                  // boxes shown since the reset, also past the capacity
    MessageBoxAnswer answer;    // what a Yes/No question gets; OK boxes answer OK
};

extern MessageBoxRecording message_box_recording;

// Forgets every recorded box and sets the answer to questions.
void message_box_recording_reset(MessageBoxAnswer answer = MessageBoxAnswer::NO);
