// Live play through the sound device, with a status line of what is heard:
// the audible snapshot's order, pattern, row and time.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "player/module/song.h"
#include "player/output/sound_device.h"
#include "player/output/stream.h"
#include "tools/xmplay/xmplay.h"

namespace {

constexpr int STATUS_INTERVAL_MS = 50;

volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) { interrupted = 1; }

void print_status(Song* song) {
    int32_t order = song_audible_order(song);
    int32_t ms = stream_audible_elapsed_ms();
    std::fprintf(stderr, "\rorder %3d/%-3d  pattern %3d  row %3d  time %02d:%02d.%02d ", order,
                 song->song_length, song->orders[order], song_audible_row(song), ms / 60000, ms / 1000 % 60,
                 ms / 10 % 100);
    std::fflush(stderr);
}

// The frame at which play ends: the requested length, else the song's end.
bool heard_to_end(int64_t target) {
    auto heard = static_cast<int64_t>(sound_device_bytes_played() / 4);
    int64_t end = target >= 0 ? target : song_end_frame();
    return end >= 0 && heard >= end;
}

}  // namespace

int play_live(Song* song, const XmplayOptions& options) {
    if (!player_init(options.rate)) {
        std::fprintf(stderr, "xmplay: cannot open the sound device at %d Hz\n", options.rate);
        return EXIT_FAILED;
    }
    song_end_watch(song);
    if (!song_play(song)) {
        std::fprintf(stderr, "xmplay: the module cannot be played at %d Hz\n", options.rate);
        player_close();
        return EXIT_FAILED;
    }
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    int64_t target = requested_frames(options, block_frames);
    while (!interrupted && !heard_to_end(target)) {
        print_status(song);
        std::this_thread::sleep_for(std::chrono::milliseconds(STATUS_INTERVAL_MS));
    }
    if (interrupted || target >= 0) print_status(song);
    std::fputc('\n', stderr);
    song_stop(song);
    player_close();
    if (interrupted) {
        std::fprintf(stderr, "xmplay: stopped\n");
        return EXIT_INTERRUPTED;
    }
    if (target < 0) {
        std::fprintf(stderr, "xmplay: end of song: play returned to order %d row %d\n", song_end_order(),
                     song_end_row());
    }
    return 0;
}
