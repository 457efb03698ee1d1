// Players side by side on threads of their own: each renders what it renders
// alone, bit for bit, whatever the others play, also when they play one
// song. Under ThreadSanitizer this is the check that players share nothing
// but the songs they only read.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "korvanti/player.h"
#include "player/output/player.h"
#include "player/output/sound_device_virtual.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

namespace {

// `channels` channels of notes with effects; `seed` varies the notes.
XmModule song_module(uint16_t channels, int seed) {
    std::vector<XmCell> cells(static_cast<size_t>(32 * channels));
    for (int row = 0; row < 32; ++row) {
        for (int channel = 0; channel < channels; ++channel) {
            int k = row * 5 + channel * 3 + seed * 11;
            if (k % 3 == 0) continue;
            cells[static_cast<size_t>(row * channels + channel)] =
                note_cell(static_cast<uint8_t>(30 + k % 40), static_cast<uint8_t>(1 + k % 2), 0,
                          k % 4 == 1 ? 0x04 : 0x0A, static_cast<uint8_t>(k % 4 == 1 ? 0x46 : 0x02));
        }
    }
    XmModule module = module_with_cells(channels, cells, 32,
                                        {instrument_with_sample(square_sample(40, 6)),
                                         instrument_with_sample(make_sample({0, 50, 100, 50, 0, -50}, false, 2, 0, 6))});
    module.default_tempo = static_cast<uint16_t>(3 + seed % 3);
    return module;
}

std::vector<int16_t> solo_render(korvanti_song* song, int32_t rate) {
    PlayerPtr player = offline_player(rate);
    EXPECT_EQ(korvanti_player_start(player.get(), song), KORVANTI_OK);
    return render_all(player.get());
}

}  // namespace

TEST(Players, OfflinePlayersOnTheirOwnThreadsRenderAsAlone) {
    SongPtr first(load_song_from_module(song_module(4, 1)));
    SongPtr second(load_song_from_module(song_module(7, 2)));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    struct Job {
        korvanti_song* song;
        int32_t rate;
        int64_t chunk;
        std::vector<int16_t> solo;
        std::vector<int16_t> rendered;
    };
    // Two songs, and two players on each of them at once, at other rates and
    // in other chunk sizes.
    std::vector<Job> jobs = {{first.get(), 44100, 1000, {}, {}},
                             {second.get(), 48000, 333, {}, {}},
                             {first.get(), 44100, 4096, {}, {}},
                             {second.get(), 22050, 884, {}, {}}};
    for (Job& job : jobs) {
        job.solo = solo_render(job.song, job.rate);
        ASSERT_GT(job.solo.size(), 100000u);
    }
    for (int round = 0; round < 3; ++round) {
        std::vector<std::thread> threads;
        for (Job& job : jobs) {
            threads.emplace_back([&job] {
                PlayerPtr player = offline_player(job.rate);
                job.rendered.clear();
                // Start twice on the same player: the second start is a first start too.
                if (korvanti_player_start(player.get(), job.song) != KORVANTI_OK) return;
                render_frames(player.get(), 5000);
                if (korvanti_player_start(player.get(), job.song) != KORVANTI_OK) return;
                job.rendered = render_all(player.get(), job.chunk);
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (size_t j = 0; j < jobs.size(); ++j) {
            EXPECT_TRUE(jobs[j].rendered == jobs[j].solo) << "round " << round << ", player " << j;
        }
    }
}

// Two live players of one song, each driven from a thread of its own (each
// player is used from one thread at a time): each device gets the song's
// blocks from its own start.
TEST(Players, TwoLivePlayersOfOneSong) {
    SongPtr song(load_song_from_module(song_module(3, 4)));
    ASSERT_NE(song, nullptr);
    PlayerPtr offline = offline_player(8000);
    ASSERT_EQ(korvanti_player_set_passes(offline.get(), 0), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(offline.get(), song.get()), KORVANTI_OK);
    constexpr int32_t BLOCK = 160;
    const std::vector<int16_t> reference = render_frames(offline.get(), 600 * BLOCK);

    PlayerPtr players[2] = {virtual_live_player(8000), virtual_live_player(8000)};
    for (PlayerPtr& player : players) {
        ASSERT_NE(player, nullptr);
        ASSERT_EQ(korvanti_player_set_passes(player.get(), 0), KORVANTI_OK);
    }
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    for (int p = 0; p < 2; ++p) {
        threads.emplace_back([&, p] {
            korvanti_player* player = players[p].get();
            Player* record = player_of(player);
            if (korvanti_player_start(player, song.get()) != KORVANTI_OK) failed = true;
            // Steps of 7 or 13 blocks; after each, the blocks just rendered
            // are the song's next ones.
            int64_t heard_block = 0;
            const int64_t step = p == 0 ? 7 : 13;
            while (!failed && heard_block + step + 100 <= 600) {
                heard_block += step;
                virtual_device_set_bytes_played(&record->device, static_cast<uint64_t>(heard_block) * BLOCK * 4);
                const auto target = static_cast<int32_t>(heard_block % 100);
                auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (record->audible_block.load() != target || record->write_block.load() != target) {
                    if (std::chrono::steady_clock::now() > deadline) {
                        failed = true;
                        break;
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
                korvanti_position position;
                if (korvanti_player_get_position(player, &position) != KORVANTI_OK ||
                    position.frame != heard_block * BLOCK) {
                    failed = true;
                }
                for (int64_t k = heard_block + 100 - step; k < heard_block + 100 && !failed; ++k) {
                    const int16_t* slot = record->output_ring + (k % 100) * BLOCK * 2;
                    if (!std::equal(slot, slot + BLOCK * 2, reference.begin() + k * BLOCK * 2)) failed = true;
                }
            }
            if (korvanti_player_stop(player) != KORVANTI_OK) failed = true;
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_FALSE(failed) << "a live player's position or ring differs from the song's render";
}
