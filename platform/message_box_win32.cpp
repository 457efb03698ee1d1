// Message boxes through MessageBoxA, without an owner window. With
// KORVANTI_MESSAGE_BOX=stderr they go to standard error instead.
//
// A box may come up while the 640x480 mode is set, over the full-screen
// window whose cursor is hidden (a damaged picture is reported while the
// scenes load): it is made topmost and brought to the foreground, so that it
// cannot fall behind that window, and the cursor shows while it is up.
#include <windows.h>

#include "platform/message_box_text.h"
#include "platform/platform.h"

namespace {

UINT message_box_style(MessageBoxIcon icon, MessageBoxButtons buttons) {
    UINT style = buttons == MessageBoxButtons::YES_NO ? MB_YESNO : MB_OK;
    style |= MB_TOPMOST | MB_SETFOREGROUND;
    switch (icon) {
        case MessageBoxIcon::WARNING: return style | MB_ICONEXCLAMATION;
        case MessageBoxIcon::STOP: return style | MB_ICONSTOP;
        case MessageBoxIcon::INFORMATION: return style | MB_ICONINFORMATION;
        case MessageBoxIcon::NONE: break;
    }
    return style;
}

// The cursor shows while the system's show count is 0 or more: raises the
// count that far and says by how much, to take it back by as much after.
int show_cursor_for_box() {
    int raised = 1;
    while (ShowCursor(TRUE) < 0) ++raised;
    return raised;
}

void hide_cursor_after_box(int raised) {
    for (int i = 0; i < raised; ++i) ShowCursor(FALSE);
}

}  // namespace

MessageBoxAnswer show_message_box(const char* text, const char* caption, MessageBoxIcon icon,
                                  MessageBoxButtons buttons) {
    if (message_box_wants_text()) return message_box_as_text(text, caption, buttons);
    int raised = show_cursor_for_box();
    int answer = MessageBoxA(nullptr, text, caption, message_box_style(icon, buttons));
    hide_cursor_after_box(raised);
    if (buttons != MessageBoxButtons::YES_NO) return MessageBoxAnswer::OK;
    return answer == IDYES ? MessageBoxAnswer::YES : MessageBoxAnswer::NO;
}
