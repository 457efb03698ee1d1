// POSIX terminals: termios without ICANON and ECHO for the keys, poll for
// waiting, and signal handlers that put the saved modes back. Everything a
// handler touches is a plain field of one static record, and the calls it
// makes (tcsetattr, sigaction, raise) are async-signal-safe.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/terminal.h"

namespace {

constexpr int ESCAPE_FOLLOW_MS = 30;  // an arrow's bytes come together; Escape comes alone
constexpr int PENDING_CAPACITY = 32;

struct Terminal {
    volatile sig_atomic_t keys_on;      // raw modes applied, `saved` holds the old ones
    volatile sig_atomic_t interrupted;  // the first of Ctrl-C (SIGINT), SIGTERM or SIGHUP seen; 0: none
    bool exit_hook_set;
    int fd;                             // the terminal the keys come from
    bool fd_opened;                     // fd is the controlling terminal, opened by us
    termios saved;                      // modes found by terminal_keys_begin
    unsigned char pending[PENDING_CAPACITY];  // bytes read, not yet made keys
    int pending_count;
};

Terminal terminal;

bool in_foreground(int fd) { return tcgetpgrp(fd) == getpgrp(); }

void apply_raw_modes() {
    termios raw = terminal.saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ECHONL));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(terminal.fd, TCSANOW, &raw);
}

void restore_modes() {
    if (terminal.keys_on) tcsetattr(terminal.fd, TCSANOW, &terminal.saved);
}

void on_interrupt(int signal_number) {
    int saved_errno = errno;
    restore_modes();
    if (terminal.interrupted == 0) terminal.interrupted = signal_number;
    errno = saved_errno;
}

void set_handler(int signal_number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
}

// Ctrl-Z: the shell gets its terminal back as it was while we are stopped,
// and the keys are taken again when we go on in the foreground.
void on_stop(int) {
    int saved_errno = errno;
    restore_modes();
    set_handler(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    raise(SIGTSTP);  // stopped here until SIGCONT
    set_handler(SIGTSTP, on_stop);
    if (terminal.keys_on && in_foreground(terminal.fd)) apply_raw_modes();
    errno = saved_errno;
}

void restore_at_exit() { terminal_keys_end(); }

bool wait_readable(int timeout_ms) {
    pollfd input{terminal.fd, POLLIN, 0};
    return poll(&input, 1, timeout_ms) > 0 && (input.revents & POLLIN) != 0;
}

// More bytes of standard input into `pending`, without blocking.
void read_pending() {
    while (terminal.pending_count < PENDING_CAPACITY && wait_readable(0)) {
        ssize_t got = read(terminal.fd, terminal.pending + terminal.pending_count,
                           static_cast<size_t>(PENDING_CAPACITY - terminal.pending_count));
        if (got <= 0) return;
        terminal.pending_count += static_cast<int>(got);
    }
}

void drop_pending(int count) {
    if (count > terminal.pending_count) count = terminal.pending_count;
    std::memmove(terminal.pending, terminal.pending + count, static_cast<size_t>(terminal.pending_count - count));
    terminal.pending_count -= count;
}

// Index of the byte that ends the escape sequence in `pending`, or
// pending_count when it has not come yet.
int final_byte_index() {
    int end = 2;
    while (end < terminal.pending_count && (terminal.pending[end] < 0x40 || terminal.pending[end] > 0x7E)) ++end;
    return end;
}

// ESC [ x or ESC O x: an arrow for A..D, any other sequence runs to its
// final byte (0x40..0x7E) and is dropped.
KeyPress escape_sequence() {
    int end = final_byte_index();
    if (end >= terminal.pending_count && wait_readable(ESCAPE_FOLLOW_MS)) {
        read_pending();
        end = final_byte_index();
    }
    if (end >= terminal.pending_count) {  // cut off: drop what came
        terminal.pending_count = 0;
        return {TerminalKey::NONE, 0};
    }
    unsigned char final_byte = terminal.pending[end];
    bool plain = end == 2;
    drop_pending(end + 1);
    if (!plain) return {TerminalKey::NONE, 0};
    switch (final_byte) {
        case 'A': return {TerminalKey::UP, 0};
        case 'B': return {TerminalKey::DOWN, 0};
        case 'C': return {TerminalKey::RIGHT, 0};
        case 'D': return {TerminalKey::LEFT, 0};
        default: return {TerminalKey::NONE, 0};
    }
}

KeyPress next_pending_key() {
    unsigned char first = terminal.pending[0];
    if (first != 0x1B) {
        drop_pending(1);
        if (first == ' ') return {TerminalKey::SPACE, 0};
        return {TerminalKey::CHARACTER, static_cast<char>(first)};
    }
    if (terminal.pending_count == 1 && wait_readable(ESCAPE_FOLLOW_MS)) read_pending();
    if (terminal.pending_count == 1) {
        drop_pending(1);
        return {TerminalKey::ESCAPE, 0};
    }
    unsigned char second = terminal.pending[1];
    if (second == '[' || second == 'O') return escape_sequence();
    drop_pending(2);  // Alt with a key: not one of ours
    return {TerminalKey::NONE, 0};
}

}  // namespace

bool terminal_keys_begin(bool controlling_terminal) {
    if (terminal.keys_on) return true;
    int fd = controlling_terminal ? open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC) : STDIN_FILENO;
    if (fd < 0) return false;
    if (!isatty(fd) || !in_foreground(fd) || tcgetattr(fd, &terminal.saved) != 0) {
        if (controlling_terminal) close(fd);
        return false;
    }
    terminal.fd = fd;
    terminal.fd_opened = controlling_terminal;
    terminal.pending_count = 0;
    if (!terminal.exit_hook_set) {
        std::atexit(restore_at_exit);
        terminal.exit_hook_set = true;
    }
    // The handlers must find the saved modes before the raw ones apply.
    terminal.keys_on = 1;
    set_handler(SIGTSTP, on_stop);
    apply_raw_modes();
    return true;
}

void terminal_keys_end() {
    if (!terminal.keys_on) return;
    restore_modes();
    terminal.keys_on = 0;
    set_handler(SIGTSTP, SIG_DFL);
    if (terminal.fd_opened) close(terminal.fd);
    terminal.fd_opened = false;
    terminal.fd = STDIN_FILENO;
}

KeyPress terminal_wait_key(int32_t timeout_ms) {
    if (!terminal.keys_on) {
        poll(nullptr, 0, timeout_ms);  // a signal ends the wait early
        return {TerminalKey::NONE, 0};
    }
    if (terminal.pending_count == 0 && wait_readable(timeout_ms)) read_pending();
    if (terminal.pending_count == 0) return {TerminalKey::NONE, 0};
    return next_pending_key();
}

void terminal_catch_interrupts() {
    set_handler(SIGINT, on_interrupt);
    set_handler(SIGTERM, on_interrupt);
    set_handler(SIGHUP, on_interrupt);
}

bool terminal_interrupted() { return terminal.interrupted != 0; }

void terminal_end_by_interrupt() {
    int signal_number = terminal.interrupted != 0 ? static_cast<int>(terminal.interrupted) : SIGINT;
    terminal_keys_end();
    set_handler(signal_number, SIG_DFL);
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, signal_number);
    pthread_sigmask(SIG_UNBLOCK, &ending, nullptr);
    raise(signal_number);
    _exit(128 + signal_number);  // not reached: the default action ends the process
}

// A terminal outlives the programs it runs.
bool terminal_console_is_own() { return false; }

bool terminal_is_terminal(FILE* stream) { return isatty(fileno(stream)) != 0; }

int32_t terminal_columns(FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

// Every terminal of today takes them; a dumb one does not.
bool terminal_line_controls(FILE* stream) {
    const char* type = std::getenv("TERM");
    return isatty(fileno(stream)) != 0 && (type == nullptr || std::strcmp(type, "dumb") != 0);
}

// POSIX streams never translate line ends.
void standard_streams_binary() {}

// A file opened for appending writes at its end whatever the position says.
bool file_is_seekable(FILE* file) {
    struct stat status {};
    int flags = fcntl(fileno(file), F_GETFL);
    return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) && flags >= 0 && (flags & O_APPEND) == 0;
}

void broken_pipes_as_errors() { set_handler(SIGPIPE, SIG_IGN); }
