// Message boxes through SDL. When SDL cannot show one (no display), or when
// the environment asks for text, the box goes to standard error instead and
// a question is answered No.
#include <SDL.h>

#include "platform/message_box_text.h"
#include "platform/platform.h"

namespace {

Uint32 message_box_flags(MessageBoxIcon icon) {
    switch (icon) {
        case MessageBoxIcon::WARNING: return SDL_MESSAGEBOX_WARNING;
        case MessageBoxIcon::STOP: return SDL_MESSAGEBOX_ERROR;
        case MessageBoxIcon::INFORMATION: return SDL_MESSAGEBOX_INFORMATION;
        case MessageBoxIcon::NONE: break;
    }
    return 0;
}

}  // namespace

MessageBoxAnswer show_message_box(const char* text, const char* caption, MessageBoxIcon icon,
                                  MessageBoxButtons buttons) {
    if (message_box_wants_text()) return message_box_as_text(text, caption, buttons);
    if (buttons != MessageBoxButtons::YES_NO) {
        if (SDL_ShowSimpleMessageBox(message_box_flags(icon), caption, text, nullptr) != 0) {
            message_box_as_text(text, caption, buttons);
        }
        return MessageBoxAnswer::OK;
    }
    const SDL_MessageBoxButtonData choices[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
    };
    SDL_MessageBoxData box = {};
    box.flags = message_box_flags(icon);
    box.title = caption;
    box.message = text;
    box.numbuttons = 2;
    box.buttons = choices;
    int chosen = 0;
    if (SDL_ShowMessageBox(&box, &chosen) != 0) return message_box_as_text(text, caption, buttons);
    return chosen == 1 ? MessageBoxAnswer::YES : MessageBoxAnswer::NO;
}
