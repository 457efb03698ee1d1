// Tick count and sleep through the kernel and the multimedia timer. Frames
// are paced to 28 ms on this count, so it must step every millisecond:
// GetTickCount steps every 15.6 ms whatever the timer resolution, while
// timeGetTime steps every millisecond once timeBeginPeriod(1) is in force
// (the demo's entry asks for it). Both are 32-bit and wrap after about 49.7
// days, as the callers expect.
#include <windows.h>

#include "platform/platform.h"

uint32_t platform_tick_count() { return timeGetTime(); }

void platform_sleep(uint32_t milliseconds) { Sleep(milliseconds); }
