#include "support/pulse_server.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string socket_path(const PulseServer& server) { return server.folder + "/native"; }

// Whether something listens on the unix socket at `path`.
bool accepts_connections(const std::string& path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) return false;
    path.copy(address.sun_path, path.size());
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return connected;
}

std::string describe_status(int status) {
    if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

long file_size(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? long(info.st_size) : -1;
}

// The home, runtime and configuration folders both the daemon and its
// clients use, all inside the server's folder.
Environment private_folders(const PulseServer& server) {
    return {{"HOME", server.folder + "/home"},
            {"XDG_RUNTIME_DIR", server.folder + "/run"},
            {"XDG_CONFIG_HOME", server.folder + "/home/.config"}};
}

}  // namespace

std::string pulse_server_start(PulseServer* server, const std::string& folder, double seconds) {
    *server = PulseServer{};
    struct stat info;
    if (folder.empty() || stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return "no folder for the sound server: \"" + folder + "\"";
    }
    server->folder = folder;
    server->server = "unix:" + socket_path(*server);
    server->log_path = folder + "/pulseaudio.log";
    if (socket_path(*server).size() >= sizeof(sockaddr_un{}.sun_path)) {
        return "the sound server's folder name is too long for a socket: " + folder;
    }
    for (const char* sub : {"/home", "/home/.config", "/run"}) {
        if (mkdir((folder + sub).c_str(), 0700) != 0) return "cannot make " + folder + sub;
    }
    // Clients read this instead of the user's own settings.
    std::ofstream(folder + "/client.conf") << "autospawn = no\n";

    ChildLaunch launch;
    launch.argv = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--log-target=stderr",
                   "--load=module-null-sink sink_name=null rate=" + std::to_string(PULSE_RATE) +
                       " format=s16le channels=" + std::to_string(PULSE_CHANNELS),
                   // The socket sits in a private folder: no cookie needed.
                   "--load=module-native-protocol-unix auth-anonymous=1 socket=\"" + socket_path(*server) + "\""};
    launch.dir = folder;
    launch.clean_environment = true;
    launch.set = private_folders(*server);
    // Without a session bus of its own the daemon would claim the server's
    // name on the user's bus, or start a bus through the X display.
    launch.set.push_back({"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + folder + "/no_bus"});
    launch.err_path = server->log_path;
    std::string error;
    server->pid = start_child(launch, &error);
    if (server->pid == 0) {
        return error + "; the end-to-end tests need the packages pulseaudio and pulseaudio-utils";
    }

    Clock::time_point start = Clock::now();
    for (;;) {
        int status = 0;
        if (child_ended(server->pid, &status)) {
            server->pid = 0;
            return "pulseaudio ended at start-up (" + describe_status(status) +
                   "):\n" + read_whole_file(server->log_path);
        }
        if (accepts_connections(socket_path(*server))) return "";
        if (seconds_since(start) > seconds) {
            pulse_server_stop(server);
            return "pulseaudio did not take connections within " + std::to_string(seconds) +
                   " s:\n" + read_whole_file(server->log_path);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Environment pulse_client_environment(const PulseServer& server) {
    Environment environment = private_folders(server);
    environment.push_back({"PULSE_SERVER", server.server});
    environment.push_back({"PULSE_CLIENTCONFIG", server.folder + "/client.conf"});
    environment.push_back({"PULSE_COOKIE", server.folder + "/home/.config/pulse/cookie"});
    environment.push_back({"PULSE_SINK", "null"});
    return environment;
}

void pulse_server_stop(PulseServer* server) {
    if (server->pid == 0) return;
    stop_child(server->pid, SIGTERM, 5.0, nullptr);
    server->pid = 0;
}

std::string pulse_record_start(PulseRecording* recording, const PulseServer& server, const std::string& path,
                               double seconds) {
    *recording = PulseRecording{};
    recording->path = path;
    recording->log_path = path + ".log";
    ChildLaunch launch;
    // A short latency: by default the recorder takes seconds-long pieces and
    // would lose the last one when stopped.
    launch.argv = {"parec",
                   "--latency-msec=20",
                   "--device=null.monitor",
                   "--format=s16le",
                   "--rate=" + std::to_string(PULSE_RATE),
                   "--channels=" + std::to_string(PULSE_CHANNELS),
                   "--raw",
                   path};
    launch.clean_environment = true;
    launch.set = pulse_client_environment(server);
    launch.err_path = recording->log_path;
    std::string error;
    recording->pid = start_child(launch, &error);
    if (recording->pid == 0) {
        return error + "; the end-to-end tests need the packages pulseaudio and pulseaudio-utils";
    }
    Clock::time_point start = Clock::now();
    for (;;) {
        int status = 0;
        if (child_ended(recording->pid, &status)) {
            recording->pid = 0;
            return "parec ended at start-up (" + describe_status(status) +
                   "):\n" + read_whole_file(recording->log_path);
        }
        if (file_size(path) > 0) return "";
        if (seconds_since(start) > seconds) {
            stop_child(recording->pid, SIGKILL, 1.0, nullptr);
            recording->pid = 0;
            return "parec recorded nothing within " + std::to_string(seconds) + " s:\n" +
                   read_whole_file(recording->log_path);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string pulse_record_stop(PulseRecording* recording) {
    if (recording->pid == 0) return "";
    pid_t pid = recording->pid;
    recording->pid = 0;
    int status = 0;
    if (child_ended(pid, &status)) {
        return "parec ended before it was stopped (" + describe_status(status) +
               "):\n" + read_whole_file(recording->log_path);
    }
    bool killed = false;
    status = stop_child(pid, SIGINT, 5.0, &killed);
    if (killed) return "parec did not stop on SIGINT within 5 s";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "parec stopped with " + describe_status(status) + ":\n" +
               read_whole_file(recording->log_path);
    }
    return "";
}
