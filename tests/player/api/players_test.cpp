// Players side by side: each call touches only its own player. Two players
// on one song, or on two songs, render what each would alone; stopping one
// or freeing another's song leaves the other's render as it was, and a
// freed song stops every player playing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "player/api/api_modules.h"
#include "support/song_from_bytes.h"
#include "tools/make_assets/composition.h"

namespace {

TEST(Players, TwoOnOneSongEachRenderTheirOwn) {
    SongPtr song(load_song_from_module(compose_music()));
    const std::vector<int16_t> alone = solo_render(song.get());
    PlayerPtr first = offline_player();
    PlayerPtr second = offline_player();
    ASSERT_EQ(korvanti_player_start(first.get(), song.get()), KORVANTI_OK);
    std::vector<int16_t> a = render_frames(first.get(), 50000);
    // The second starts later, and the two take turns in odd chunks.
    ASSERT_EQ(korvanti_player_start(second.get(), song.get()), KORVANTI_OK);
    std::vector<int16_t> b;
    for (int64_t got = 1; got > 0;) {
        std::vector<int16_t> piece = render_frames(first.get(), 3001);
        a.insert(a.end(), piece.begin(), piece.end());
        piece = render_frames(second.get(), 1999);
        b.insert(b.end(), piece.begin(), piece.end());
        got = static_cast<int64_t>(piece.size());
    }
    std::vector<int16_t> rest = render_all(first.get());
    a.insert(a.end(), rest.begin(), rest.end());
    EXPECT_EQ(first_difference(a, alone), -1);
    EXPECT_EQ(first_difference(b, alone), -1);
}

TEST(Players, StoppingOrFreeingOneLeavesTheOther) {
    SongPtr music(load_song_from_module(compose_music()));
    korvanti_song* jumping = load_song_from_module(jumping_module());
    ASSERT_TRUE(music && jumping);
    const std::vector<int16_t> alone = solo_render(music.get());
    PlayerPtr kept = offline_player();
    PlayerPtr other = offline_player();
    PlayerPtr third = offline_player();
    ASSERT_EQ(korvanti_player_start(kept.get(), music.get()), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(other.get(), jumping), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(third.get(), jumping), KORVANTI_OK);
    std::vector<int16_t> heard = render_frames(kept.get(), 40000);
    render_frames(other.get(), 10000);
    render_frames(third.get(), 20000);
    korvanti_position before;
    ASSERT_EQ(korvanti_player_get_position(kept.get(), &before), KORVANTI_OK);
    // One stops; the song of the two others goes: both stop, and nothing of
    // the song is left in them.
    ASSERT_EQ(korvanti_player_stop(third.get()), KORVANTI_OK);
    korvanti_song_free(jumping);
    int16_t frames[64];
    EXPECT_EQ(korvanti_player_render(other.get(), frames, 32), 0);
    EXPECT_EQ(korvanti_player_render(third.get(), frames, 32), 0);
    korvanti_position position;
    EXPECT_EQ(korvanti_player_get_position(other.get(), &position), KORVANTI_ERROR_STATE);
    // The kept player's position and sound are untouched.
    ASSERT_EQ(korvanti_player_get_position(kept.get(), &position), KORVANTI_OK);
    EXPECT_EQ(position.frame, before.frame);
    EXPECT_EQ(position.order, before.order);
    std::vector<int16_t> rest = render_all(kept.get());
    heard.insert(heard.end(), rest.begin(), rest.end());
    EXPECT_EQ(first_difference(heard, alone), -1);
    // The stopped players start again on another song.
    ASSERT_EQ(korvanti_player_start(other.get(), music.get()), KORVANTI_OK);
    EXPECT_EQ(first_difference(render_all(other.get()), alone), -1);
}

TEST(Players, AMutedChannelAddsNothingAndTheCourseStays) {
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

TEST(Players, GainAndSeparationShapeTheOutput) {
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
