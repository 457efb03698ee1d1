// The terminal (a Windows console) of a command-line program and its
// standard streams: keys read one by one without echo while the program runs,
// Ctrl-C caught, the terminal's width for a status line, and standard streams
// that carry bytes unchanged. One implementation per system
// (terminal_posix.cpp, terminal_win32.cpp).
#pragma once

#include <cstdint>
#include <cstdio>

enum class TerminalKey { NONE, SPACE, ESCAPE, LEFT, RIGHT, UP, DOWN, CHARACTER };

struct KeyPress {
    TerminalKey key;
    char character;  // with CHARACTER: the byte typed (a letter, a control code); else 0
};

// Takes the keys of standard input when it is a terminal the program owns
// (in the foreground): no echo, no line editing; Ctrl-C still interrupts.
// With `controlling_terminal`, the keys of the program's controlling
// terminal (the console on Windows) instead, for a program whose standard
// input carries data. The terminal's modes come back with terminal_keys_end,
// at exit, on the signals that end the program (SIGINT, SIGTERM, SIGHUP) and
// while it is stopped by Ctrl-Z. False, changing nothing, without such a
// terminal.
bool terminal_keys_begin(bool controlling_terminal = false);
// Puts the terminal back as terminal_keys_begin found it; harmless twice.
void terminal_keys_end();
// The next key, after waiting up to `timeout_ms` for one; NONE when none
// came. Without terminal_keys_begin it only waits. A key that arrives as
// several bytes (an arrow) counts once; Escape alone is told from an arrow by
// the bytes that follow it within a few milliseconds.
KeyPress terminal_wait_key(int32_t timeout_ms);

// From now on Ctrl-C and SIGTERM (closing the console on Windows) set a flag
// instead of ending the program at once; the terminal's modes are put back
// on the spot.
void terminal_catch_interrupts();
bool terminal_interrupted();
// Ends the program by the interrupt that was caught, as if it had not been
// caught (POSIX: the signal again, with its default action, so a shell loop
// around the program stops too; Windows: the status of a console program
// ended by Ctrl-C). Call it once the terminal is put back.
[[noreturn]] void terminal_end_by_interrupt();

// True when the program is alone on its console: on Windows, started from
// Explorer rather than from a console window, so that the console closes
// when the program ends. Such a program, with its standard input and output
// on that console, waits for a key at exit, before the console goes.
// Always false on systems without consoles.
bool terminal_console_is_own();
// True when the stream goes to a terminal (console).
bool terminal_is_terminal(FILE* stream);
// Columns of the terminal behind the stream; 0 when it has none or they are unknown.
int32_t terminal_columns(FILE* stream);
// Lets the stream's terminal take the cursor and erase sequences ESC [ K,
// ESC [ 2K and ESC [ A (a Windows console needs them switched on); false
// where it cannot.
bool terminal_line_controls(FILE* stream);

// Standard input and output carry bytes unchanged (no line-end translation).
void standard_streams_binary();
// True for a file whose write position can be moved back: a regular file,
// not a pipe or a terminal, and not opened for appending.
bool file_is_seekable(FILE* file);
// A write into a pipe whose reader has gone fails with an error the program
// can report, instead of ending it.
void broken_pipes_as_errors();
