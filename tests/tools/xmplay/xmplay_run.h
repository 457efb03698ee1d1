// Running xmplay as a user does: through the shell with files and pipes, or
// on a pseudo-terminal that the test types into and reads the screen of.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <string>
#include <vector>

#include "korvanti/player.h"
#include "tools/make_assets/xm_writer.h"

// The program built with these tests.
std::string xmplay_path();

struct RunResult {
    int status;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// `arguments` as a shell would split them (quote paths with ''); standard
// input from /dev/null and the outputs into `folder`, unless `arguments`
// redirects them. `environment` goes before the command ("NAME=value ", or
// "cd DIR && ").
RunResult run_xmplay(const std::string& folder, const std::string& arguments, const std::string& environment = "");

std::string read_file(const std::string& path);
std::string write_module(const XmModule& module, const std::string& path);
uint32_t u32_at(const std::string& bytes, size_t at);
// The module rendered in this process, as xmplay renders it: `blocks` blocks
// of little-endian PCM from the song's start, and their snapshots.
std::string offline_pcm(const XmModule& module, int32_t blocks, int32_t rate = 44100,
                        std::vector<korvanti_sync_snapshot>* snapshots = nullptr);
std::string offline_pcm_of_bytes(const std::vector<uint8_t>& bytes, int32_t blocks);

// xmplay on a pseudo-terminal of `columns` columns: standard input, output
// and error are the terminal, which is the program's controlling terminal
// with the program in its foreground.
struct PtySession {
    pid_t pid;
    int master;           // the test's side: what is typed, what is shown
    int slave;            // kept open so the screen can be read after the exit
    std::string screen;   // everything shown so far
    termios modes_before; // the terminal's modes before the program started
    int wait_status;      // as waitpid gave it, once the program has ended
};

bool pty_start(PtySession* session, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment, int columns = 100);
// Any program on the terminal: `argv` whole, program first.
bool pty_start_program(PtySession* session, const std::vector<std::string>& argv,
                       const std::vector<std::string>& environment, int columns = 100);
// Changes the terminal's width, as a window narrowed or widened would.
void pty_resize(PtySession* session, int columns);
// The signal that ended the program; 0 when it exited or was killed by the harness.
int pty_end_signal(const PtySession& session);
// Reads the screen until `text` shows after offset `from`, or `seconds` pass.
// The offset just after the text, or npos on a timeout.
size_t pty_wait_for(PtySession* session, const std::string& text, size_t from, double seconds);
void pty_type(PtySession* session, const std::string& keys);
// Waits up to `seconds` for the program to exit (killing it after that) and
// reads the rest of the screen; the exit status, -1 when killed or ended by
// a signal (pty_end_signal tells which).
int pty_finish(PtySession* session, double seconds);
// The terminal's modes now, as the program left them.
termios pty_modes(const PtySession& session);
void pty_close(PtySession* session);
