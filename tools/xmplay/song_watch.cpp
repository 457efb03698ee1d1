// Finding the end of a song that never ends by itself: the sequencer wraps to
// the restart position, or a position jump sends it back. Every row started
// is marked in a bit set over (order, row); the first row started a second
// time ends the song, unless it is part of a pattern-loop pass: a row that an
// E6x sent play back to within its order, and the rows that follow it one by
// one. A loop pass replays rows and is still the song.
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
    int32_t previous_order;    // position of the last row started
    int32_t previous_row;
    bool loop_goes_back;       // the last row started ends in a pattern-loop jump
    bool in_loop_pass;         // the last row started was replayed by a pattern loop
    std::atomic<int64_t> end_frame;  // -1 until the end is found
    std::atomic<int32_t> end_order;
    std::atomic<int32_t> end_row;
};

SongEndWatch watch;

// After process_row: does the row send play back through a pattern loop? An
// E6y (y > 0) whose channel still counts, and no B or D to override it.
bool row_loops_back(const Song* song) {
    if (song->order < 0 || song->order > 255 || song->patterns == nullptr) return false;
    uint8_t pattern_index = song->orders[song->order];
    if (pattern_index >= song->pattern_count) return false;
    const Pattern& pattern = song->patterns[pattern_index];
    if (pattern.cells == nullptr || song->row < 0 || song->row >= pattern.row_count) return false;
    int32_t count = song->channel_count < CHANNEL_COUNT ? song->channel_count : CHANNEL_COUNT;
    const NoteCell* cells = pattern.cells + static_cast<int64_t>(song->row) * song->channel_count;
    bool loops = false;
    for (int32_t c = 0; c < count; ++c) {
        const NoteCell& cell = cells[c];
        if (cell.effect == 0x0B || cell.effect == 0x0D) return false;
        bool loop_end = cell.effect == 0x0E && (cell.param >> 4) == 6 && (cell.param & 15) != 0;
        if (loop_end && channels[c].loop_count != 0) loops = true;
    }
    return loops;
}

void note_row_started(const Song* song) {
    auto order = static_cast<uint32_t>(song->order) & 255u;
    auto row = static_cast<uint32_t>(song->row) & 255u;
    uint8_t bit = static_cast<uint8_t>(1u << (row & 7u));
    bool seen = (watch.played[order][row >> 3] & bit) != 0;
    bool same_order = song->order == watch.previous_order;
    bool follows = same_order && song->row == watch.previous_row + 1;
    watch.in_loop_pass = (watch.loop_goes_back && same_order) || (watch.in_loop_pass && follows);
    if (seen && !watch.in_loop_pass && watch.end_frame.load(std::memory_order_relaxed) < 0) {
        watch.end_order.store(song->order, std::memory_order_relaxed);
        watch.end_row.store(song->row, std::memory_order_relaxed);
        watch.end_frame.store(watch.tick_start_frame, std::memory_order_release);
    }
    watch.played[order][row >> 3] |= bit;
    watch.previous_order = song->order;
    watch.previous_row = song->row;
    watch.loop_goes_back = row_loops_back(song);
}

// The renderer calls on_tick when the frames of the previous tick are used
// up, so the previous tick's frames_per_tick moves the tick start on.
void watched_tick(Song* song) {
    if (watch.ticked) watch.tick_start_frame += song->frames_per_tick > 0 ? song->frames_per_tick : 1;
    watch.ticked = true;
    bool row_start = song->tick == 0;
    watch.sequencer_tick(song);
    if (row_start) note_row_started(song);
}

void reset_watch(Song*) {
    std::memset(watch.played, 0, sizeof watch.played);
    watch.ticked = false;
    watch.tick_start_frame = 0;
    watch.previous_order = -1;
    watch.previous_row = -1;
    watch.loop_goes_back = false;
    watch.in_loop_pass = false;
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
