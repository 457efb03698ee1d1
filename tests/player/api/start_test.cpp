// What the play changes stays in the play: set-finetune changes heard in one
// play are gone at the next start, whatever scans and other players did
// with the song meanwhile; every mixer gives the same bits; refused calls
// change nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "player/api/api_modules.h"
#include "support/song_from_bytes.h"
#include "tools/make_assets/composition.h"

namespace {

constexpr int64_t PART = 100000;  // frames rendered before starting again: into the song, mid-block

TEST(Start, SetFinetuneChangesThePlayNotTheSong) {
    SongPtr song(load_song_from_module(finetune_module()));
    ASSERT_TRUE(song);
    const std::vector<int16_t> first = solo_render(song.get());
    // Finding the end, another player's play and this player's own earlier
    // play all pass over the E5x rows.
    korvanti_song_end end;
    ASSERT_EQ(korvanti_song_find_end(song.get(), 44100, 2, &end), KORVANTI_OK);
    PlayerPtr other = offline_player();
    korvanti_player_start(other.get(), song.get());
    render_frames(other.get(), PART);
    PlayerPtr player = offline_player();
    korvanti_player_start(player.get(), song.get());
    render_all(player.get());
    korvanti_player_start(player.get(), song.get());
    EXPECT_EQ(first_difference(render_all(player.get()), first), -1);
    // The finetunes really change what is heard: a song that set them
    // differently would not sound the same.
    SongPtr plain(load_song_from_module([] {
        XmModule module = finetune_module();
        for (XmPattern& pattern : module.patterns)
            for (XmCell& cell : pattern.cells)
                if (cell.effect == 0xE && (cell.param >> 4) == 5) cell.param = 0x50;
        return module;
    }()));
    EXPECT_NE(first_difference(solo_render(plain.get()), first), -1);
}

TEST(Start, RefusedCallsChangeNothing) {
    int error = 0;
    EXPECT_EQ(korvanti_player_create(7999, &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_create(192001, nullptr), nullptr);
    EXPECT_EQ(korvanti_player_create_live(44100, 7, &error, nullptr, 0), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_ARGUMENT);

    SongPtr song(load_song_from_module(jumping_module()));
    const std::vector<int16_t> alone = solo_render(song.get());
    PlayerPtr player = offline_player();
    int16_t frames[8];
    EXPECT_EQ(korvanti_player_render(player.get(), frames, 4), KORVANTI_ERROR_STATE);  // before any start
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    std::vector<int16_t> heard = render_frames(player.get(), 5000);
    // Refusals in the middle of the play.
    EXPECT_EQ(korvanti_player_set_gain_db(player.get(), std::numeric_limits<double>::quiet_NaN()),
              KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_gain_db(player.get(), 41.0), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_stereo_separation(player.get(), 101), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_channel_muted(player.get(), 32, true), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_passes(player.get(), -1), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_seek_frame(player.get(), int64_t(alone.size() / 2)), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_seek_order(player.get(), 3, 0), KORVANTI_ERROR_RANGE);  // past the song
    EXPECT_EQ(korvanti_player_seek_ms(player.get(), -1), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_render(player.get(), nullptr, 4), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_pause(player.get(), true), KORVANTI_ERROR_STATE);  // not live
    EXPECT_EQ(korvanti_player_set_mixer(player.get(), "mmx"), KORVANTI_ERROR_ARGUMENT);
    std::vector<int16_t> rest = render_all(player.get(), 777);
    heard.insert(heard.end(), rest.begin(), rest.end());
    EXPECT_EQ(first_difference(heard, alone), -1);
    // Nulls are harmless.
    korvanti_player_destroy(nullptr);
    korvanti_song_free(nullptr);
    EXPECT_EQ(korvanti_player_start(nullptr, song.get()), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_start(player.get(), nullptr), KORVANTI_ERROR_ARGUMENT);
}

TEST(Start, EveryMixerGivesTheSameBits) {
    SongPtr song(load_song_from_module(compose_music()));
    const std::vector<int16_t> alone = solo_render(song.get());
    for (const char* name : {"plain", "sse2", "avx2", "avx512"}) {
        SCOPED_TRACE(name);
        PlayerPtr player = offline_player();
        int result = korvanti_player_set_mixer(player.get(), name);
        if (result == KORVANTI_ERROR_UNAVAILABLE) continue;  // not in this build or on this processor
        ASSERT_EQ(result, KORVANTI_OK);
        EXPECT_STREQ(korvanti_player_mixer(player.get()), name);
        korvanti_player_start(player.get(), song.get());
        EXPECT_EQ(first_difference(render_all(player.get()), alone), -1);
    }
}

}  // namespace
