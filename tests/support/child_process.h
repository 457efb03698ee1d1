// Programs a test starts and must not leave behind: the demo, a sound server,
// a recorder. POSIX only.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

// Variables to set in a child's environment, as name and value.
using Environment = std::vector<std::pair<std::string, std::string>>;

struct ChildLaunch {
    std::vector<std::string> argv;   // argv[0] is a path, or a name looked up in PATH
    std::string dir;                 // working directory; empty keeps the test's
    bool clean_environment = false;  // start from PATH alone instead of the test's variables
    Environment set;                 // then these are set,
    std::vector<std::string> unset;  // and these removed
    std::string out_path;            // standard output goes here; empty: /dev/null
    std::string err_path;            // standard error likewise
};

// The path of an executable: `name` itself when it holds a slash, else the
// first match in PATH; empty when there is none.
std::string find_program(const std::string& name);

// Starts the program. The child gets SIGTERM should the test die first
// (Linux), so that no server outlives a crashed or timed-out test. Returns
// its pid, or 0 after writing why into *error.
pid_t start_child(const ChildLaunch& launch, std::string* error);

// True when the child has ended; its wait status goes to *status.
bool child_ended(pid_t pid, int* status);

// Waits up to `seconds` for the child to end; true (and its wait status in
// *status) when it did.
bool wait_for_child(pid_t pid, double seconds, int* status);
// Sends `signal`, waits up to `seconds` for the end, then sends SIGKILL and
// waits for that. Returns the wait status; *killed (when not null) tells
// whether SIGKILL was needed.
int stop_child(pid_t pid, int signal, double seconds, bool* killed);

// The file's contents; empty when it cannot be read.
std::string read_whole_file(const std::string& path);
