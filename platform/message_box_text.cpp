#include "platform/message_box_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool message_box_wants_text() {
    const char* setting = std::getenv("KORVANTI_MESSAGE_BOX");
    return setting != nullptr && std::strcmp(setting, "stderr") == 0;
}

MessageBoxAnswer message_box_as_text(const char* text, const char* caption, MessageBoxButtons buttons) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return buttons == MessageBoxButtons::YES_NO ? MessageBoxAnswer::NO : MessageBoxAnswer::OK;
}
