// Tick count and sleep in a web page. The sleep gives the browser its turn
// (Asyncify unwinds the program's stack and resumes it from a timer), so the
// page stays alive while the demo paces its frames.
#include <emscripten.h>

#include "platform/platform.h"

uint32_t platform_tick_count() {
    // Milliseconds since the page started, wrapping at 2^32 like the others.
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}

void platform_sleep(uint32_t milliseconds) { emscripten_sleep(milliseconds); }
