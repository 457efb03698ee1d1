// A song's length and the frames its rows start at, from its rows alone:
// the sequencer runs with only the flow effects (B, D, E6x, EEx, F), the
// watch for the end counts the frames of each tick as the renderer does, and
// nothing is mixed, no note started and no envelope stepped. A whole song
// takes a small part of a millisecond a minute of music.
#include <cstdint>
#include <new>

#include "player/output/player.h"
#include "player/output/song_scan.h"
#include "player/replay/play_state.h"
#include "player/replay/song_end.h"

namespace korvanti {

namespace {

// A play of `song` at `rate` that only moves the position.
PlayState* begin_flow(const Song* song, int32_t rate, int32_t passes) {
    PlayState* play = new (std::nothrow) PlayState;
    if (play == nullptr) return nullptr;
    if (!play_state_begin(play, song, rate, passes)) {
        delete play;
        return nullptr;
    }
    play->flow_only = true;
    return play;
}

// The later ticks of the row just started, at once: in a flow-only play
// they change nothing but the tick count and the frames, which the next
// row's first tick then counts on from.
void skip_later_ticks(PlayState* play) {
    int64_t later = static_cast<int64_t>(play->speed) + play->pattern_delay_ticks - play->tick;
    if (play->tick == 0 || later <= 0) return;
    play->watch.tick_start_frame += later * play->frames_per_tick;
    play->tick = 0;
    play->pattern_delay_ticks = 0;
}

// Runs rows until `stop` says so or the end (or the limit) comes; the
// first frame of the row that stopped it, or -1 when the end came first.
template <typename Stop>
int64_t run_flow(PlayState* play, int64_t limit_frame, Stop stop) {
    for (;;) {
        song_end_tick(play);  // a row's first tick
        int64_t frame = play->watch.tick_start_frame;
        if (play->watch.end_frame >= 0 || frame >= limit_frame) return -1;
        if (stop(play)) return frame;
        skip_later_ticks(play);
    }
}

}  // namespace

int song_flow_end(const Song* song, int32_t rate, int32_t passes, korvanti_song_end* end) {
    PlayState* play = begin_flow(song, rate, passes);
    if (play == nullptr) return KORVANTI_ERROR_MEMORY;
    const int64_t limit = passes * PASS_LIMIT_SECONDS * rate;
    run_flow(play, limit, [](const PlayState*) { return false; });
    SongEndFound found = song_end_found(play);
    if (found.frame >= 0 && found.frame < limit) {
        *end = korvanti_song_end{found.frame, true, found.order, found.row};
    } else {
        *end = korvanti_song_end{limit, false, 0, 0};
    }
    delete play;
    return KORVANTI_OK;
}

int64_t song_flow_row_frame(const Song* song, int32_t rate, int32_t order, int32_t row) {
    PlayState* play = begin_flow(song, rate, 1);
    if (play == nullptr) return KORVANTI_ERROR_MEMORY;
    int64_t frame = run_flow(play, PASS_LIMIT_SECONDS * rate,
                             [order, row](const PlayState* at) { return at->order == order && at->row == row; });
    delete play;
    return frame >= 0 ? frame : int64_t{KORVANTI_ERROR_RANGE};
}

}  // namespace korvanti
