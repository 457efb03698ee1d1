// Watching a song's ticks from its on_tick hook, on whichever thread renders.
//
// The end of a song that never ends by itself: the sequencer wraps to the
// restart position, or a position jump sends it back. Every row started is
// marked in a bit set over (order, row); the first row started a second time
// ends a pass through the song, unless it is part of a pattern-loop pass: a
// row that an E6x sent play back to within its order, and the rows that
// follow it one by one. A loop pass replays rows and is still the song. After
// a pass that is not the last, the marks are cleared and the next pass is
// watched the same way.
//
// The speed and BPM of each block, for a status line: the feeder renders two
// seconds ahead of what is heard, so they are kept per block of the song for
// the last TEMPO_BLOCKS blocks, as they stand after the last tick that began
// in the block (the rule of the stream's snapshots).
#include <atomic>
#include <cstring>

#include "player/module/song.h"
#include "player/output/stream.h"
#include "player/replay/channel.h"
#include "tools/xmplay/xmplay.h"

namespace {

constexpr int32_t TEMPO_BLOCKS = 128;  // more than the ring's 100 blocks

// One block's tempo; `block` is written last, and read before and after the
// values, so a reader never takes values of another block.
struct BlockTempo {
    std::atomic<int64_t> block;  // song block the values belong to; -1: none
    std::atomic<int32_t> speed;
    std::atomic<int32_t> bpm;
};

struct SongWatch {
    SongHook sequencer_tick;   // the song's own tick routine, called first
    int32_t passes;            // passes that make the end; 0: none
    int32_t passes_done;
    uint8_t played[256][32];   // bit (order, row): row started in this pass
    bool ticked;               // a tick has run since play started
    int64_t tick_start_frame;  // first output frame of the tick being run
    int32_t previous_order;    // position of the last row started
    int32_t previous_row;
    bool loop_goes_back;       // the last row started ends in a pattern-loop jump
    bool in_loop_pass;         // the last row started was replayed by a pattern loop
    std::atomic<int64_t> end_frame;  // -1 until the end is found
    std::atomic<int32_t> end_order;
    std::atomic<int32_t> end_row;
    int64_t tempo_block;       // last block whose tempo was recorded; -1: none
    int32_t speed;             // after the last tick
    int32_t bpm;
    BlockTempo tempo[TEMPO_BLOCKS];
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

void store_tempo(int64_t block, int32_t speed, int32_t bpm) {
    BlockTempo& slot = watch.tempo[block % TEMPO_BLOCKS];
    slot.block.store(-1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    slot.speed.store(speed, std::memory_order_relaxed);
    slot.bpm.store(bpm, std::memory_order_relaxed);
    slot.block.store(block, std::memory_order_release);
}

// Blocks in which no tick began keep the tempo of the block before them.
void note_tempo(const Song* song) {
    int64_t block = watch.tick_start_frame / (block_frames > 0 ? block_frames : 1);
    int64_t first_gap = watch.tempo_block + 1;
    if (first_gap < block - TEMPO_BLOCKS) first_gap = block - TEMPO_BLOCKS;
    for (int64_t gap = first_gap; gap < block && watch.tempo_block >= 0; ++gap) store_tempo(gap, watch.speed, watch.bpm);
    watch.speed = song->speed;
    watch.bpm = song->bpm;
    watch.tempo_block = block;
    store_tempo(block, watch.speed, watch.bpm);
}

// The renderer calls on_tick when the frames of the previous tick are used
// up, so the previous tick's frames_per_tick moves the tick start on.
void watched_tick(Song* song) {
    if (watch.ticked) watch.tick_start_frame += song->frames_per_tick > 0 ? song->frames_per_tick : 1;
    watch.ticked = true;
    bool row_start = song->tick == 0;
    watch.sequencer_tick(song);
    if (row_start) note_row_started(song);
    note_tempo(song);
}

void reset_watch(Song*) {
    std::memset(watch.played, 0, sizeof watch.played);
    watch.passes_done = 0;
    watch.ticked = false;
    watch.tick_start_frame = 0;
    watch.previous_order = -1;
    watch.previous_row = -1;
    watch.loop_goes_back = false;
    watch.in_loop_pass = false;
    watch.end_frame.store(-1, std::memory_order_relaxed);
    watch.end_order.store(0, std::memory_order_relaxed);
    watch.end_row.store(0, std::memory_order_relaxed);
    watch.tempo_block = -1;
    for (BlockTempo& slot : watch.tempo) slot.block.store(-1, std::memory_order_relaxed);
}

}  // namespace

void song_watch(Song* song, int32_t passes) {
    if (song->on_tick != watched_tick) watch.sequencer_tick = song->on_tick;
    song->on_tick = watch.sequencer_tick != nullptr ? watched_tick : nullptr;
    song->on_play_start = reset_watch;
    watch.passes = passes;
}

int64_t song_end_frame() { return watch.end_frame.load(std::memory_order_acquire); }
int32_t song_end_order() { return watch.end_order.load(std::memory_order_acquire); }
int32_t song_end_row() { return watch.end_row.load(std::memory_order_acquire); }

bool song_block_tempo(int64_t block, int32_t* speed, int32_t* bpm) {
    if (block < 0) return false;
    const BlockTempo& slot = watch.tempo[block % TEMPO_BLOCKS];
    if (slot.block.load(std::memory_order_acquire) != block) return false;
    int32_t read_speed = slot.speed.load(std::memory_order_relaxed);
    int32_t read_bpm = slot.bpm.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (slot.block.load(std::memory_order_relaxed) != block) return false;
    *speed = read_speed;
    *bpm = read_bpm;
    return true;
}
