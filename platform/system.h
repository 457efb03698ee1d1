// Operating-system calls the scenes and the shell need beyond the C++
// library: heap tuning and the system timer's resolution.
// One implementation per system (system_posix.cpp, system_win32.cpp); none
// of them needs a window or a sound library.
#pragma once

// Keeps freed heap memory in the process instead of returning it to the
// system at once (a renderer that frees and reallocates large buffers every
// draw would otherwise fault them in again each time). Nothing where the
// allocator does not need it.
void platform_keep_freed_heap();

// Sleeps and timers to the millisecond for as long as the program runs:
// Windows ticks every 15.6 ms by default, so Sleep(12) would sleep 15.6 or
// 31.2 ms. Every platform_fine_timer_begin needs its platform_fine_timer_end.
// Nothing on systems whose sleeps are already exact.
void platform_fine_timer_begin();
void platform_fine_timer_end();
