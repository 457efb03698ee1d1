// Message boxes through MessageBoxA, without an owner window. With
// KORVANTI_MESSAGE_BOX=stderr they go to standard error instead.
#include <windows.h>

#include "platform/message_box_text.h"
#include "platform/platform.h"

namespace {

UINT message_box_style(MessageBoxIcon icon, MessageBoxButtons buttons) {
    UINT style = buttons == MessageBoxButtons::YES_NO ? MB_YESNO : MB_OK;
    switch (icon) {
        case MessageBoxIcon::WARNING: return style | MB_ICONEXCLAMATION;
        case MessageBoxIcon::STOP: return style | MB_ICONSTOP;
        case MessageBoxIcon::INFORMATION: return style | MB_ICONINFORMATION;
        case MessageBoxIcon::NONE: break;
    }
    return style;
}

}  // namespace

MessageBoxAnswer show_message_box(const char* text, const char* caption, MessageBoxIcon icon,
                                  MessageBoxButtons buttons) {
    if (message_box_wants_text()) return message_box_as_text(text, caption, buttons);
    int answer = MessageBoxA(nullptr, text, caption, message_box_style(icon, buttons));
    if (buttons != MessageBoxButtons::YES_NO) return MessageBoxAnswer::OK;
    return answer == IDYES ? MessageBoxAnswer::YES : MessageBoxAnswer::NO;
}
