// Finding the end of a song that never ends by itself: the sequencer wraps to
// the restart position, or a position jump sends it back. Every row started
// is marked in a bit set over (order, row); the first row started a second
// time ends the song, unless a pattern loop (E6x) of the same order took play
// back there, which is still the song.
#include <atomic>
#include <cstring>

#include "player/module/song.h"
#include "player/replay/channel.h"
#include "tools/xmplay/xmplay.h"

namespace {

struct SongEndWatch {
    SongHook sequencer_tick;   // the song's own tick routine, called first
    uint8_t played[256][32];   // bit (order, row): row already started
    bool ticked;               // a tick has run since play started
    int64_t tick_start_frame;  // first output frame of the tick being run
    int32_t previous_order;    // order of the last row started
    std::atomic<int64_t> end_frame;  // -1 until the end is found
    std::atomic<int32_t> end_order;
    std::atomic<int32_t> end_row;
};

SongEndWatch watch;

bool pattern_loop_pending(const Song* song) {
    int32_t count = song->channel_count < CHANNEL_COUNT ? song->channel_count : CHANNEL_COUNT;
    for (int32_t i = 0; i < count; ++i) {
        if (channels[i].loop_count != 0) return true;
    }
    return false;
}

// `looping`: a pattern loop was under way when the row began (its E6x row
// counts the loop down while it is processed, so ask before).
void note_row_started(const Song* song, bool looping) {
    auto order = static_cast<uint32_t>(song->order) & 255u;
    auto row = static_cast<uint32_t>(song->row) & 255u;
    uint8_t bit = static_cast<uint8_t>(1u << (row & 7u));
    bool seen = (watch.played[order][row >> 3] & bit) != 0;
    looping = looping && song->order == watch.previous_order;
    if (seen && !looping && watch.end_frame.load(std::memory_order_relaxed) < 0) {
        watch.end_order.store(song->order, std::memory_order_relaxed);
        watch.end_row.store(song->row, std::memory_order_relaxed);
        watch.end_frame.store(watch.tick_start_frame, std::memory_order_release);
    }
    watch.played[order][row >> 3] |= bit;
    watch.previous_order = song->order;
}

// The renderer calls on_tick when the frames of the previous tick are used
// up, so the previous tick's frames_per_tick moves the tick start on.
void watched_tick(Song* song) {
    if (watch.ticked) watch.tick_start_frame += song->frames_per_tick > 0 ? song->frames_per_tick : 1;
    watch.ticked = true;
    bool row_start = song->tick == 0;
    bool looping = row_start && pattern_loop_pending(song);
    watch.sequencer_tick(song);
    if (row_start) note_row_started(song, looping);
}

void reset_watch(Song*) {
    std::memset(watch.played, 0, sizeof watch.played);
    watch.ticked = false;
    watch.tick_start_frame = 0;
    watch.previous_order = -1;
    watch.end_frame.store(-1, std::memory_order_relaxed);
    watch.end_order.store(0, std::memory_order_relaxed);
    watch.end_row.store(0, std::memory_order_relaxed);
}

}  // namespace

void song_end_watch(Song* song) {
    if (song->on_tick != watched_tick) watch.sequencer_tick = song->on_tick;
    song->on_tick = watch.sequencer_tick != nullptr ? watched_tick : nullptr;
    song->on_play_start = reset_watch;
}

int64_t song_end_frame() { return watch.end_frame.load(std::memory_order_acquire); }
int32_t song_end_order() { return watch.end_order.load(std::memory_order_acquire); }
int32_t song_end_row() { return watch.end_row.load(std::memory_order_acquire); }
