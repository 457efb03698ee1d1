// Win32 forms of the system calls.
#include <windows.h>

#include "platform/system.h"

// The Windows heap keeps freed blocks for reuse by itself.
void platform_keep_freed_heap() {}

void platform_fine_timer_begin() { timeBeginPeriod(1); }
void platform_fine_timer_end() { timeEndPeriod(1); }
