// The capture shows no boxes: the image reader's complaints go to standard
// error, prefixed with the program's name, and are counted so that a run with
// a broken picture fails instead of filming a scene without it.
#include <cstdio>

#include "platform/platform.h"
#include "tools/capture/message_boxes.h"

namespace {
int message_boxes = 0;
}

MessageBoxAnswer show_message_box(const char* text, const char* caption, MessageBoxIcon,
                                  MessageBoxButtons buttons) {
    message_boxes += 1;
    std::fprintf(stderr, "korvanti-capture: %s: %s\n", caption, text);
    return buttons == MessageBoxButtons::YES_NO ? MessageBoxAnswer::NO : MessageBoxAnswer::OK;
}

int message_boxes_shown() { return message_boxes; }
