// Watching a song's ticks for its end.
//
// Every row started is marked in a bit set over (order, row); the first row
// started a second time ends a pass through the song, unless it is part of a
// pattern-loop pass: a row that an E6x sent play back to within its order,
// and the rows that follow it one by one. A loop pass replays rows and is
// still the song. After a pass that is not the last, the marks are cleared
// and the next pass is watched the same way.
//
// Threads: the feeder writes the watch while a song plays; the main thread
// reads only the end, whose frame is stored last (release) and read first
// (acquire), so a reader that sees a frame sees its order and row.
#include "player/output/song_end.h"

#include <atomic>
#include <cstring>

#include "player/module/song.h"
#include "player/replay/channel.h"

namespace {

struct SongWatch {
    const Song* song;          // the song watched; null: none
    int32_t passes;            // passes that make the end; 0: none
    int32_t passes_done;
    uint8_t played[256][32];   // bit (order, row): row started in this pass
    bool ticked;               // a tick has run since the watch began
    int64_t tick_start_frame;  // first output frame of the tick being run
    int32_t previous_order;    // position of the last row started
    int32_t previous_row;
    bool loop_goes_back;       // the last row started ends in a pattern-loop jump
    bool in_loop_pass;         // the last row started was replayed by a pattern loop
    std::atomic<int64_t> end_frame;  // -1 until the end is found
    std::atomic<int32_t> end_order;
    std::atomic<int32_t> end_row;
};

SongWatch watch;

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
        if (cell.effect == EFFECT_POSITION_JUMP || cell.effect == EFFECT_PATTERN_BREAK) return false;
        bool loop_end = cell.effect == EFFECT_EXTENDED && (cell.param >> 4) == EXTENDED_PATTERN_LOOP &&
                        (cell.param & 15) != 0;
        if (loop_end && channels[c].loop_count != 0) loops = true;
    }
    return loops;
}

// A row came round again: one more pass done; the last one ends the song.
void pass_done(const Song* song) {
    watch.passes_done += 1;
    if (watch.passes > 0 && watch.passes_done >= watch.passes) {
        watch.end_order.store(song->order, std::memory_order_relaxed);
        watch.end_row.store(song->row, std::memory_order_relaxed);
        watch.end_frame.store(watch.tick_start_frame, std::memory_order_release);
        return;
    }
    std::memset(watch.played, 0, sizeof watch.played);
}

void note_row_started(const Song* song) {
    auto order = static_cast<uint32_t>(song->order) & 255u;
    auto row = static_cast<uint32_t>(song->row) & 255u;
    uint8_t bit = static_cast<uint8_t>(1u << (row & 7u));
    bool seen = (watch.played[order][row >> 3] & bit) != 0;
    bool same_order = song->order == watch.previous_order;
    bool follows = same_order && song->row == watch.previous_row + 1;
    watch.in_loop_pass = (watch.loop_goes_back && same_order) || (watch.in_loop_pass && follows);
    if (seen && !watch.in_loop_pass && watch.end_frame.load(std::memory_order_relaxed) < 0) pass_done(song);
    watch.played[order][row >> 3] |= bit;
    watch.previous_order = song->order;
    watch.previous_row = song->row;
    watch.loop_goes_back = row_loops_back(song);
}

}  // namespace

void song_end_begin(Song* song) {
    watch.song = song;
    watch.passes = song->end_passes;
    std::memset(watch.played, 0, sizeof watch.played);
    watch.passes_done = 0;
    watch.ticked = false;
    watch.tick_start_frame = 0;
    watch.previous_order = -1;
    watch.previous_row = -1;
    watch.loop_goes_back = false;
    watch.in_loop_pass = false;
    watch.end_order.store(0, std::memory_order_relaxed);
    watch.end_row.store(0, std::memory_order_relaxed);
    watch.end_frame.store(-1, std::memory_order_release);
}

// The renderer calls the tick when the frames of the previous tick are used
// up, so the previous tick's frames_per_tick moves the tick start on.
void song_end_tick(Song* song) {
    if (watch.ticked) watch.tick_start_frame += song->frames_per_tick > 0 ? song->frames_per_tick : 1;
    watch.ticked = true;
    if (song->on_tick == nullptr) return;
    bool row_start = song->tick == 0;
    song->on_tick(song);
    if (row_start) note_row_started(song);
}

void song_end_forget(const Song* song) {
    if (watch.song == song) watch.song = nullptr;
}

bool song_set_passes(Song* song, int32_t passes) {
    if (song == nullptr || passes < 0) return false;
    song->end_passes = passes;
    return true;
}

bool song_end(const Song* song, SongEnd* end) {
    if (end == nullptr) return false;
    *end = SongEnd{-1, 0, 0};
    if (song == nullptr || song != watch.song) return false;
    int64_t frame = watch.end_frame.load(std::memory_order_acquire);
    if (frame < 0) return false;
    *end = SongEnd{frame, watch.end_order.load(std::memory_order_relaxed),
                   watch.end_row.load(std::memory_order_relaxed)};
    return true;
}
