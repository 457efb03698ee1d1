// Tick count and sleep through SDL. SDL_GetTicks is 32-bit and wraps after
// about 49.7 days, as the callers expect.
#include <SDL.h>

#include "platform/platform.h"

uint32_t platform_tick_count() { return SDL_GetTicks(); }

void platform_sleep(uint32_t milliseconds) { SDL_Delay(milliseconds); }
