#include "xmplay/xmplay_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "korvanti/player.h"
#include "support/song_from_bytes.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Whatever the program has shown, waiting up to `timeout_ms` for the first of it.
void read_screen(PtySession* session, int timeout_ms) {
    pollfd screen{session->master, POLLIN, 0};
    while (poll(&screen, 1, timeout_ms) > 0 && (screen.revents & POLLIN)) {
        char bytes[4096];
        ssize_t got = read(session->master, bytes, sizeof bytes);
        if (got <= 0) return;
        session->screen.append(bytes, static_cast<size_t>(got));
        timeout_ms = 0;
    }
}

}  // namespace

std::string xmplay_path() { return KORVANTI_XMPLAY; }

std::string read_file(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream contents;
    contents << stream.rdbuf();
    return contents.str();
}

RunResult run_xmplay(const std::string& folder, const std::string& arguments, const std::string& environment) {
    std::string out = folder + "/stdout.txt";
    std::string err = folder + "/stderr.txt";
    // Redirections in `arguments` come later and so win.
    std::string command = environment + "'" + xmplay_path() + "' >'" + out + "' 2>'" + err + "' </dev/null " + arguments;
    int raw = std::system(command.c_str());
    return RunResult{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(out), read_file(err)};
}

std::string write_module(const XmModule& module, const std::string& path) {
    xm_write_file(module, path);
    return path;
}

uint32_t u32_at(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    return value;
}

namespace {

// `blocks` blocks of the song without end, as the player renders them.
std::string render_song(korvanti_song* song, int32_t blocks, int32_t rate,
                        std::vector<korvanti_sync_snapshot>* snapshots) {
    std::string pcm;
    PlayerPtr player = offline_player(rate);
    if (song == nullptr || !player) return pcm;
    korvanti_player_set_passes(player.get(), 0);
    if (korvanti_player_start(player.get(), song) != KORVANTI_OK) return pcm;
    const int32_t block_frames = korvanti_player_block_frames(player.get());
    std::vector<int16_t> values(size_t(2 * block_frames));
    for (int32_t block = 0; block < blocks; ++block) {
        korvanti_sync_snapshot snapshot = {};
        korvanti_player_render(player.get(), values.data(), block_frames);
        korvanti_player_get_snapshot(player.get(), block, &snapshot);
        if (snapshots != nullptr) snapshots->push_back(snapshot);
        for (int32_t i = 0; i < block_frames * 2; ++i) {
            auto value = static_cast<uint16_t>(values[size_t(i)]);
            pcm.push_back(static_cast<char>(value & 255));
            pcm.push_back(static_cast<char>(value >> 8));
        }
    }
    return pcm;
}

}  // namespace

std::string offline_pcm(const XmModule& module, int32_t blocks, int32_t rate,
                        std::vector<korvanti_sync_snapshot>* snapshots) {
    SongPtr song(load_song_from_module(module));
    return render_song(song.get(), blocks, rate, snapshots);
}

std::string offline_pcm_of_bytes(const std::vector<uint8_t>& bytes, int32_t blocks) {
    SongPtr song(load_song_handle(bytes));
    return render_song(song.get(), blocks, 44100, nullptr);
}

bool pty_start(PtySession* session, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment, int columns) {
    std::vector<std::string> argv = {xmplay_path()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return pty_start_program(session, argv, environment, columns);
}

bool pty_start_program(PtySession* session, const std::vector<std::string>& command,
                       const std::vector<std::string>& environment, int columns) {
    *session = PtySession{};
    session->pid = -1;
    session->slave = -1;
    session->master = posix_openpt(O_RDWR | O_NOCTTY);
    if (session->master < 0 || grantpt(session->master) != 0 || unlockpt(session->master) != 0) return false;
    std::string slave_name = ptsname(session->master);
    session->slave = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
    if (session->slave < 0) return false;
    winsize size{};
    size.ws_row = 25;
    size.ws_col = static_cast<unsigned short>(columns);
    ioctl(session->master, TIOCSWINSZ, &size);
    tcgetattr(session->slave, &session->modes_before);

    std::vector<char*> argv;
    std::vector<std::string> words = command;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    session->pid = fork();
    if (session->pid < 0) return false;
    if (session->pid == 0) {
        // The child: its own session, with the terminal as its controlling one.
        setsid();
        int terminal = open(slave_name.c_str(), O_RDWR);
        ioctl(terminal, TIOCSCTTY, 0);
        dup2(terminal, 0);
        dup2(terminal, 1);
        dup2(terminal, 2);
        close(session->master);
        close(session->slave);
        if (terminal > 2) close(terminal);
        for (const std::string& setting : environment) {
            size_t equals = setting.find('=');
            setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return true;
}

size_t pty_wait_for(PtySession* session, const std::string& text, size_t from, double seconds) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        size_t found = session->screen.find(text, from < session->screen.size() ? from : session->screen.size());
        if (found != std::string::npos) return found + text.size();
        if (seconds_since(start) > seconds) return std::string::npos;
        read_screen(session, 20);
    }
}

void pty_type(PtySession* session, const std::string& keys) {
    ssize_t written = write(session->master, keys.data(), keys.size());
    (void)written;
}

int pty_finish(PtySession* session, double seconds) {
    auto start = std::chrono::steady_clock::now();
    int status = 0;
    while (waitpid(session->pid, &status, WNOHANG) == 0) {
        if (seconds_since(start) > seconds) {
            kill(session->pid, SIGKILL);
            waitpid(session->pid, &status, 0);
            session->pid = -1;
            session->wait_status = 0;
            read_screen(session, 0);
            return -1;
        }
        read_screen(session, 20);
    }
    session->pid = -1;
    session->wait_status = status;
    read_screen(session, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void pty_resize(PtySession* session, int columns) {
    winsize size{};
    size.ws_row = 25;
    size.ws_col = static_cast<unsigned short>(columns);
    ioctl(session->master, TIOCSWINSZ, &size);  // the program gets SIGWINCH
}

int pty_end_signal(const PtySession& session) {
    return WIFSIGNALED(session.wait_status) ? WTERMSIG(session.wait_status) : 0;
}

termios pty_modes(const PtySession& session) {
    termios modes{};
    tcgetattr(session.slave, &modes);
    return modes;
}

void pty_close(PtySession* session) {
    if (session->pid > 0) pty_finish(session, 0.0);
    if (session->slave >= 0) close(session->slave);
    if (session->master >= 0) close(session->master);
    session->slave = -1;
    session->master = -1;
}
