// The output stream with its feeder thread, on the virtual device whose
// position the tests move: the prefill, the feeder's catch-up through the
// ring, the stop hand-shake, and the device receiving exactly what offline
// rendering produces. These run again under ThreadSanitizer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "player/module/file_access.h"
#include "player/module/song.h"
#include "scenes/music.h"
#include "player/output/sound_device.h"
#include "player/output/stream.h"
#include "support/song_from_bytes.h"

namespace {

// A stand-in tick routine of one tick per block (884 frames at 44100 Hz):
// the row after block k is k + 1, and it notes which thread ran it.
struct TickCount {
    std::atomic<int32_t> ticks;
    std::atomic<int32_t> ticks_off_main_thread;
    std::thread::id main_thread;
};

TickCount tick_count;

void block_tick(Song* song) {
    song->frames_per_tick = 884;
    song->row += 1;
    song->order = song->row / 64;
    for (int32_t i = 0; i < 32; ++i) song->channel_notes[i] = (song->row + i) & 1;
    tick_count.ticks.fetch_add(1);
    if (std::this_thread::get_id() != tick_count.main_thread) tick_count.ticks_off_main_thread.fetch_add(1);
}

Song block_song(int16_t channel_count = 4) {
    tick_count.ticks = 0;
    tick_count.ticks_off_main_thread = 0;
    tick_count.main_thread = std::this_thread::get_id();
    Song song{};
    song.channel_count = channel_count;
    song.default_tempo = 6;
    song.default_bpm = 125;
    song.on_tick = block_tick;
    return song;
}

constexpr uint64_t BLOCK_BYTES = 884 * 4;
constexpr uint64_t RING_BYTES = 88400 * 4;

// Waits until the feeder has caught up with the device position.
bool wait_for_audible(int32_t block) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (stream_audible_block() != block || stream_write_block() != block) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<int16_t> ring_copy() {
    const int16_t* ring = stream_output_ring();
    return std::vector<int16_t>(ring, ring + 88400 * 2);
}

XmModule busy_module() {
    std::vector<XmCell> rows;
    for (int row = 0; row < 32; ++row) {
        uint8_t note = static_cast<uint8_t>(37 + (row * 7) % 24);
        rows.push_back(row % 3 == 2 ? note_cell(0, 0, 0, 0x0A, 0x02) : note_cell(note, 1, 0, 0x04, 0x46));
    }
    return one_channel_module(rows);
}

class Feeder : public ::testing::Test {
protected:
    void SetUp() override {
        install_memory_file_callbacks();
        virtual_device_set_bytes_played(0);
        ASSERT_TRUE(player_init(44100));
    }
    void TearDown() override { player_close(); }
};

}  // namespace

TEST_F(Feeder, PlayPrefillsTheWholeRingOnTheCallingThread) {
    Song song = block_song();
    ASSERT_TRUE(song_play(&song));
    EXPECT_EQ(tick_count.ticks.load(), 100);
    EXPECT_EQ(tick_count.ticks_off_main_thread.load(), 0);
    EXPECT_TRUE(stream_feeder_running());
    EXPECT_EQ(stream_write_block(), 0);
    EXPECT_EQ(stream_audible_block(), 0);
    int32_t bytes = 0;
    EXPECT_EQ(virtual_device_ring(&bytes), stream_output_ring());
    EXPECT_EQ(bytes, 353600);
    for (int32_t block = 0; block < 100; ++block) ASSERT_EQ(stream_snapshots()[block].row, block + 1);
    EXPECT_EQ(song_audible_row(&song), 1);
    EXPECT_EQ(song_audible_order(&song), 0);
    // The device has not moved: the feeder renders nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(tick_count.ticks.load(), 100);
    EXPECT_TRUE(song_stop(&song));
}

TEST_F(Feeder, FeederRendersEveryBlockTheDeviceHasLeft) {
    Song song = block_song();
    ASSERT_TRUE(song_play(&song));

    virtual_device_set_bytes_played(BLOCK_BYTES);
    ASSERT_TRUE(wait_for_audible(1));
    EXPECT_EQ(tick_count.ticks.load(), 101);
    EXPECT_EQ(tick_count.ticks_off_main_thread.load(), 1);
    EXPECT_EQ(stream_snapshots()[0].row, 101);  // overwritten, heard two seconds on
    EXPECT_EQ(song_audible_row(&song), 2);       // the prefilled block 1 plays now

    // Part-way into block 60: blocks 1 to 59 are rendered.
    virtual_device_set_bytes_played(60 * BLOCK_BYTES + 400);
    ASSERT_TRUE(wait_for_audible(60));
    EXPECT_EQ(tick_count.ticks.load(), 160);
    EXPECT_EQ(song_audible_row(&song), 61);

    // Past the end of the ring into block 5 of the next lap.
    virtual_device_set_bytes_played(RING_BYTES + 5 * BLOCK_BYTES + 4);
    ASSERT_TRUE(wait_for_audible(5));
    EXPECT_EQ(tick_count.ticks.load(), 205);
    EXPECT_EQ(song_audible_row(&song), 106);
    EXPECT_EQ(song_audible_order(&song), 106 / 64);

    // A count beyond 2^32 bytes still names the right block (37 here).
    virtual_device_set_bytes_played(4 * (88400ull * 50000 + 884 * 37 + 3));
    ASSERT_TRUE(wait_for_audible(37));
    EXPECT_EQ(tick_count.ticks.load(), 237);
    int32_t out[32];
    for (int32_t& value : out) value = -1;
    EXPECT_EQ(song_audible_channel_values(&song, out), 1);
    for (int32_t i = 0; i < 32; ++i) EXPECT_EQ(out[i], i < 4 ? (stream_snapshots()[37].row + i) & 1 : -1) << i;
    EXPECT_TRUE(song_stop(&song));
}

TEST_F(Feeder, StopEndsTheFeederAndReleasesThePlayBuffers) {
    Song song = block_song();
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(song_play(&song));
        // Stop at once, before the feeder has run: it must still be waited for.
        EXPECT_TRUE(song_stop(&song));
        EXPECT_FALSE(stream_feeder_running());
        EXPECT_FALSE(stream_feeder_busy());
        EXPECT_EQ(stream_snapshots(), nullptr);
        EXPECT_EQ(song_audible_row(&song), 0);
        // The device loops the last ring until the player closes.
        EXPECT_NE(virtual_device_ring(nullptr), nullptr);
    }
    ASSERT_TRUE(song_play(&song));
    virtual_device_set_bytes_played(10 * BLOCK_BYTES);
    ASSERT_TRUE(wait_for_audible(10));
    int32_t ticks = tick_count.ticks.load();
    EXPECT_TRUE(song_stop(&song));
    virtual_device_set_bytes_played(20 * BLOCK_BYTES);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(tick_count.ticks.load(), ticks);  // nothing renders after the stop

    // Closing the player while it plays ends the feeder first.
    virtual_device_set_bytes_played(0);
    ASSERT_TRUE(song_play(&song));
    player_close();
    EXPECT_FALSE(stream_feeder_running());
    EXPECT_FALSE(virtual_device_is_open());
    EXPECT_EQ(virtual_device_ring(nullptr), nullptr);
    EXPECT_EQ(stream_output_ring(), nullptr);
    EXPECT_FALSE(song_play(&song));
}

// What the device is given equals what offline rendering produces, block by
// block and snapshot by snapshot. A second play restarts the song exactly;
// the voices keep sounding across it unless player_init resets them, so
// without one only the snapshots are sure to repeat.
TEST_F(Feeder, DeviceGetsExactlyTheOfflineBlocks) {
    SongPtr song(load_song_from_module(busy_module()));
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(player_init_offline(44100));
    ASSERT_TRUE(song_render_start(song.get()));
    std::vector<std::vector<int16_t>> blocks;
    std::vector<SyncSnapshot> snapshots;
    for (int block = 0; block < 250; ++block) {
        SyncSnapshot snapshot;
        const int16_t* pcm = song_render_next(&snapshot);
        ASSERT_NE(pcm, nullptr);
        blocks.emplace_back(pcm, pcm + 884 * 2);
        snapshots.push_back(snapshot);
    }
    ASSERT_TRUE(song_stop(song.get()));

    struct Round {
        bool player_init_first;
        bool same_sound;
    };
    int differing_blocks = 0;
    for (Round round : {Round{true, true}, Round{false, false}, Round{true, true}}) {
        SCOPED_TRACE(round.player_init_first);
        if (round.player_init_first) {
            ASSERT_TRUE(player_init(44100));
        }
        virtual_device_set_bytes_played(0);
        ASSERT_TRUE(song_play(song.get()));
        for (int step = 0; step <= 3; ++step) {
            if (step > 0) {
                virtual_device_set_bytes_played(static_cast<uint64_t>(step) * 50 * BLOCK_BYTES);
                ASSERT_TRUE(wait_for_audible(step * 50 % 100));
            }
            // The prefill holds song blocks 0..99; each step of 50 blocks
            // brings the next 50.
            int first = step == 0 ? 0 : 50 + step * 50;
            int last = step == 0 ? 100 : first + 50;
            std::vector<int16_t> ring = ring_copy();
            for (int k = first; k < last; ++k) {
                int b = k % 100;
                bool same = std::equal(blocks[k].begin(), blocks[k].end(), ring.begin() + b * 884 * 2);
                if (round.same_sound) {
                    ASSERT_TRUE(same) << "song block " << k;
                } else {
                    differing_blocks += !same;
                }
                ASSERT_EQ(std::memcmp(&stream_snapshots()[b], &snapshots[k], sizeof(SyncSnapshot)), 0) << k;
            }
        }
        ASSERT_TRUE(song_stop(song.get()));
    }
    // Without player_init the old voices were still heard at the start.
    EXPECT_GT(differing_blocks, 0);
}

// The main thread queries while the feeder renders; under ThreadSanitizer
// this is the check that the snapshot hand-over is free of data races.
TEST_F(Feeder, QueriesWhileTheFeederRendersSeeWholeFlags) {
    Song song = block_song(32);
    ASSERT_TRUE(song_play(&song));
    std::atomic<bool> done{false};
    std::atomic<bool> kept_pace{true};
    // The device moves on only once the feeder has caught up: a feeder held
    // up for a whole lap of the ring (a loaded machine, a coarse sleep) would
    // see the same position again and rightly render nothing.
    std::thread device([&done, &kept_pace] {
        for (uint64_t block = 1; block <= 400 && kept_pace; ++block) {
            virtual_device_set_bytes_played(block * BLOCK_BYTES);
            kept_pace = wait_for_audible(static_cast<int32_t>(block % 100));
        }
        done = true;
    });
    int32_t out[32];
    int64_t queries = 0;
    while (!done) {
        ASSERT_EQ(song_audible_channel_values(&song, out), 1);
        for (int32_t value : out) ASSERT_TRUE(value == 0 || value == 1) << value;
        int32_t row = song_audible_row(&song);
        ASSERT_GE(row, 0);
        ASSERT_LT(row, 256);
        ++queries;
    }
    device.join();
    ASSERT_TRUE(kept_pace) << "the feeder did not follow the device";
    EXPECT_EQ(tick_count.ticks.load(), 500);  // 400 blocks: four laps of the ring
    EXPECT_GT(queries, 0);
    EXPECT_TRUE(song_stop(&song));
}

TEST_F(Feeder, SongFreeStopsAPlayingSong) {
    Song* song = load_song_from_module(busy_module());
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(song_play(song));
    virtual_device_set_bytes_played(30 * BLOCK_BYTES);
    ASSERT_TRUE(wait_for_audible(30));
    EXPECT_TRUE(song_free(song));
    EXPECT_FALSE(stream_feeder_running());
    EXPECT_EQ(stream_snapshots(), nullptr);
}

TEST_F(Feeder, MusicGluePlaysTheSongAndReportsWhatIsHeard) {
    player_close();
    std::string path = ::testing::TempDir() + "korvanti_feeder_glue_" + std::to_string(getpid()) + ".xm";
    ASSERT_TRUE(xm_write_file(busy_module(), path));
    ::testing::internal::CaptureStdout();
    music_init(path.c_str());
    std::remove(path.c_str());  // loaded into memory by now
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    ASSERT_TRUE(music_play());
    EXPECT_EQ(music_order(), 0);
    EXPECT_EQ(music_row(), 0);
    int32_t out[32];
    for (int32_t& value : out) value = -1;
    EXPECT_EQ(music_channel_values(out), 0);
    EXPECT_EQ(out[0], 1);  // row 0 strikes a note on the one channel
    EXPECT_EQ(out[1], -1);
    // 5292 frames a row: block 12 (frames 10608..11491) is in row 2.
    virtual_device_set_bytes_played(12 * BLOCK_BYTES);
    ASSERT_TRUE(wait_for_audible(12));
    EXPECT_EQ(music_row(), 2);
    music_shutdown();
    EXPECT_FALSE(stream_feeder_running());
    EXPECT_FALSE(virtual_device_is_open());
    EXPECT_EQ(music_order(), 0);
    EXPECT_EQ(music_row(), 0);
}
