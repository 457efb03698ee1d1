#include "support/message_box_recording.h"

#include <cstdio>

MessageBoxRecording message_box_recording = {{}, 0, MessageBoxAnswer::NO};

void message_box_recording_reset(MessageBoxAnswer answer) {
    message_box_recording = MessageBoxRecording{};
    message_box_recording.answer = answer;
}

MessageBoxAnswer show_message_box(const char* text, const char* caption, MessageBoxIcon icon,
                                  MessageBoxButtons buttons) {
    MessageBoxRecording& recording = message_box_recording;
    if (recording.count < MESSAGE_BOX_RECORD_CAPACITY) {
        RecordedMessageBox& box = recording.boxes[recording.count];
        snprintf(box.text, sizeof box.text, "%s", text ? text : "");
        snprintf(box.caption, sizeof box.caption, "%s", caption ? caption : "");
        box.icon = icon;
        box.buttons = buttons;
    }
    ++recording.count;
    return buttons == MessageBoxButtons::YES_NO ? recording.answer : MessageBoxAnswer::OK;
}
