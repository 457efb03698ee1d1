// A song's end, length and row frames found from its rows alone
// (korvanti_song_find_end, _length_frames, _position_frame), against a render
// of it: they must be where the render finds them. The scan no longer plays
// the song on a player, so it can leave nothing behind; what is left to see
// is that it answers while players play the same song and changes none of
// their renders.
#include <gtest/gtest.h>

#include <vector>

#include "korvanti/player.h"
#include "support/song_from_bytes.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr int64_t ROW_FRAMES = 6 * 882;

// Two orders of four rows; the second jumps back to the first (B00), so the
// song ends where play returns to order 0 row 0, after eight rows.
XmModule jumping_module() {
    XmModule module = module_with_cells(1, {note_cell(0, 0), note_cell(49, 1), note_cell(61, 1)}, 4,
                                        {instrument_with_sample(square_sample(64, 8))});
    XmPattern second = empty_pattern(4, 1);
    set_cell(second, 1, 3, 0, note_cell(0, 0, 0, 0x0B, 0x00));
    module.patterns.push_back(second);
    module.orders = {0, 1};
    module.song_length = 2;
    return module;
}

}  // namespace

TEST(SongScan, FindsTheEndAndTheRowsARenderFinds) {
    SongPtr song(load_song_from_module(jumping_module()));
    ASSERT_NE(song, nullptr);
    PlayerPtr player = offline_player(RATE);
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    // The scan while the player is mid-song.
    const std::vector<int16_t> head = render_frames(player.get(), 3 * ROW_FRAMES + 17);
    korvanti_song_end scanned;
    ASSERT_EQ(korvanti_song_find_end(song.get(), RATE, 1, &scanned), KORVANTI_OK);
    EXPECT_EQ(korvanti_song_length_frames(song.get(), RATE), scanned.frame);
    std::vector<int16_t> rendered = head;
    const std::vector<int16_t> rest = render_all(player.get(), 1000);
    rendered.insert(rendered.end(), rest.begin(), rest.end());
    korvanti_song_end render_end;
    ASSERT_EQ(korvanti_player_get_end(player.get(), &render_end), KORVANTI_OK);

    EXPECT_EQ(scanned.frame, 8 * ROW_FRAMES);
    EXPECT_EQ(static_cast<int64_t>(rendered.size()), 2 * scanned.frame);
    EXPECT_EQ(render_end.frame, scanned.frame);
    EXPECT_TRUE(scanned.returns);
    EXPECT_TRUE(render_end.returns);
    EXPECT_EQ(scanned.order, 0);
    EXPECT_EQ(scanned.row, 0);
    EXPECT_EQ(render_end.order, 0);
    EXPECT_EQ(render_end.row, 0);

    // The render was the player's own: a fresh one gives the same bits.
    PlayerPtr fresh = offline_player(RATE);
    ASSERT_EQ(korvanti_player_start(fresh.get(), song.get()), KORVANTI_OK);
    EXPECT_TRUE(render_all(fresh.get(), 4096) == rendered) << "the scan changed what a player renders";

    // Each row's first frame, and the rows one pass never reaches.
    for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(korvanti_song_position_frame(song.get(), RATE, i / 4, i % 4), ROW_FRAMES * i) << i;
    }
    EXPECT_EQ(korvanti_song_position_frame(song.get(), RATE, 0, 4), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_song_position_frame(song.get(), RATE, 2, 0), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_song_position_frame(song.get(), RATE, 0, 256), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_song_position_frame(song.get(), 7999, 0, 0), KORVANTI_ERROR_ARGUMENT);

    // Two passes end twice as late; the rate scales the frames.
    korvanti_song_end twice;
    ASSERT_EQ(korvanti_song_find_end(song.get(), RATE, 2, &twice), KORVANTI_OK);
    EXPECT_EQ(twice.frame, 2 * scanned.frame);
    EXPECT_EQ(korvanti_song_length_frames(song.get(), 22050), 8 * 6 * 441);
    EXPECT_EQ(korvanti_song_find_end(song.get(), RATE, 0, &twice), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_song_length_frames(nullptr, RATE), KORVANTI_ERROR_ARGUMENT);

    // A player set for two passes renders exactly that far.
    PlayerPtr two = offline_player(RATE);
    ASSERT_EQ(korvanti_player_set_passes(two.get(), 2), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(two.get(), song.get()), KORVANTI_OK);
    EXPECT_EQ(static_cast<int64_t>(render_all(two.get(), 5000).size()), 2 * twice.frame);
}

// A song that never comes back to a row it played within two hours of
// sound: one pass of 256 orders of 64 rows of 31 ticks at 32 BPM is some
// eleven hours. The pass ends after two hours, for the scan and the render
// alike, and the render gives every frame up to there and no more.
TEST(SongScan, APassEndsAfterTwoHours) {
    constexpr int32_t SLOW_RATE = 8000;
    XmModule module = module_with_cells(1, {note_cell(0, 0, 0, 0x0F, 0x1F), note_cell(0, 0, 0, 0x0F, 0x20)}, 64,
                                        {instrument_with_sample(square_sample(64, 8))});
    module.song_length = 256;
    module.orders.assign(256, 0);
    SongPtr song(load_song_from_module(module));
    ASSERT_NE(song, nullptr);
    const int64_t limit = int64_t{2} * 60 * 60 * SLOW_RATE;
    korvanti_song_end end;
    ASSERT_EQ(korvanti_song_find_end(song.get(), SLOW_RATE, 1, &end), KORVANTI_OK);
    EXPECT_EQ(end.frame, limit);
    EXPECT_FALSE(end.returns);
    EXPECT_EQ(korvanti_song_length_frames(song.get(), SLOW_RATE), limit);
    ASSERT_EQ(korvanti_song_find_end(song.get(), SLOW_RATE, 3, &end), KORVANTI_OK);
    EXPECT_EQ(end.frame, 3 * limit);

    PlayerPtr player = offline_player(SLOW_RATE);
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_seek_frame(player.get(), limit - 1000), KORVANTI_OK);
    std::vector<int16_t> frames(2 * 5000);
    EXPECT_EQ(korvanti_player_render(player.get(), frames.data(), 5000), 1000);
    EXPECT_EQ(korvanti_player_render(player.get(), frames.data(), 5000), 0);
    korvanti_song_end render_end;
    ASSERT_EQ(korvanti_player_get_end(player.get(), &render_end), KORVANTI_OK);
    EXPECT_EQ(render_end.frame, limit);
    EXPECT_FALSE(render_end.returns);
    EXPECT_EQ(korvanti_player_seek_frame(player.get(), limit), KORVANTI_ERROR_RANGE);
}
