// The platform layer for fuzzing: message boxes are swallowed, time stands still.
#include "platform/platform.h"

MessageBoxAnswer show_message_box(const char*, const char*, MessageBoxIcon, MessageBoxButtons buttons) {
    return buttons == MessageBoxButtons::YES_NO ? MessageBoxAnswer::NO : MessageBoxAnswer::OK;
}

uint32_t platform_tick_count() { return 0; }

void platform_sleep(uint32_t) {}
