// Output settings of one player: mutes, gain and stereo separation, and the
// song's course they leave alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "player/api/api_modules.h"
#include "support/song_from_bytes.h"
#include "tools/make_assets/composition.h"

namespace {

TEST(OutputSettings, AMutedChannelAddsNothingAndTheCourseStays) {
    SongPtr song(load_song_from_module(compose_music()));
    korvanti_song_info info;
    ASSERT_EQ(korvanti_song_get_info(song.get(), &info), KORVANTI_OK);
    ASSERT_GE(info.channel_count, 4);
    // Each channel alone: the song with every other channel muted.
    std::vector<std::vector<int16_t>> lone(static_cast<size_t>(info.channel_count));
    std::vector<std::vector<korvanti_sync_snapshot>> snapshots(lone.size());
    for (int32_t channel = -1; channel < info.channel_count; ++channel) {
        PlayerPtr player = offline_player();
        for (int32_t c = 0; c < 32; ++c) korvanti_player_set_channel_muted(player.get(), c, channel >= 0 && c != channel);
        ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
        std::vector<int16_t> pcm;
        std::vector<korvanti_sync_snapshot> blocks;
        const int32_t block = korvanti_player_block_frames(player.get());
        for (int64_t b = 0; b < 3000; ++b) {
            std::vector<int16_t> piece = render_frames(player.get(), block);
            if (piece.empty()) break;
            korvanti_sync_snapshot snapshot;
            ASSERT_EQ(korvanti_player_get_snapshot(player.get(), b, &snapshot), KORVANTI_OK);
            blocks.push_back(snapshot);
            pcm.insert(pcm.end(), piece.begin(), piece.end());
        }
        if (channel < 0) {
            // All channels: the song as always. Its course is the reference.
            EXPECT_EQ(first_difference(pcm, frames_of(solo_render(song.get()), 0, int64_t(pcm.size() / 2))), -1);
            snapshots.insert(snapshots.begin(), blocks);
            lone.insert(lone.begin(), pcm);
            continue;
        }
        lone[size_t(channel) + 1] = pcm;
        snapshots[size_t(channel) + 1] = blocks;
    }
    const std::vector<int16_t>& all = lone[0];
    int sounding = 0;
    for (size_t channel = 1; channel < lone.size(); ++channel) {
        SCOPED_TRACE(channel - 1);
        ASSERT_EQ(lone[channel].size(), all.size());
        // The course is the same: every block says the same order, row, time and notes.
        ASSERT_EQ(snapshots[channel].size(), snapshots[0].size());
        for (size_t b = 0; b < snapshots[0].size(); ++b) {
            ASSERT_EQ(std::memcmp(&snapshots[channel][b], &snapshots[0][b], sizeof(korvanti_sync_snapshot)), 0)
                << "block " << b;
        }
        bool sounds = false;
        for (int16_t value : lone[channel]) sounds = sounds || value != 0;
        sounding += sounds;
    }
    EXPECT_GE(sounding, 4);
    // The channels alone do not sound like the whole song.
    EXPECT_NE(first_difference(lone[1], all), -1);
    // Everything muted is silence.
    PlayerPtr silent = offline_player();
    for (int32_t c = 0; c < 32; ++c) korvanti_player_set_channel_muted(silent.get(), c, true);
    korvanti_player_start(silent.get(), song.get());
    std::vector<int16_t> nothing = render_frames(silent.get(), 200000);
    for (int16_t value : nothing) ASSERT_EQ(value, 0);
}

TEST(OutputSettings, GainAndSeparationShapeTheOutput) {
    SongPtr song(load_song_from_module(compose_music()));
    const std::vector<int16_t> alone = frames_of(solo_render(song.get()), 0, 400000);
    PlayerPtr player = offline_player();
    // Defaults set explicitly change nothing.
    ASSERT_EQ(korvanti_player_set_gain_db(player.get(), 0.0), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_set_stereo_separation(player.get(), 100), KORVANTI_OK);
    korvanti_player_start(player.get(), song.get());
    EXPECT_EQ(first_difference(render_frames(player.get(), 400000), alone), -1);
    // Mono: left equals right everywhere, and the song still sounds.
    korvanti_player_set_stereo_separation(player.get(), 0);
    korvanti_player_start(player.get(), song.get());
    std::vector<int16_t> mono = render_frames(player.get(), 400000);
    bool sounds = false;
    for (size_t i = 0; i < mono.size(); i += 2) {
        ASSERT_EQ(mono[i], mono[i + 1]) << "frame " << i / 2;
        sounds = sounds || mono[i] != 0;
    }
    EXPECT_TRUE(sounds);
    // -6 dB: about half, where the original does not clip.
    korvanti_player_set_stereo_separation(player.get(), 100);
    korvanti_player_set_gain_db(player.get(), -6.0);
    korvanti_player_start(player.get(), song.get());
    std::vector<int16_t> quiet = render_frames(player.get(), 400000);
    ASSERT_EQ(quiet.size(), alone.size());
    int64_t compared = 0;
    for (size_t i = 0; i < alone.size(); ++i) {
        if (alone[i] > -32000 && alone[i] < 32000 && std::abs(alone[i]) > 100) {
            double ratio = double(quiet[i]) / double(alone[i]);
            ASSERT_NEAR(ratio, 0.501, 0.02) << "value " << i;
            ++compared;
        }
    }
    EXPECT_GT(compared, 100000);
}

}  // namespace
