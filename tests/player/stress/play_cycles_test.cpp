// Hundreds of load / play / stop / free cycles with the feeder running and
// the device moving on a thread of its own, while the main thread keeps
// asking where the music is. Under ThreadSanitizer and AddressSanitizer this
// is the check that starting, stopping and releasing a song never races the
// feeder or leaves it reading released memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "player/module/song.h"
#include "scenes/music.h"
#include "player/output/sound_device.h"
#include "player/output/stream.h"
#include "support/song_from_bytes.h"

namespace {

constexpr int32_t RATE = 8000;            // 160-frame blocks: cheap prefills under sanitizers
constexpr uint64_t BLOCK_BYTES = 160 * 4;
constexpr int32_t CHANNELS = 3;
constexpr int32_t ROWS = 8;
constexpr int32_t ORDERS = 2;
constexpr int32_t UNTOUCHED = -7;  // marks query entries past channel_count

// Three channels over two short patterns, notes on most rows (so the note
// flags change), a looping and a one-shot sample.
XmModule tiny_module() {
    std::vector<XmCell> cells(ROWS * CHANNELS);
    for (int row = 0; row < ROWS; ++row)
        for (int channel = 0; channel < CHANNELS; ++channel)
            if ((row + channel) % 3 != 0)
                cells[size_t(row * CHANNELS + channel)] =
                    note_cell(uint8_t(40 + row + channel * 5), uint8_t(1 + channel % 2), 0, 0x0A, 0x21);
    XmModule module = module_with_cells(CHANNELS, cells, ROWS,
                                        {instrument_with_sample(square_sample(16, 6)),
                                         instrument_with_sample(make_sample({0, 30, 60, 90, 60, 30, 0, -30}, false))});
    module.default_tempo = 2;
    module.song_length = ORDERS;
    module.orders = {0, 0};
    return module;
}

// Moves the virtual device by one block every few hundred microseconds until
// told to stop, as a sound card would, whatever the player is doing.
struct DeviceClock {
    std::atomic<bool> stop{false};
    std::thread thread;

    void start() {
        thread = std::thread([this] {
            while (!stop.load()) {
                virtual_device_advance(BLOCK_BYTES);
                std::this_thread::sleep_for(std::chrono::microseconds(400));
            }
        });
    }
    void finish() {
        stop = true;
        thread.join();
    }
};

// What the main thread sees while a song plays: positions inside the song and
// whole note flags in the song's channels only.
void expect_sane_queries(Song* song) {
    int32_t order = song_audible_order(song);
    int32_t row = song_audible_row(song);
    ASSERT_GE(order, 0);
    ASSERT_LT(order, ORDERS);
    ASSERT_GE(row, 0);
    ASSERT_LT(row, ROWS);
    int32_t out[32];
    for (int32_t& value : out) value = UNTOUCHED;
    ASSERT_EQ(song_audible_channel_values(song, out), 1);
    for (int32_t i = 0; i < 32; ++i) {
        if (i < CHANNELS) {
            ASSERT_TRUE(out[i] == 0 || out[i] == 1) << "channel " << i << ": " << out[i];
        } else {
            ASSERT_EQ(out[i], UNTOUCHED) << "entry " << i;
        }
    }
}

// Queries until the feeder has moved the audible block `moves` times.
// Returns the number of queries made; 0 when the feeder made no progress in
// ten seconds.
int64_t query_while_playing(Song* song, int moves) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int32_t last = stream_audible_block();
    int seen = 0;
    int64_t queries = 0;
    while (seen < moves) {
        expect_sane_queries(song);
        if (::testing::Test::HasFatalFailure()) return 0;
        ++queries;
        int32_t now = stream_audible_block();
        if (now != last) {
            ++seen;
            last = now;
        }
        if (std::chrono::steady_clock::now() > deadline) return 0;
    }
    return queries;
}

void expect_stopped(Song* song) {
    EXPECT_FALSE(stream_feeder_running());
    EXPECT_FALSE(stream_feeder_busy());
    EXPECT_EQ(stream_snapshots(), nullptr);
    int32_t out[CHANNELS] = {UNTOUCHED, UNTOUCHED, UNTOUCHED};
    EXPECT_EQ(song_audible_row(song), 0);
    EXPECT_EQ(song_audible_order(song), 0);
    EXPECT_EQ(song_audible_channel_values(song, out), 0);
    EXPECT_EQ(out[0], UNTOUCHED);
}

}  // namespace

// Each cycle loads the song afresh, plays it, lets the feeder render a few
// blocks under a stream of queries, and ends it one of three ways: freed
// while playing, stopped then freed, or stopped, replayed at once and freed.
TEST(PlayCycles, FiveHundredCyclesWithTheFeederRunning) {
    register_memory_file("stress.xm", xm_write(tiny_module()));
    virtual_device_set_bytes_played(0);
    ASSERT_TRUE(player_init(RATE));
    DeviceClock clock;
    clock.start();
    int64_t queries = 0;
    for (int cycle = 0; cycle < 500; ++cycle) {
        SCOPED_TRACE(cycle);
        Song* song = song_load("stress.xm", nullptr);
        ASSERT_NE(song, nullptr);
        ASSERT_TRUE(song_play(song));
        int64_t made = query_while_playing(song, 3);
        ASSERT_GT(made, 0) << "the feeder made no progress";
        queries += made;
        switch (cycle % 3) {
            case 0:
                break;  // song_free stops it
            case 1:
                ASSERT_TRUE(song_stop(song));
                expect_stopped(song);
                break;
            case 2:
                ASSERT_TRUE(song_stop(song));
                ASSERT_TRUE(song_play(song));
                ASSERT_GT(query_while_playing(song, 1), 0);
                break;
        }
        ASSERT_TRUE(song_free(song));
        ASSERT_FALSE(stream_feeder_running());
        ASSERT_EQ(stream_snapshots(), nullptr);
    }
    clock.finish();
    player_close();
    EXPECT_EQ(memory_files_open(), 0);
    EXPECT_GT(queries, 500);
}

// The demo's glue the same way, through a file on disk: init, play, queries,
// shutdown, repeatedly, with the device moving meanwhile.
TEST(PlayCycles, MusicGlueCycles) {
    std::string path = ::testing::TempDir() + "korvanti_stress_glue_" + std::to_string(getpid()) + ".xm";
    ASSERT_TRUE(xm_write_file(tiny_module(), path));
    DeviceClock clock;
    clock.start();
    for (int cycle = 0; cycle < 40; ++cycle) {
        SCOPED_TRACE(cycle);
        ::testing::internal::CaptureStdout();
        music_init(path.c_str());
        std::string printed = ::testing::internal::GetCapturedStdout();
        ASSERT_EQ(printed, "");
        ASSERT_TRUE(music_play());
        int32_t start = stream_audible_block();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int32_t out[CHANNELS];
        while (stream_audible_block() == start) {
            ASSERT_LT(music_order(), ORDERS);
            ASSERT_LT(music_row(), ROWS);
            ASSERT_EQ(music_channel_values(out), 0);
            for (int32_t value : out) ASSERT_TRUE(value == 0 || value == 1) << value;
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the feeder made no progress";
        }
        music_shutdown();
        ASSERT_FALSE(stream_feeder_running());
        ASSERT_FALSE(virtual_device_is_open());
        EXPECT_EQ(music_row(), 0);
    }
    clock.finish();
    std::remove(path.c_str());
}
