// The demo's entry on Windows: the graphical entry point, none of whose
// arguments are used.
#include <windows.h>

#include <cwchar>

#include "app/demo.h"
#include "platform/system.h"

namespace {

// The data lies beside the program, and a program started from a shortcut,
// a console in another folder or a drag finds another working folder: it
// moves to its own. Wide names, so that any folder name works.
void enter_program_folder() {
    static wchar_t path[32768];
    DWORD length = GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]);
    if (length == 0 || length >= sizeof path / sizeof path[0]) return;
    wchar_t* last_separator = std::wcsrchr(path, L'\\');
    if (last_separator == nullptr) return;
    // "C:\korvanti.exe" lies in "C:\", not in "C:" (the drive's current folder).
    if (last_separator > path && last_separator[-1] == L':') ++last_separator;
    *last_separator = L'\0';
    SetCurrentDirectoryW(path);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    enter_program_folder();
    // Frames are paced with Sleep to 28 ms on timeGetTime, which steps every
    // millisecond only while the fine timer is asked for; at the default
    // 15.6 ms timer tick the frames would last 31 ms, or 47 ms once drawing
    // takes a few ms.
    platform_fine_timer_begin();
    // Nobody touches the keyboard or the mouse during the show: the display
    // and the machine stay awake until it ends.
    SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED);
    int32_t exit_code = run_demo();
    SetThreadExecutionState(ES_CONTINUOUS);
    platform_fine_timer_end();
    return exit_code;
}
