// Runs the demo, or any program that stands for it (a Windows build under
// Wine), as a child process: its own working directory and environment,
// standard output and error to files, SIGTERM once a condition holds, SIGKILL
// at a deadline.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/child_process.h"

struct DemoLaunch {
    std::vector<std::string> argv;   // the program and its arguments
    std::string dir;                 // working directory (the run directory)
    Environment set;                 // variables added to the test's own
    std::vector<std::string> unset;  // variables taken away
    std::string out_path;            // standard output is written here
    std::string err_path;            // standard error likewise
    double deadline = 60.0;          // seconds until it is killed
    // SIGTERM once standard error contains `terminate_when` (any text when
    // empty) and at least `terminate_after` seconds have passed; never when
    // negative. `before_terminate` runs just before, e.g. to take a
    // screenshot.
    double terminate_after = -1.0;
    std::string terminate_when;
    std::function<void()> before_terminate;
    // Called about every 50 ms while the program runs, with the seconds
    // since its start: to look at the screen or the sound as it goes.
    std::function<void(double seconds)> while_running;
};

struct DemoRun {
    bool started;        // false: the program could not be started, see err
    bool exited;         // ended through exit(), with exit_code
    int exit_code;
    bool signalled;      // killed by a signal it did not handle
    int signal;          // which one
    bool terminated;     // we sent SIGTERM (it was still running then)
    bool timed_out;      // still running at the deadline; killed
    double seconds;      // wall time from start to end
    std::string out;     // standard output
    std::string err;     // standard error
};

DemoRun run_demo(const DemoLaunch& launch);

// How often `part` occurs in `text`.
int count_of(const std::string& text, const std::string& part);
