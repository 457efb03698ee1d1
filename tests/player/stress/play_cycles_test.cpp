// Hundreds of load / start / stop / free cycles with the feeder running and
// the device moving on a thread of its own, while the caller keeps asking
// where the music is; and players of one song cycling on threads of their
// own. Under ThreadSanitizer and AddressSanitizer this is the check that
// starting, stopping and releasing a song never races the feeder or leaves
// it reading released memory.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "korvanti/player.h"
#include "player/output/player.h"
#include "player/output/sound_device_virtual.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

namespace {

constexpr int32_t RATE = 8000;            // 160-frame blocks: cheap prefills under sanitizers
constexpr uint64_t BLOCK_BYTES = 160 * 4;
constexpr int32_t CHANNELS = 3;
constexpr int32_t ROWS = 8;
constexpr int32_t ORDERS = 2;

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

// Moves a live player's virtual device by one block every few hundred
// microseconds until told to stop, as a sound card would, whatever the
// player is doing.
struct DeviceClock {
    std::atomic<bool> stop{false};
    std::thread thread;

    void start(SoundDevice* device) {
        thread = std::thread([this, device] {
            while (!stop.load()) {
                virtual_device_advance(device, BLOCK_BYTES);
                std::this_thread::sleep_for(std::chrono::microseconds(400));
            }
        });
    }
    void finish() {
        stop = true;
        thread.join();
    }
};

// What the caller sees while a song plays: positions inside the song and
// the song's channels.
void expect_sane_position(korvanti_player* player) {
    korvanti_position position;
    ASSERT_EQ(korvanti_player_get_position(player, &position), KORVANTI_OK);
    ASSERT_GE(position.order, 0);
    ASSERT_LT(position.order, ORDERS);
    ASSERT_GE(position.row, 0);
    ASSERT_LT(position.row, ROWS);
    ASSERT_EQ(position.channel_count, CHANNELS);
    for (int32_t i = CHANNELS; i < 32; ++i) {
        ASSERT_FALSE(position.channels[i].note_struck) << "entry " << i;
        ASSERT_EQ(position.channels[i].volume, 0) << "entry " << i;
    }
}

// Queries until the feeder has moved the audible block `moves` times.
// Returns the number of queries made; 0 when the feeder made no progress in
// ten seconds.
int64_t query_while_playing(korvanti_player* player, int moves) {
    const Player* record = player_of(player);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int32_t last = record->audible_block.load();
    int seen = 0;
    int64_t queries = 0;
    while (seen < moves) {
        expect_sane_position(player);
        if (::testing::Test::HasFatalFailure()) return 0;
        ++queries;
        int32_t now = record->audible_block.load();
        if (now != last) {
            ++seen;
            last = now;
        }
        if (std::chrono::steady_clock::now() > deadline) return 0;
    }
    return queries;
}

void expect_stopped(korvanti_player* player) {
    const Player* record = player_of(player);
    EXPECT_EQ(record->feeder, nullptr);
    EXPECT_FALSE(record->feeder_busy.load());
    EXPECT_EQ(record->run, StreamRun::NONE);
    korvanti_position position;
    EXPECT_EQ(korvanti_player_get_position(player, &position), KORVANTI_ERROR_STATE);
    EXPECT_EQ(virtual_device_ring(const_cast<SoundDevice*>(&record->device), nullptr), nullptr);
}

}  // namespace

// Each cycle loads the song afresh, starts it, lets the feeder render a few
// blocks under a stream of queries, and ends it one of three ways: freed
// while playing, stopped then freed, or stopped, started again at once and
// freed.
TEST(PlayCycles, FiveHundredCyclesWithTheFeederRunning) {
    const std::vector<uint8_t> bytes = xm_write(tiny_module());
    PlayerPtr player = virtual_live_player(RATE);
    ASSERT_NE(player, nullptr);
    ASSERT_EQ(korvanti_player_set_passes(player.get(), 0), KORVANTI_OK);
    DeviceClock clock;
    clock.start(&player_of(player.get())->device);
    int64_t queries = 0;
    for (int cycle = 0; cycle < 500; ++cycle) {
        SCOPED_TRACE(cycle);
        int error = -1;
        korvanti_song* song = korvanti_song_load_memory(bytes.data(), bytes.size(), &error);
        ASSERT_NE(song, nullptr);
        ASSERT_EQ(error, KORVANTI_OK);
        ASSERT_EQ(korvanti_player_start(player.get(), song), KORVANTI_OK);
        int64_t made = query_while_playing(player.get(), 3);
        ASSERT_GT(made, 0) << "the feeder made no progress";
        queries += made;
        switch (cycle % 3) {
            case 0:
                break;  // korvanti_song_free stops it
            case 1:
                ASSERT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
                expect_stopped(player.get());
                break;
            case 2:
                ASSERT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
                ASSERT_EQ(korvanti_player_start(player.get(), song), KORVANTI_OK);
                ASSERT_GT(query_while_playing(player.get(), 1), 0);
                break;
        }
        korvanti_song_free(song);
        expect_stopped(player.get());
        if (HasFailure()) break;
    }
    clock.finish();
    EXPECT_GT(queries, 500);
}

// Players of one song, each on a thread of its own with its own device
// clock, starting, querying and stopping over and over; the song is freed at
// the end while some of them still play it.
TEST(PlayCycles, PlayersOfOneSongCycleOnTheirOwnThreads) {
    SongPtr song(load_song_from_module(tiny_module()));
    ASSERT_NE(song, nullptr);
    constexpr int PLAYERS = 3;
    std::vector<PlayerPtr> players;
    std::vector<DeviceClock> clocks(PLAYERS);
    for (int p = 0; p < PLAYERS; ++p) {
        players.push_back(virtual_live_player(RATE));
        ASSERT_NE(players.back(), nullptr);
        ASSERT_EQ(korvanti_player_set_passes(players.back().get(), 0), KORVANTI_OK);
        clocks[size_t(p)].start(&player_of(players.back().get())->device);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int p = 0; p < PLAYERS; ++p) {
        threads.emplace_back([&, p] {
            korvanti_player* player = players[size_t(p)].get();
            for (int cycle = 0; cycle < 60; ++cycle) {
                if (korvanti_player_start(player, song.get()) != KORVANTI_OK) failures += 1;
                const Player* record = player_of(player);
                int32_t first = record->audible_block.load();
                auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (record->audible_block.load() == first) {
                    korvanti_position position;
                    if (korvanti_player_get_position(player, &position) != KORVANTI_OK ||
                        position.channel_count != CHANNELS) {
                        failures += 1;
                    }
                    if (std::chrono::steady_clock::now() > deadline) {
                        failures += 1;
                        break;
                    }
                }
                // The last cycle of every other player is left playing.
                if (cycle < 59 || p % 2 == 0) korvanti_player_stop(player);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    korvanti_song_free(song.release());
    for (int p = 0; p < PLAYERS; ++p) {
        clocks[size_t(p)].finish();
        expect_stopped(players[size_t(p)].get());
    }
}
