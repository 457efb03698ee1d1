// Surveying a song: its ticks run from the start without mixing, through
// the song's own hook (and so through the watch of song_watch.cpp), with the
// frames of each tick counted as the renderer counts them. What comes out -
// where the song ends, where each order position starts - is what a render
// would find, hundreds of times faster, since no voice is mixed.
#include <cstdio>

#include "player/module/song.h"
#include "player/output/stream.h"
#include "tools/xmplay/xmplay.h"

namespace {

// Ticks from the song's start, stopping at row starts.
struct TickRun {
    Song* song;
    int64_t frame;  // first frame of the next tick
    int64_t limit;  // no tick starts at or after this frame
};

bool run_start(TickRun* run, Song* song) {
    *run = TickRun{song, 0, ONCE_LIMIT_SECONDS * mixing_rate};
    return song->on_tick != nullptr && song_render_start(song);
}

// Runs ticks up to and including the next one that starts a row; false at
// the limit. The row's frame is its first tick's first frame.
bool next_row_start(TickRun* run, RowStart* row) {
    Song* song = run->song;
    while (run->frame < run->limit) {
        bool row_start = song->tick == 0;
        int64_t frame = run->frame;
        song->on_tick(song);
        // A tick lasts the frames_per_tick it leaves, as render_block counts.
        run->frame += song->frames_per_tick > 0 ? song->frames_per_tick : 1;
        if (row_start) {
            *row = RowStart{frame, song->order, song->row};
            return true;
        }
    }
    return false;
}

}  // namespace

SongLength survey_song_length(Song* song) {
    SongLength length{-1, 0, 0};
    song_stop(song);  // the feeder must not run while the watch changes
    song_watch(song, 1);
    TickRun run;
    if (!run_start(&run, song)) return length;
    RowStart row;
    while (song_end_frame() < 0 && next_row_start(&run, &row)) {
    }
    if (song_end_frame() >= 0) length = SongLength{song_end_frame(), song_end_order(), song_end_row()};
    song_stop(song);
    return length;
}

int64_t survey_order_start(Song* song, int32_t passes, int64_t heard, int32_t direction) {
    song_stop(song);  // the feeder must not run while the watch changes
    song_watch(song, passes);
    TickRun run;
    if (!run_start(&run, song)) return -1;
    int64_t current = -1;   // start of the order position heard
    int64_t previous = -1;  // start of the one before it
    int64_t found = -1;
    int32_t order = -1;
    RowStart row;
    while (next_row_start(&run, &row)) {
        if (song_end_frame() >= 0) {  // the song ends before another order starts
            if (direction > 0) found = song_end_frame();
            break;
        }
        if (row.order == order) continue;
        order = row.order;
        if (row.frame > heard) {
            if (direction > 0) found = row.frame;
            break;
        }
        previous = current;
        current = row.frame;
    }
    if (direction < 0) found = previous >= 0 ? previous : current;
    song_stop(song);
    return found;
}

std::string format_time(int64_t frames, int32_t rate) {
    int64_t hundredths = rate > 0 ? frames * 100 / rate : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", static_cast<long long>(hundredths / 6000),
                  static_cast<long long>(hundredths / 100 % 60), static_cast<long long>(hundredths % 100));
    return text;
}
