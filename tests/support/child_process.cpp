#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace {

bool is_executable(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// NAME=value strings of the child's environment, built before the fork so
// that the child only calls what is safe after it.
std::vector<std::string> child_environment(const ChildLaunch& launch) {
    std::vector<std::string> entries;
    if (launch.clean_environment) {
        const char* path = getenv("PATH");
        entries.push_back(std::string("PATH=") + (path != nullptr ? path : "/usr/bin:/bin"));
    } else {
        for (char** entry = environ; *entry != nullptr; ++entry) entries.push_back(*entry);
    }
    auto remove = [&entries](const std::string& name) {
        std::string prefix = name + "=";
        for (size_t i = 0; i < entries.size();) {
            if (entries[i].compare(0, prefix.size(), prefix) == 0) {
                entries.erase(entries.begin() + long(i));
            } else {
                ++i;
            }
        }
    };
    for (const std::string& name : launch.unset) remove(name);
    for (const auto& variable : launch.set) {
        remove(variable.first);
        entries.push_back(variable.first + "=" + variable.second);
    }
    return entries;
}

}  // namespace

std::string find_program(const std::string& name) {
    if (name.empty()) return "";
    if (name.find('/') != std::string::npos) return is_executable(name) ? name : "";
    const char* path = getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t at = 0;
    for (;;) {
        size_t end = folders.find(':', at);
        std::string folder = folders.substr(at, end == std::string::npos ? std::string::npos : end - at);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        if (is_executable(candidate)) return candidate;
        if (end == std::string::npos) return "";
        at = end + 1;
    }
}

pid_t start_child(const ChildLaunch& launch, std::string* error) {
    if (launch.argv.empty()) {
        *error = "no program given";
        return 0;
    }
    std::string program = find_program(launch.argv[0]);
    if (program.empty()) {
        *error = launch.argv[0] + " is not installed (not found in PATH)";
        return 0;
    }
    std::vector<std::string> environment = child_environment(launch);
    std::vector<char*> argv, envp;
    for (const std::string& arg : launch.argv) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    const char* out_path = launch.out_path.empty() ? "/dev/null" : launch.out_path.c_str();
    const char* err_path = launch.err_path.empty() ? "/dev/null" : launch.err_path.c_str();
    const pid_t parent = getpid();

    pid_t child = fork();
    if (child < 0) {
        *error = std::string("fork failed: ") + std::strerror(errno);
        return 0;
    }
    if (child == 0) {
#ifdef __linux__
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(123);  // the test is already gone
#endif
        if (!launch.dir.empty() && chdir(launch.dir.c_str()) != 0) _exit(120);
        int out = open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) _exit(121);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(122);
    }
    (void)parent;
    return child;
}

bool child_ended(pid_t pid, int* status) {
    return waitpid(pid, status, WNOHANG) == pid;
}

bool wait_for_child(pid_t pid, double seconds, int* status) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (child_ended(pid, status)) return true;
        if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= seconds) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int stop_child(pid_t pid, int signal, double seconds, bool* killed) {
    if (killed != nullptr) *killed = false;
    int status = 0;
    if (child_ended(pid, &status)) return status;
    kill(pid, signal);
    if (wait_for_child(pid, seconds, &status)) return status;
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    if (killed != nullptr) *killed = true;
    return status;
}

std::string read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
