// Windows consoles: console input records for the keys (virtual-key codes,
// so arrows and Escape need no parsing), the console's own mode switched off
// line input and echo, and a console control handler for Ctrl-C, Ctrl-Break
// and closing the window.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "platform/terminal.h"

namespace {

struct Terminal {
    HANDLE input;                 // the console's input while keys are on
    DWORD saved_mode;             // its mode found by terminal_keys_begin
    volatile LONG keys_on;        // the mode was changed and must be put back
    volatile LONG interrupted;    // Ctrl-C, Ctrl-Break or the window closing
    bool exit_hook_set;
    bool input_opened;            // `input` is CONIN$, opened by us
};

Terminal terminal;

void restore_mode() {
    if (terminal.keys_on) SetConsoleMode(terminal.input, terminal.saved_mode);
}

void restore_at_exit() { terminal_keys_end(); }

// Standard input and output are both the console, not a file or a pipe.
bool streams_on_console() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) &&
           GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
}

// Waits for a key before the console goes: runs at exit, after the
// program's own output.
void hold_console_at_exit() {
    terminal_keys_end();
    std::fflush(stdout);
    std::fflush(stderr);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const char prompt[] = "\nPress any key to close this window.";
    DWORD written = 0;
    WriteConsoleA(output, prompt, sizeof prompt - 1, &written, nullptr);
    DWORD mode = 0;
    GetConsoleMode(input, &mode);
    SetConsoleMode(input, (mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) |
                              ENABLE_PROCESSED_INPUT);
    FlushConsoleInputBuffer(input);
    for (;;) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputA(input, &record, 1, &read) || read == 0) break;
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
    }
    SetConsoleMode(input, mode);
}

// A console program started from Explorer (double-clicked, or a file dropped
// on it) gets a console of its own, which closes the moment the program
// ends: its last words, a usage or an error, would flash by unread.
bool register_console_hold() {
    if (!terminal_console_is_own() || !streams_on_console()) return false;
    std::atexit(hold_console_at_exit);
    return true;
}

[[maybe_unused]] const bool console_hold_registered = register_console_hold();

// Runs on a thread of its own; the program ends its work and returns.
BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            restore_mode();
            InterlockedExchange(&terminal.interrupted, 1);
            return TRUE;
        default: return FALSE;
    }
}

KeyPress key_of(const KEY_EVENT_RECORD& event) {
    switch (event.wVirtualKeyCode) {
        case VK_SPACE: return {TerminalKey::SPACE, 0};
        case VK_ESCAPE: return {TerminalKey::ESCAPE, 0};
        case VK_LEFT: return {TerminalKey::LEFT, 0};
        case VK_RIGHT: return {TerminalKey::RIGHT, 0};
        case VK_UP: return {TerminalKey::UP, 0};
        case VK_DOWN: return {TerminalKey::DOWN, 0};
        default: break;
    }
    char character = event.uChar.AsciiChar;
    if (character == 0) return {TerminalKey::NONE, 0};  // Shift, Ctrl and the like alone
    return {TerminalKey::CHARACTER, character};
}

// The first key pressed among the console's waiting input records; the
// others (releases, mouse, focus, size) are taken and dropped.
KeyPress read_waiting_key() {
    DWORD waiting = 0;
    while (GetNumberOfConsoleInputEvents(terminal.input, &waiting) && waiting > 0) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputA(terminal.input, &record, 1, &read) || read == 0) break;
        if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
        KeyPress key = key_of(record.Event.KeyEvent);
        if (key.key != TerminalKey::NONE) return key;
    }
    return {TerminalKey::NONE, 0};
}

}  // namespace

bool terminal_keys_begin(bool controlling_terminal) {
    if (terminal.keys_on) return true;
    // The console's own input, whatever standard input was redirected from.
    HANDLE input = controlling_terminal ? CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                      nullptr)
                                        : GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == INVALID_HANDLE_VALUE || input == nullptr || !GetConsoleMode(input, &mode)) {
        if (controlling_terminal && input != INVALID_HANDLE_VALUE) CloseHandle(input);
        return false;
    }
    terminal.input = input;
    terminal.input_opened = controlling_terminal;
    terminal.saved_mode = mode;
    if (!terminal.exit_hook_set) {
        std::atexit(restore_at_exit);
        terminal.exit_hook_set = true;
    }
    terminal.keys_on = 1;
    // Processed input stays on: Ctrl-C reaches the control handler.
    DWORD raw = (mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) | ENABLE_PROCESSED_INPUT;
    SetConsoleMode(input, raw);
    FlushConsoleInputBuffer(input);
    return true;
}

void terminal_keys_end() {
    if (!terminal.keys_on) return;
    restore_mode();
    terminal.keys_on = 0;
    if (terminal.input_opened) CloseHandle(terminal.input);
    terminal.input_opened = false;
}

KeyPress terminal_wait_key(int32_t timeout_ms) {
    if (!terminal.keys_on) {
        Sleep(static_cast<DWORD>(timeout_ms));
        return {TerminalKey::NONE, 0};
    }
    DWORD start = GetTickCount();
    for (;;) {
        KeyPress key = read_waiting_key();
        if (key.key != TerminalKey::NONE) return key;
        DWORD spent = GetTickCount() - start;
        if (spent >= static_cast<DWORD>(timeout_ms) || terminal.interrupted) return key;
        WaitForSingleObject(terminal.input, static_cast<DWORD>(timeout_ms) - spent);
    }
}

void terminal_catch_interrupts() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool terminal_interrupted() { return terminal.interrupted != 0; }

// STATUS_CONTROL_C_EXIT: what cmd and PowerShell see of a program Ctrl-C ended.
void terminal_end_by_interrupt() {
    terminal_keys_end();
    ExitProcess(0xC000013Au);
}

bool terminal_console_is_own() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

bool terminal_is_terminal(FILE* stream) {
    DWORD mode = 0;
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

int32_t terminal_columns(FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

// Consoles from Windows 10 on take them once asked to; older ones refuse.
bool terminal_line_controls(FILE* stream) {
    DWORD mode = 0;
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void standard_streams_binary() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
}

bool file_is_seekable(FILE* file) {
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
}

// Windows has no signal for it: such a write already fails with an error.
void broken_pipes_as_errors() {}
