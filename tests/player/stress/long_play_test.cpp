// An hour of music through the feeder at accelerated speed, and a feeder
// starved by a device that jumps further than the ring at once.
//
// Every block the feeder renders is compared with an offline render of the
// same song block (PCM and snapshot), so a block rendered twice, skipped or
// left stale in the ring shows. The song runs at 8000 Hz with 80-frame ticks
// (BPM 250): every block is exactly two ticks and 20 ms, so the elapsed time
// of song block k is 20 * (k + 1) ms.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "korvanti/player.h"
#include "player/module/song.h"
#include "player/output/player.h"
#include "player/output/sound_device_virtual.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

namespace {

constexpr int32_t RATE = 8000;
constexpr int32_t BLOCK_FRAMES = 160;
constexpr uint64_t BLOCK_BYTES = BLOCK_FRAMES * 4;
constexpr int32_t RING_BLOCKS = 100;
constexpr int32_t BLOCK_MS = 20;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif

// A fast song: one tick a row at BPM 250, four channels of notes with
// slides, vibrato, arpeggio, panning, retriggers and key-offs, twelve patterns
// in turn, one cut short by a pattern break: the music repeats only after
// some 370 blocks, far more than the ring holds. No tempo
// changes: ticks stay 80 frames.
XmModule fast_module() {
    constexpr uint16_t CHANNELS = 4;
    constexpr uint16_t ROWS = 64;
    constexpr int PATTERNS = 12;
    XmModule module;
    module.channel_count = CHANNELS;
    module.default_tempo = 1;
    module.default_bpm = 250;
    module.song_length = PATTERNS;
    for (int p = 0; p < PATTERNS; ++p) module.orders.push_back(uint8_t(p));
    const uint8_t effects[] = {0x03, 0x04, 0x08, 0x00, 0x0A, 0x01, 0x02, 0x0E};
    for (int p = 0; p < PATTERNS; ++p) {
        XmPattern pattern = empty_pattern(ROWS, CHANNELS);
        for (uint16_t row = 0; row < ROWS; ++row) {
            for (uint16_t channel = 0; channel < CHANNELS; ++channel) {
                int k = row * 3 + channel * 5 + p * 11 + row / 7;
                XmCell cell;
                if (k % 4 != 3) {
                    cell.note = uint8_t(30 + k % 40);
                    cell.instrument = uint8_t(1 + (row + channel) % 2);
                }
                if (row % 11 == 10 && channel == 1) cell.note = 97;
                cell.effect = effects[k % 8];
                cell.param = cell.effect == 0x0E ? uint8_t(0x90 | (k % 3))
                             : cell.effect == 0x0A ? uint8_t(0x10 * (k % 3))  // slides up only
                                                   : uint8_t(k * 37 % 256);
                cell.volume = uint8_t(0x30 + k * 7 % 0x20);
                set_cell(pattern, CHANNELS, row, channel, cell);
            }
        }
        module.patterns.push_back(pattern);
    }
    set_cell(module.patterns[1], CHANNELS, 17, 3, note_cell(0, 0, 0, 0x0D, 0x04));
    XmInstrument looping = instrument_with_sample(square_sample(20, 5, 12000));
    XmInstrument pingpong = instrument_with_sample(
        make_sample({-90, -40, 0, 40, 90, 120, 90, 40, 0, -40}, false, 2, 2, 6));
    pingpong.volume_envelope.points = {{0, 64}, {4, 20}, {9, 50}, {30, 0}};
    pingpong.volume_envelope.flags = 1 | 4;
    pingpong.volume_envelope.loop_start = 1;
    pingpong.volume_envelope.loop_end = 2;
    pingpong.fadeout = 300;
    module.instruments = {looping, pingpong};
    return module;
}

uint64_t fnv1a(const void* data, size_t bytes) {
    uint64_t hash = 1469598103934665603ull;
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < bytes; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
    return hash;
}

// One offline-rendered song block, reduced to what the ring comparison needs.
struct BlockPrint {
    uint64_t pcm;       // hash of the block's PCM
    uint64_t snapshot;  // hash of the whole SyncSnapshot
    int32_t elapsed_ms;
    uint8_t order;
    uint8_t row;
};

// The song's first blocks, played without end as the live player plays it.
std::vector<BlockPrint> render_offline(korvanti_song* song, int64_t blocks) {
    std::vector<BlockPrint> prints;
    prints.reserve(size_t(blocks));
    PlayerPtr player = offline_player(RATE);
    EXPECT_EQ(korvanti_player_set_passes(player.get(), 0), KORVANTI_OK);
    EXPECT_EQ(korvanti_player_start(player.get(), song), KORVANTI_OK);
    for (int64_t k = 0; k < blocks; ++k) {
        SyncSnapshot snapshot;
        const int16_t* pcm = render_next_block(player.get(), &snapshot);
        if (pcm == nullptr) break;
        prints.push_back({fnv1a(pcm, BLOCK_BYTES), fnv1a(&snapshot, sizeof snapshot), snapshot.elapsed_ms,
                          snapshot.order, snapshot.row});
    }
    return prints;
}

bool wait_for_catch_up(const Player* player, int32_t block) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (player->audible_block.load() != block || player->write_block.load() != block) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// The state of the block heard now, read as the caller reads it.
BlockState heard_state(const Player* player) {
    BlockState state = {};
    const BlockState* shared = current_block_state(player);
    if (shared != nullptr) block_state_read(shared, &state);
    return state;
}

// The live stream against the offline prints: which song block each ring
// slot should hold, given that the feeder renders the song's next block into
// every slot the device has left.
struct LivePlay {
    const std::vector<BlockPrint>* prints;
    korvanti_player* player;
    Player* record;
    int64_t slot_block[RING_BLOCKS];  // song block held by each ring slot
    int64_t rendered;                 // song blocks rendered so far
    uint64_t device_bytes;            // where the device stands

    // The start has just prefilled the ring with song blocks 0..99.
    void start() {
        for (int32_t slot = 0; slot < RING_BLOCKS; ++slot) slot_block[slot] = slot;
        rendered = RING_BLOCKS;
        device_bytes = 0;
        for (int32_t slot = 0; slot < RING_BLOCKS; ++slot) expect_slot(slot);
    }

    void expect_slot(int32_t slot) const {
        int64_t block = slot_block[slot];
        if (block >= int64_t(prints->size())) return;  // beyond the reference
        const BlockPrint& want = (*prints)[size_t(block)];
        const int16_t* ring = record->output_ring + size_t(slot) * BLOCK_FRAMES * 2;
        ASSERT_EQ(fnv1a(ring, BLOCK_BYTES), want.pcm) << "slot " << slot << ", song block " << block;
        ASSERT_EQ(fnv1a(&record->block_ring[slot].snapshot, sizeof(SyncSnapshot)), want.snapshot)
            << "slot " << slot << ", song block " << block;
    }

    // Moves the device by `bytes`, waits for the feeder and checks every slot
    // it rendered and the block heard now.
    void advance(uint64_t bytes) {
        int32_t from = int32_t(device_bytes / 4 % (BLOCK_FRAMES * RING_BLOCKS) / BLOCK_FRAMES);
        device_bytes += bytes;
        int32_t to = int32_t(device_bytes / 4 % (BLOCK_FRAMES * RING_BLOCKS) / BLOCK_FRAMES);
        virtual_device_set_bytes_played(&record->device, device_bytes);
        ASSERT_TRUE(wait_for_catch_up(record, to)) << "the feeder did not catch up with block " << to;
        for (int32_t slot = from; slot != to; slot = (slot + 1) % RING_BLOCKS) {
            slot_block[slot] = rendered++;
            expect_slot(slot);
            if (::testing::Test::HasFatalFailure()) return;
        }
        expect_slot(to);
        if (::testing::Test::HasFatalFailure()) return;
        int64_t heard = slot_block[to];
        if (heard >= int64_t(prints->size())) return;
        const BlockPrint& want = (*prints)[size_t(heard)];
        ASSERT_EQ(int32_t{heard_state(record).snapshot.elapsed_ms}, want.elapsed_ms);
        korvanti_position position;
        ASSERT_EQ(korvanti_player_get_position(player, &position), KORVANTI_OK);
        ASSERT_EQ(position.row & 255, want.row);
        ASSERT_EQ(position.order & 255, want.order);
        ASSERT_EQ(position.frame, int64_t(device_bytes / 4));
    }
};

class LongPlay : public ::testing::Test {
protected:
    void SetUp() override {
        song.reset(load_song_from_module(fast_module()));
        ASSERT_NE(song, nullptr);
        player = virtual_live_player(RATE);
        ASSERT_NE(player, nullptr);
        ASSERT_EQ(korvanti_player_set_passes(player.get(), 0), KORVANTI_OK);
    }
    // Offline first, then live on a player of its own.
    void play_against_offline(int64_t blocks) {
        prints = render_offline(song.get(), blocks);
        ASSERT_EQ(int64_t(prints.size()), blocks);
        // A stale block is one ring older than the one due: the comparison
        // catches it only where those two differ.
        int same_a_ring_apart = 0;
        for (size_t k = 0; k < 1000; ++k) same_a_ring_apart += prints[k].pcm == prints[k + RING_BLOCKS].pcm;
        ASSERT_LT(same_a_ring_apart, 10);
        ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
        live.prints = &prints;
        live.player = player.get();
        live.record = player_of(player.get());
        live.start();
    }
    int32_t heard_elapsed_ms() const { return heard_state(live.record).snapshot.elapsed_ms; }
    // Declared before the player: the player goes first, stopping its play.
    SongPtr song;
    PlayerPtr player;
    std::vector<BlockPrint> prints;
    LivePlay live{};
};

}  // namespace

// One hour at 8000 Hz is 180000 blocks; the device moves by 1 to 99 blocks
// and a part of a block at a time, never more than the ring, so every block
// it reaches must be the one rendered for it. Under sanitizers a quarter of
// an hour.
TEST_F(LongPlay, AnHourWithEveryHeardBlockRenderedForIt) {
    const int64_t blocks = (SANITIZED ? 15 : 60) * 60 * 1000 / BLOCK_MS;
    ASSERT_NO_FATAL_FAILURE(play_against_offline(blocks + RING_BLOCKS));
    // The song's own clock: exact 20 ms blocks, rows and orders moving.
    ASSERT_EQ(prints[0].elapsed_ms, BLOCK_MS);
    ASSERT_EQ(prints[size_t(blocks - 1)].elapsed_ms, blocks * BLOCK_MS);
    uint32_t step_seed = 12345;
    int64_t device_block = 0;
    int64_t steps = 0;
    int32_t previous_elapsed = heard_elapsed_ms();
    while (device_block < blocks - RING_BLOCKS) {
        step_seed = step_seed * 1103515245u + 12345u;
        uint64_t step_blocks = 1 + (step_seed >> 16) % 99;
        uint64_t extra = (step_seed >> 8) % BLOCK_BYTES / 4 * 4;
        uint64_t target = (uint64_t(device_block) + step_blocks) * BLOCK_BYTES + extra;
        ASSERT_NO_FATAL_FAILURE(live.advance(target - live.device_bytes)) << "step " << steps;
        int64_t previous_block = device_block;
        device_block = int64_t(live.device_bytes / BLOCK_BYTES);
        // Nothing starved: the block heard is the device's own block, and the
        // snapshot's time is within one block of the frames played.
        ASSERT_EQ(live.slot_block[device_block % RING_BLOCKS], device_block);
        int32_t elapsed = heard_elapsed_ms();
        int64_t played_ms = int64_t(live.device_bytes / 4) * 1000 / RATE;
        ASSERT_GE(elapsed, played_ms);
        ASSERT_LE(elapsed, played_ms + BLOCK_MS);
        ASSERT_EQ(elapsed - previous_elapsed, (device_block - previous_block) * BLOCK_MS);
        previous_elapsed = elapsed;
        ++steps;
    }
    EXPECT_EQ(live.rendered, device_block + RING_BLOCKS);
    EXPECT_GT(steps, blocks / 60);  // steps average 50 blocks
    std::printf("[ info ] %lld blocks heard (%lld s of music) in %lld device steps\n",
                static_cast<long long>(device_block), static_cast<long long>(device_block * BLOCK_MS / 1000),
                static_cast<long long>(steps));
}

// The device jumps further than the ring holds: the feeder can only render up
// to the block the device is now in, modulo the ring, and the music heard is
// two seconds (or more) older than the device. The player must carry on:
// the song keeps rendering in order, snapshots keep advancing, no hang.
TEST_F(LongPlay, StarvedFeederRecoversAndCarriesOn) {
    ASSERT_NO_FATAL_FAILURE(play_against_offline(6000));
    const uint64_t jumps[] = {150, 100, 1000, 99, 250, 1, 3 * RING_BLOCKS + 37};
    for (uint64_t jump : jumps) {
        SCOPED_TRACE(jump);
        int32_t before = heard_elapsed_ms();
        int64_t rendered_before = live.rendered;
        ASSERT_NO_FATAL_FAILURE(live.advance(jump * BLOCK_BYTES));
        // A jump of whole laps renders nothing more than the remainder.
        EXPECT_EQ(live.rendered - rendered_before, int64_t(jump % RING_BLOCKS));
        // Normal play afterwards: the heard song block advances with the device.
        for (int step = 0; step < 20; ++step) {
            int32_t heard_before = heard_elapsed_ms();
            ASSERT_NO_FATAL_FAILURE(live.advance(7 * BLOCK_BYTES));
            ASSERT_EQ(heard_elapsed_ms() - heard_before, 7 * BLOCK_MS);
        }
        EXPECT_GT(heard_elapsed_ms(), before);
    }
    // A position past 2^32 bytes, far ahead: still a clean catch-up.
    ASSERT_NO_FATAL_FAILURE(live.advance((uint64_t(1) << 33) + 11 * BLOCK_BYTES));
    ASSERT_NO_FATAL_FAILURE(live.advance(5 * BLOCK_BYTES));
    EXPECT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
    EXPECT_EQ(live.record->feeder, nullptr);
}
