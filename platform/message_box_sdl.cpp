// Message boxes through SDL. When SDL cannot show one (no display), or when
// KORVANTI_MESSAGE_BOX=stderr asks for it (unattended runs, where a modal box
// would wait for ever), the box goes to standard error instead and a question
// is answered No.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

bool message_box_to_stderr() {
    const char* setting = getenv("KORVANTI_MESSAGE_BOX");
    return setting != nullptr && strcmp(setting, "stderr") == 0;
}

MessageBoxAnswer message_box_print(const char* text, const char* caption) {
    fprintf(stderr, "%s: %s\n", caption, text);
    return MessageBoxAnswer::NO;
}

}  // namespace

MessageBoxAnswer show_message_box(const char* text, const char* caption, MessageBoxIcon icon,
                                  MessageBoxButtons buttons) {
    bool question = buttons == MessageBoxButtons::YES_NO;
    if (message_box_to_stderr()) {
        message_box_print(text, caption);
        return question ? MessageBoxAnswer::NO : MessageBoxAnswer::OK;
    }
    if (!question) {
        if (SDL_ShowSimpleMessageBox(message_box_flags(icon), caption, text, nullptr) != 0) {
            message_box_print(text, caption);
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
    if (SDL_ShowMessageBox(&box, &chosen) != 0) {
        return message_box_print(text, caption);
    }
    return chosen == 1 ? MessageBoxAnswer::YES : MessageBoxAnswer::NO;
}
