// The demo's entry on Windows: the graphical entry point, none of whose
// arguments are used.
#include <windows.h>

#include "app/demo.h"
#include "platform/system.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Frames are paced with Sleep to 28 ms; at the default 15.6 ms timer tick
    // they would last 31 ms, or 47 ms once drawing takes a few ms.
    platform_fine_timer_begin();
    int32_t exit_code = run_demo();
    platform_fine_timer_end();
    return exit_code;
}
