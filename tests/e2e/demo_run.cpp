#include "e2e/demo_run.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

DemoRun run_demo(const DemoLaunch& launch) {
    using Clock = std::chrono::steady_clock;
    DemoRun run = {};
    // No output of an earlier run may be read as this one's.
    std::remove(launch.out_path.c_str());
    std::remove(launch.err_path.c_str());
    ChildLaunch child_launch;
    child_launch.argv = launch.argv;
    child_launch.dir = launch.dir;
    child_launch.set = launch.set;
    child_launch.unset = launch.unset;
    child_launch.out_path = launch.out_path;
    child_launch.err_path = launch.err_path;
    Clock::time_point start = Clock::now();
    std::string error;
    pid_t child = start_child(child_launch, &error);
    if (child == 0) {
        run.err = error;
        return run;
    }
    run.started = true;
    int status = 0;
    for (;;) {
        bool done = child_ended(child, &status);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (done) {
            run.seconds = seconds;
            break;
        }
        if (seconds > launch.deadline) {
            run.timed_out = true;
            status = stop_child(child, SIGKILL, 10.0, nullptr);
            run.seconds = seconds;
            break;
        }
        if (launch.while_running) launch.while_running(seconds);
        if (launch.terminate_after >= 0 && !run.terminated && seconds >= launch.terminate_after &&
            read_whole_file(launch.err_path).find(launch.terminate_when) != std::string::npos) {
            run.terminated = true;
            if (launch.before_terminate) launch.before_terminate();
            kill(child, SIGTERM);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    run.exited = WIFEXITED(status);
    run.exit_code = run.exited ? WEXITSTATUS(status) : -1;
    run.signalled = WIFSIGNALED(status);
    run.signal = run.signalled ? WTERMSIG(status) : 0;
    run.out = read_whole_file(launch.out_path);
    run.err = read_whole_file(launch.err_path);
    return run;
}

int count_of(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}
