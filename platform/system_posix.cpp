// POSIX (Linux) forms of the system calls.
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/system.h"

void platform_keep_freed_heap() {
#if defined(__GLIBC__)
    // glibc gives the freed top of the heap back above 128 KiB by default.
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
}

void platform_fine_timer_begin() {}
void platform_fine_timer_end() {}
