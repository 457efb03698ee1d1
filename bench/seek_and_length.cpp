// What seeks and the length from the rows cost, against rendering, song by
// song, in CPU time of this thread:
//   seek_and_length SONG.xm...
// For each song: its length, the CPU time of a whole render, of finding the
// length from the rows alone, and of seeks from a fresh start to 25, 50, 75
// and 99 % of the song (the worst case: nothing kept from earlier seeks),
// then of a seek back to 60 % once those were done. Each figure is the least
// of RUNS tries.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "korvanti/player.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr int RUNS = 5;

double thread_seconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// The least CPU time of RUNS calls of `work`, in milliseconds.
template <typename Work>
double least_ms(Work work) {
    double least = 1e30;
    for (int run = 0; run < RUNS; ++run) {
        double start = thread_seconds();
        work();
        least = std::min(least, (thread_seconds() - start) * 1000.0);
    }
    return least;
}

void measure(const char* path) {
    int error = 0;
    korvanti_song* song = korvanti_song_load_file(path, &error);
    if (song == nullptr) {
        std::printf("%s: %s\n", path, korvanti_error_message(error));
        return;
    }
    korvanti_song_info info;
    korvanti_song_get_info(song, &info);
    korvanti_player* player = korvanti_player_create(RATE, nullptr);
    const int64_t length = korvanti_song_length_frames(song, RATE);
    std::vector<int16_t> frames(2 * 16384);
    double render = least_ms([&] {
        korvanti_player_start(player, song);
        while (korvanti_player_render(player, frames.data(), 16384) > 0) {
        }
    });
    double rows = least_ms([&] { korvanti_song_length_frames(song, RATE); });
    double seeks[4];
    const int percents[4] = {25, 50, 75, 99};
    for (int i = 0; i < 4; ++i) {
        seeks[i] = least_ms([&] {
            korvanti_player_start(player, song);
            korvanti_player_seek_frame(player, length * percents[i] / 100);
        });
    }
    double back = 1e30;
    for (int run = 0; run < RUNS; ++run) {
        korvanti_player_start(player, song);
        for (int percent : percents) korvanti_player_seek_frame(player, length * percent / 100);
        double start = thread_seconds();
        korvanti_player_seek_frame(player, length * 60 / 100);
        back = std::min(back, (thread_seconds() - start) * 1000.0);
    }
    std::printf("%-28s %2d ch %7.1f s  render %7.1f ms  length %6.2f ms (%5.0fx)  seek %6.1f %6.1f %6.1f %6.1f ms  "
                "back %5.1f ms\n",
                path, info.channel_count, double(length) / RATE, render, rows, render / std::max(rows, 1e-3),
                seeks[0], seeks[1], seeks[2], seeks[3], back);
    korvanti_player_destroy(player);
    korvanti_song_free(song);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SONG.xm...\n", argv[0]);
        return 2;
    }
    std::printf("CPU time of this thread, least of %d runs; seeks from a fresh start to 25/50/75/99 %%\n", RUNS);
    for (int i = 1; i < argc; ++i) measure(argv[i]);
    return 0;
}
