// Scanning a song (song_scan_start, song_scan_next_row) against rendering
// it: the scan must find the end, and the row starts, where a render finds
// them, and leave nothing behind that a later render would hear.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "korvanti/player.h"
#include "support/song_from_bytes.h"

namespace {

// Two orders of four rows; the second jumps back to the first (B00), so the
// song ends where play returns to order 0 row 0. Row 0 has no note, and the
// second note of order 0 goes to the channel's twin voice: at the end that
// voice still sounds, and nothing at the start of a play would silence it.
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

std::vector<int16_t> render_blocks(Song* song, int32_t blocks) {
    std::vector<int16_t> pcm;
    EXPECT_TRUE(song_render_start(song));
    for (int32_t b = 0; b < blocks; ++b) {
        const int16_t* block = song_render_next(nullptr);
        pcm.insert(pcm.end(), block, block + 2 * player_block_frames());
    }
    return pcm;
}

}  // namespace

TEST(SongScan, FindsTheEndAndTheRowsARenderFindsAndLeavesNoTrace) {
    SongPtr song(load_song_from_module(jumping_module()));
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(player_init_offline(44100));
    const std::vector<int16_t> fresh = render_blocks(song.get(), 8);
    SongEnd rendered_end{-1, 0, 0};
    for (int32_t b = 0; b < 400 && !song_end(song.get(), &rendered_end); ++b) song_render_next(nullptr);
    ASSERT_GE(rendered_end.frame, 0) << "a render of the song never came to its end";
    song_stop(song.get());

    ASSERT_TRUE(player_init_offline(44100));  // silent voices, as for `fresh`
    ASSERT_TRUE(song_scan_start(song.get()));
    std::vector<SongRowStart> rows;
    SongRowStart row;
    SongEnd scanned_end;
    while (!song_end(song.get(), &scanned_end) && song_scan_next_row(&row, 44100 * 60)) rows.push_back(row);
    EXPECT_EQ(scanned_end.frame, rendered_end.frame);
    EXPECT_EQ(scanned_end.order, 0);
    EXPECT_EQ(scanned_end.row, 0);
    // The eight rows of the two orders, then the row play returns to, which
    // starts where the song ends.
    ASSERT_EQ(rows.size(), 9u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].order, static_cast<int32_t>(i / 4 % 2));
        EXPECT_EQ(rows[i].row, static_cast<int32_t>(i % 4));
        EXPECT_EQ(rows[i].frame, rendered_end.frame / 8 * static_cast<int64_t>(i));
    }
    song_stop(song.get());

    // The scan's voices (the second note still sounding) must not be heard.
    const std::vector<int16_t> after_scan = render_blocks(song.get(), 8);
    ASSERT_EQ(after_scan.size(), fresh.size());
    auto difference = std::mismatch(fresh.begin(), fresh.end(), after_scan.begin());
    EXPECT_TRUE(difference.first == fresh.end())
        << "the render after the scan differs from sample " << (difference.first - fresh.begin()) << " on";
    song_stop(song.get());
    player_close();
}
