// The progress line on standard error: frames done of the total, time spent
// and time left at the rate so far. On a terminal one line is rewritten a few
// times a second; into a file or pipe a line is added every ten seconds.
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>

#include "tools/capture/capture.h"

namespace {

constexpr double TERMINAL_INTERVAL = 0.25;  // seconds between rewrites
constexpr double LOG_INTERVAL = 10.0;       // seconds between added lines

void format_duration(double seconds, char* text, size_t size) {
    int64_t whole = seconds < 0.0 ? 0 : static_cast<int64_t>(seconds + 0.5);
    std::snprintf(text, size, "%" PRId64 ":%02" PRId64, whole / 60, whole % 60);
}

void show(const Progress* progress, int64_t done, double now, bool final) {
    double elapsed = now - progress->started;
    char spent[32];
    char left[32] = "-:--";  // unknown until a frame is done
    format_duration(elapsed, spent, sizeof spent);
    if (final || done >= progress->total) {
        format_duration(0.0, left, sizeof left);
    } else if (done > 0) {
        double rate = elapsed / static_cast<double>(done);
        format_duration(rate * static_cast<double>(progress->total - done), left, sizeof left);
    }
    int64_t percent = progress->total > 0 ? done * 100 / progress->total : 100;
    std::fprintf(stderr, "%sframes %" PRId64 "/%" PRId64 " (%" PRId64 "%%)  elapsed %s  left %s%s",
                 progress->terminal ? "\r" : "", done, progress->total, percent, spent, left,
                 progress->terminal && !final ? "   " : "\n");
    std::fflush(stderr);
}

}  // namespace

double monotonic_seconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

void progress_start(Progress* progress, bool enabled, int64_t total) {
    double now = monotonic_seconds();
    *progress = Progress{enabled, isatty(STDERR_FILENO) == 1, now, now, total};
}

void progress_update(Progress* progress, int64_t done) {
    if (!progress->enabled) return;
    double now = monotonic_seconds();
    double interval = progress->terminal ? TERMINAL_INTERVAL : LOG_INTERVAL;
    if (now - progress->last_shown < interval) return;
    progress->last_shown = now;
    show(progress, done, now, false);
}

void progress_finish(Progress* progress, int64_t done) {
    if (!progress->enabled) return;
    show(progress, done, monotonic_seconds(), true);
}
