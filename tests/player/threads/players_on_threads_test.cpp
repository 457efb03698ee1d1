// Players on threads of their own: different players run on different
// threads at once, each rendering exactly what it renders alone, also when
// they play one song; live players with their feeders beside them.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "player/output/sound_device_virtual.h"
#include "support/song_from_bytes.h"
#include "tools/make_assets/composition.h"

namespace {

std::vector<int16_t> render_alone(korvanti_song* song, int32_t rate) {
    PlayerPtr player = offline_player(rate);
    korvanti_player_start(player.get(), song);
    return render_all(player.get(), 2048);
}

TEST(PlayersOnThreads, EachRendersWhatItRendersAlone) {
    SongPtr music(load_song_from_module(compose_music()));
    // The second song: the same module with its first order dropped, so the
    // two differ.
    XmModule shifted = compose_music();
    shifted.orders.erase(shifted.orders.begin());
    shifted.song_length = static_cast<uint16_t>(shifted.song_length - 1);
    SongPtr other(load_song_from_module(shifted));
    ASSERT_TRUE(music && other);
    struct Job {
        korvanti_song* song;
        int32_t rate;
        std::vector<int16_t> expected;
        std::vector<int16_t> heard;
    };
    std::vector<Job> jobs = {{music.get(), 44100, {}, {}}, {other.get(), 48000, {}, {}},
                             {music.get(), 44100, {}, {}}, {other.get(), 22050, {}, {}}};
    for (Job& job : jobs) job.expected = render_alone(job.song, job.rate);
    ASSERT_NE(jobs[0].expected, jobs[1].expected);
    std::vector<std::thread> threads;
    for (Job& job : jobs) {
        threads.emplace_back([&job] {
            PlayerPtr player = offline_player(job.rate);
            korvanti_player_start(player.get(), job.song);
            // A seek and a restart on the way, each thread on its own player.
            render_frames(player.get(), 70000);
            korvanti_player_seek_frame(player.get(), 10);
            korvanti_player_start(player.get(), job.song);
            job.heard = render_all(player.get(), 1500);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const Job& job : jobs) EXPECT_EQ(job.heard, job.expected);
}

TEST(PlayersOnThreads, LivePlayersFeedAtOnce) {
    SongPtr music(load_song_from_module(compose_music()));
    PlayerPtr first = virtual_live_player();
    PlayerPtr second = virtual_live_player(48000);
    ASSERT_EQ(korvanti_player_start(first.get(), music.get()), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(second.get(), music.get()), KORVANTI_OK);
    korvanti::SoundDevice* devices[2] = {&player_of(first.get())->device, &player_of(second.get())->device};
    // The devices move a block at a time; each feeder renders behind them and
    // each player reports its own position.
    for (int step = 0; step < 300; ++step) {
        korvanti::virtual_device_advance(devices[0], 884 * 4);
        korvanti::virtual_device_advance(devices[1], 960 * 4 * 2);
        std::this_thread::yield();
    }
    korvanti_position a;
    korvanti_position b;
    ASSERT_EQ(korvanti_player_get_position(first.get(), &a), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_get_position(second.get(), &b), KORVANTI_OK);
    EXPECT_EQ(a.frame, 300 * 884);
    EXPECT_EQ(b.frame, 300 * 960 * 2);
    // A stop of one while the other's feeder runs.
    ASSERT_EQ(korvanti_player_stop(first.get()), KORVANTI_OK);
    EXPECT_EQ(korvanti::virtual_device_ring(devices[0], nullptr), nullptr);
    EXPECT_NE(korvanti::virtual_device_ring(devices[1], nullptr), nullptr);
    ASSERT_EQ(korvanti_player_get_position(second.get(), &b), KORVANTI_OK);
    EXPECT_EQ(b.frame, 300 * 960 * 2);
}

}  // namespace
