// Tick count and sleep through the kernel. GetTickCount is 32-bit and wraps
// after about 49.7 days, as the callers expect.
#include <windows.h>

#include "platform/platform.h"

uint32_t platform_tick_count() { return GetTickCount(); }

void platform_sleep(uint32_t milliseconds) { Sleep(milliseconds); }
