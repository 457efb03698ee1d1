// A live player with its feeder thread, on the virtual device whose position
// the tests move: the prefill, the feeder's catch-up through the ring, the
// stop hand-shake and its silence, and the device receiving exactly what
// offline rendering produces, at every start. These run again under
// ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "korvanti/player.h"
#include "player/output/player.h"
#include "player/output/sound_device_virtual.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

namespace {

// A stand-in tick routine of one tick per block (884 frames at 44100 Hz):
// the row after block k is k + 1, and it notes which thread ran it.
struct TickCount {
    std::atomic<int32_t> ticks;
    std::atomic<int32_t> ticks_off_main_thread;
    std::thread::id main_thread;
};

TickCount tick_count;

void block_tick(PlayState* play) {
    play->frames_per_tick = 884;
    play->row += 1;
    play->order = play->row / 64;
    for (int32_t i = 0; i < 32; ++i) play->channel_notes[i] = (play->row + i) & 1;
    tick_count.ticks.fetch_add(1);
    if (std::this_thread::get_id() != tick_count.main_thread) tick_count.ticks_off_main_thread.fetch_add(1);
}

SongPtr block_song(int16_t channel_count = 4) {
    tick_count.ticks = 0;
    tick_count.ticks_off_main_thread = 0;
    tick_count.main_thread = std::this_thread::get_id();
    return SongPtr(handle_of_song(hooked_song(channel_count, block_tick)));
}

constexpr uint64_t BLOCK_BYTES = 884 * 4;
constexpr uint64_t RING_BYTES = 88400 * 4;

// Waits until the feeder has caught up with the device position.
bool wait_for_audible(const Player* player, int32_t block) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (player->audible_block.load() != block || player->write_block.load() != block) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

korvanti_position position_of(korvanti_player* player) {
    korvanti_position position = {};
    EXPECT_EQ(korvanti_player_get_position(player, &position), KORVANTI_OK);
    return position;
}

XmModule busy_module() {
    std::vector<XmCell> rows;
    for (int row = 0; row < 32; ++row) {
        uint8_t note = static_cast<uint8_t>(37 + (row * 7) % 24);
        rows.push_back(row % 3 == 2 ? note_cell(0, 0, 0, 0x0A, 0x02) : note_cell(note, 1, 0, 0x04, 0x46));
    }
    return one_channel_module(rows);
}

// A live player on the virtual device, which has not moved.
struct Feeder : ::testing::Test {
    void SetUp() override {
        player = virtual_live_player(44100);
        ASSERT_NE(player, nullptr);
        // Songs play without end here, as the demo plays its own.
        ASSERT_EQ(korvanti_player_set_passes(player.get(), 0), KORVANTI_OK);
        record = player_of(player.get());
    }
    void move_device(uint64_t bytes) { virtual_device_set_bytes_played(&record->device, bytes); }
    PlayerPtr player;
    Player* record = nullptr;
};

}  // namespace

TEST_F(Feeder, StartPrefillsTheWholeRingOnTheCallingThread) {
    SongPtr song = block_song();
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    EXPECT_EQ(tick_count.ticks.load(), 100);
    EXPECT_EQ(tick_count.ticks_off_main_thread.load(), 0);
    EXPECT_NE(record->feeder, nullptr);
    EXPECT_EQ(record->write_block.load(), 0);
    EXPECT_EQ(record->audible_block.load(), 0);
    int32_t bytes = 0;
    EXPECT_EQ(virtual_device_ring(&record->device, &bytes), record->output_ring);
    EXPECT_EQ(bytes, 353600);
    for (int32_t block = 0; block < 100; ++block) ASSERT_EQ(record->block_ring[block].snapshot.row, block + 1);
    korvanti_position position = position_of(player.get());
    EXPECT_EQ(position.row, 1);
    EXPECT_EQ(position.order, 0);
    EXPECT_EQ(position.frame, 0);
    // The device has not moved: the feeder renders nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(tick_count.ticks.load(), 100);
    EXPECT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
}

TEST_F(Feeder, FeederRendersEveryBlockTheDeviceHasLeft) {
    SongPtr song = block_song();
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);

    move_device(BLOCK_BYTES);
    ASSERT_TRUE(wait_for_audible(record, 1));
    EXPECT_EQ(tick_count.ticks.load(), 101);
    EXPECT_EQ(tick_count.ticks_off_main_thread.load(), 1);
    EXPECT_EQ(record->block_ring[0].snapshot.row, 101);  // overwritten, heard two seconds on
    EXPECT_EQ(position_of(player.get()).row, 2);         // the prefilled block 1 plays now
    EXPECT_EQ(position_of(player.get()).frame, 884);

    // Part-way into block 60: blocks 1 to 59 are rendered.
    move_device(60 * BLOCK_BYTES + 400);
    ASSERT_TRUE(wait_for_audible(record, 60));
    EXPECT_EQ(tick_count.ticks.load(), 160);
    EXPECT_EQ(position_of(player.get()).row, 61);
    EXPECT_EQ(position_of(player.get()).frame, 60 * 884 + 100);

    // Past the end of the ring into block 5 of the next lap.
    move_device(RING_BYTES + 5 * BLOCK_BYTES + 4);
    ASSERT_TRUE(wait_for_audible(record, 5));
    EXPECT_EQ(tick_count.ticks.load(), 205);
    EXPECT_EQ(position_of(player.get()).row, 106);
    EXPECT_EQ(position_of(player.get()).order, 106 / 64);

    // A count beyond 2^32 bytes still names the right block (37 here).
    move_device(4 * (88400ull * 50000 + 884 * 37 + 3));
    ASSERT_TRUE(wait_for_audible(record, 37));
    EXPECT_EQ(tick_count.ticks.load(), 237);
    korvanti_position position = position_of(player.get());
    EXPECT_EQ(position.frame, 88400ll * 50000 + 884 * 37 + 3);
    ASSERT_EQ(position.channel_count, 4);
    for (int32_t i = 0; i < 32; ++i) {
        EXPECT_EQ(position.channels[i].note_struck, i < 4 && ((record->block_ring[37].snapshot.row + i) & 1) != 0)
            << i;
    }
    EXPECT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
}

// Stop ends the feeder and silences the device at once. (The device used to
// loop the last ring until the player closed.)
TEST_F(Feeder, StopEndsTheFeederAndSilencesTheDevice) {
    SongPtr song = block_song();
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
        // Stop at once, before the feeder has run: it must still be waited for.
        ASSERT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
        EXPECT_EQ(record->feeder, nullptr);
        EXPECT_TRUE(record->feeder_ended.load());
        EXPECT_FALSE(record->feeder_busy.load());
        EXPECT_EQ(record->run, StreamRun::NONE);
        korvanti_position position;
        EXPECT_EQ(korvanti_player_get_position(player.get(), &position), KORVANTI_ERROR_STATE);
        EXPECT_EQ(virtual_device_ring(&record->device, nullptr), nullptr);
    }
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    move_device(10 * BLOCK_BYTES);
    ASSERT_TRUE(wait_for_audible(record, 10));
    int32_t ticks = tick_count.ticks.load();
    ASSERT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
    EXPECT_EQ(virtual_device_ring(&record->device, nullptr), nullptr);
    move_device(20 * BLOCK_BYTES);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(tick_count.ticks.load(), ticks);  // nothing renders after the stop

    // Destroying the player while it plays ends the feeder first.
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    move_device(3 * BLOCK_BYTES);
    player.reset();
    ticks = tick_count.ticks.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(tick_count.ticks.load(), ticks);
}

// What the device is given equals what offline rendering produces, block by
// block and snapshot by snapshot, at every start: again on the same player,
// after another song, and on another player. (Before every start was a
// first start, a second play without player_init heard the first one's
// voices.)
TEST_F(Feeder, DeviceGetsExactlyTheOfflineBlocksAtEveryStart) {
    SongPtr song(load_song_from_module(busy_module()));
    SongPtr other(load_song_from_module(one_channel_module({note_cell(61, 1), note_cell(0, 0), note_cell(25, 1)})));
    ASSERT_NE(song, nullptr);
    ASSERT_NE(other, nullptr);
    PlayerPtr offline = offline_player(44100);
    ASSERT_EQ(korvanti_player_set_passes(offline.get(), 0), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(offline.get(), song.get()), KORVANTI_OK);
    std::vector<std::vector<int16_t>> blocks;
    std::vector<SyncSnapshot> snapshots;
    for (int block = 0; block < 250; ++block) {
        SyncSnapshot snapshot;
        const int16_t* pcm = render_next_block(offline.get(), &snapshot);
        ASSERT_NE(pcm, nullptr);
        blocks.emplace_back(pcm, pcm + 884 * 2);
        snapshots.push_back(snapshot);
    }

    PlayerPtr second = virtual_live_player(44100);
    ASSERT_EQ(korvanti_player_set_passes(second.get(), 0), KORVANTI_OK);
    enum class Before { NOTHING, SAME_SONG, OTHER_SONG, FRESH_PLAYER };
    for (Before before : {Before::NOTHING, Before::SAME_SONG, Before::OTHER_SONG, Before::FRESH_PLAYER}) {
        SCOPED_TRACE(static_cast<int>(before));
        korvanti_player* live = before == Before::FRESH_PLAYER ? second.get() : player.get();
        Player* live_record = player_of(live);
        if (before == Before::OTHER_SONG) {
            ASSERT_EQ(korvanti_player_start(live, other.get()), KORVANTI_OK);
            virtual_device_set_bytes_played(&live_record->device, 30 * BLOCK_BYTES);
            ASSERT_TRUE(wait_for_audible(live_record, 30));
        }
        ASSERT_EQ(korvanti_player_start(live, song.get()), KORVANTI_OK);
        for (int step = 0; step <= 3; ++step) {
            if (step > 0) {
                virtual_device_set_bytes_played(&live_record->device, static_cast<uint64_t>(step) * 50 * BLOCK_BYTES);
                ASSERT_TRUE(wait_for_audible(live_record, step * 50 % 100));
            }
            // The prefill holds song blocks 0..99; each step of 50 blocks
            // brings the next 50.
            int first = step == 0 ? 0 : 50 + step * 50;
            int last = step == 0 ? 100 : first + 50;
            const int16_t* ring = live_record->output_ring;
            for (int k = first; k < last; ++k) {
                int b = k % 100;
                ASSERT_TRUE(std::equal(blocks[k].begin(), blocks[k].end(), ring + b * 884 * 2)) << "song block " << k;
                ASSERT_EQ(std::memcmp(&live_record->block_ring[b].snapshot, &snapshots[k], sizeof(SyncSnapshot)), 0)
                    << k;
            }
        }
        // Left playing: the next round starts over it.
    }
    ASSERT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
}

// The caller's thread asks where the music is while the feeder renders;
// under ThreadSanitizer this is the check that the hand-over of block
// states is free of data races.
TEST_F(Feeder, QueriesWhileTheFeederRendersSeeWholeFlags) {
    SongPtr song = block_song(32);
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    std::atomic<bool> done{false};
    std::atomic<bool> kept_pace{true};
    Player* live = record;
    // The device moves on only once the feeder has caught up: a feeder held
    // up for a whole lap of the ring (a loaded machine, a coarse sleep) would
    // see the same position again and rightly render nothing.
    std::thread device([&done, &kept_pace, live] {
        for (uint64_t block = 1; block <= 400 && kept_pace; ++block) {
            virtual_device_set_bytes_played(&live->device, block * BLOCK_BYTES);
            kept_pace = wait_for_audible(live, static_cast<int32_t>(block % 100));
        }
        done = true;
    });
    int64_t queries = 0;
    while (!done) {
        korvanti_position position;
        ASSERT_EQ(korvanti_player_get_position(player.get(), &position), KORVANTI_OK);
        // A block may be rewritten while it is read, so its row may mix
        // bytes of two rows; what both agree on must come through.
        ASSERT_EQ(position.channel_count, 32);
        ASSERT_EQ(position.speed, 6);
        for (int32_t i = 0; i < 32; ++i) {
            ASSERT_TRUE(position.channels[i].volume == 0 && position.channels[i].instrument == 0);
        }
        ++queries;
    }
    device.join();
    ASSERT_TRUE(kept_pace) << "the feeder did not follow the device";
    EXPECT_EQ(tick_count.ticks.load(), 500);  // 400 blocks: four laps of the ring
    EXPECT_GT(queries, 0);
    EXPECT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
}

TEST_F(Feeder, SongFreeStopsAPlayingSong) {
    korvanti_song* song = load_song_from_module(busy_module());
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(korvanti_player_start(player.get(), song), KORVANTI_OK);
    move_device(30 * BLOCK_BYTES);
    ASSERT_TRUE(wait_for_audible(record, 30));
    korvanti_song_free(song);
    EXPECT_EQ(record->feeder, nullptr);
    EXPECT_EQ(record->run, StreamRun::NONE);
    EXPECT_EQ(record->handle, nullptr);
    EXPECT_EQ(virtual_device_ring(&record->device, nullptr), nullptr);
}
