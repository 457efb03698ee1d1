// Seeks land where a render from the start is, bit for bit: the frames
// after a seek to frame F equal the first pass rendered whole, from F on,
// wherever F lies (block edges, inside pattern loops, after jumps and
// breaks), forwards and backwards, by frame, by time and by order and row,
// offline and live. A seek that cannot be done changes nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "player/api/api_modules.h"
#include "player/output/sound_device_virtual.h"
#include "support/song_from_bytes.h"
#include "tools/make_assets/composition.h"

namespace {

constexpr int64_t CHECKED = 3000;  // frames compared after each seek

// Frames spread over the song: edges of blocks, odd places, and a pseudo-
// random walk back and forth.
std::vector<int64_t> seek_points(int64_t frames, int32_t block) {
    std::vector<int64_t> points = {0, 1, block - 1, block, block + 1, 7 * block, frames / 2, frames - CHECKED,
                                   frames - 1};
    uint32_t state = 2024;
    for (int i = 0; i < 24; ++i) {
        state = state * 1664525u + 1013904223u;
        points.push_back(static_cast<int64_t>(state % static_cast<uint32_t>(frames)));
    }
    return points;
}

void expect_seeks_exact(korvanti_song* song, int32_t rate) {
    const std::vector<int16_t> alone = solo_render(song, rate);
    const int64_t frames = static_cast<int64_t>(alone.size() / 2);
    ASSERT_GT(frames, 2 * CHECKED);
    PlayerPtr player = offline_player(rate);
    ASSERT_EQ(korvanti_player_start(player.get(), song), KORVANTI_OK);
    const int32_t block = korvanti_player_block_frames(player.get());
    for (int64_t frame : seek_points(frames, block)) {
        SCOPED_TRACE(frame);
        ASSERT_EQ(korvanti_player_seek_frame(player.get(), frame), KORVANTI_OK);
        std::vector<int16_t> heard = render_frames(player.get(), CHECKED);
        EXPECT_EQ(first_difference(heard, frames_of(alone, frame, CHECKED)), -1);
        korvanti_position position;
        ASSERT_EQ(korvanti_player_get_position(player.get(), &position), KORVANTI_OK);
        EXPECT_EQ(position.frame, frame + static_cast<int64_t>(heard.size() / 2));
    }
    // From a seek to the end: the rest of the pass, then nothing.
    ASSERT_EQ(korvanti_player_seek_frame(player.get(), frames / 3), KORVANTI_OK);
    EXPECT_EQ(first_difference(render_all(player.get(), 1001), frames_of(alone, frames / 3, frames)), -1);
}

TEST(Seek, AnyFrameIsTheRenderFromTheStart) {
    SongPtr jumping(load_song_from_module(jumping_module()));
    SongPtr music(load_song_from_module(compose_music()));
    ASSERT_TRUE(jumping && music);
    expect_seeks_exact(jumping.get(), 44100);
    expect_seeks_exact(jumping.get(), 22050);
    expect_seeks_exact(music.get(), 44100);
}

TEST(Seek, OrderAndRowLandOnTheRowsFirstFrame) {
    SongPtr song(load_song_from_module(jumping_module()));
    const std::vector<int16_t> alone = solo_render(song.get());
    PlayerPtr player = offline_player();
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    // Order 0 row 4 lies inside the pattern loop: its first frame is its
    // first pass's; order 2 row 4 is reached only through the break.
    struct Row {
        int32_t order;
        int32_t row;
    };
    for (Row row : {Row{0, 0}, Row{0, 4}, Row{0, 15}, Row{1, 9}, Row{2, 4}, Row{2, 11}}) {
        SCOPED_TRACE(testing::Message() << "order " << row.order << " row " << row.row);
        int64_t frame = korvanti_song_position_frame(song.get(), 44100, row.order, row.row);
        ASSERT_GE(frame, 0);
        ASSERT_EQ(korvanti_player_seek_order(player.get(), row.order, row.row), KORVANTI_OK);
        std::vector<int16_t> heard = render_frames(player.get(), CHECKED);
        EXPECT_EQ(first_difference(heard, frames_of(alone, frame, CHECKED)), -1);
    }
    // Rows the song never plays: order 1 rows 10-15 (the break leaves at row
    // 9), order 2 rows 0-3 (the break enters at row 4), and past the song.
    for (Row row : {Row{1, 12}, Row{2, 0}, Row{3, 0}, Row{0, 16}}) {
        EXPECT_EQ(korvanti_song_position_frame(song.get(), 44100, row.order, row.row), KORVANTI_ERROR_RANGE);
        EXPECT_EQ(korvanti_player_seek_order(player.get(), row.order, row.row), KORVANTI_ERROR_RANGE);
    }
}

TEST(Seek, TimeLandsOnItsFrame) {
    SongPtr song(load_song_from_module(compose_music()));
    const std::vector<int16_t> alone = solo_render(song.get(), 48000);
    PlayerPtr player = offline_player(48000);
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    for (int64_t ms : {0, 1, 999, 1000, 61237, 9}) {
        SCOPED_TRACE(ms);
        ASSERT_EQ(korvanti_player_seek_ms(player.get(), ms), KORVANTI_OK);
        EXPECT_EQ(first_difference(render_frames(player.get(), 500), frames_of(alone, ms * 48000 / 1000, 500)), -1);
    }
}

TEST(Seek, ARefusedSeekChangesNothing) {
    SongPtr song(load_song_from_module(jumping_module()));
    const std::vector<int16_t> alone = solo_render(song.get());
    const int64_t frames = static_cast<int64_t>(alone.size() / 2);
    PlayerPtr player = offline_player();
    EXPECT_EQ(korvanti_player_seek_frame(player.get(), 0), KORVANTI_ERROR_STATE);  // nothing started
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    std::vector<int16_t> heard = render_frames(player.get(), 1234);
    EXPECT_EQ(korvanti_player_seek_frame(player.get(), frames), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_seek_frame(player.get(), -1), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_seek_ms(player.get(), frames * 1000 / 44100 + 1), KORVANTI_ERROR_RANGE);
    std::vector<int16_t> rest = render_all(player.get());
    heard.insert(heard.end(), rest.begin(), rest.end());
    EXPECT_EQ(first_difference(heard, alone), -1);
}

TEST(Seek, LiveSeekRestartsTheDeviceWhereTheRenderIs) {
    SongPtr song(load_song_from_module(compose_music()));
    const std::vector<int16_t> alone = solo_render(song.get());
    PlayerPtr player = virtual_live_player();
    korvanti::SoundDevice* device = &player_of(player.get())->device;
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    const int64_t block = korvanti_player_block_frames(player.get());
    for (int64_t frame : {int64_t{2000000}, int64_t{300000}, int64_t{3000000}}) {
        SCOPED_TRACE(frame);
        ASSERT_EQ(korvanti_player_seek_frame(player.get(), frame), KORVANTI_OK);
        // The device starts at the block holding the frame.
        int32_t bytes = 0;
        const int16_t* ring = korvanti::virtual_device_ring(device, &bytes);
        ASSERT_NE(ring, nullptr);
        std::vector<int16_t> heard(ring, ring + bytes / 2);
        EXPECT_EQ(first_difference(heard, frames_of(alone, frame / block * block, bytes / 4)), -1);
        korvanti_position position;
        ASSERT_EQ(korvanti_player_get_position(player.get(), &position), KORVANTI_OK);
        EXPECT_EQ(position.frame, frame / block * block);
        korvanti::virtual_device_advance(device, static_cast<uint64_t>(block) * 4 * 30);
    }
}

}  // namespace
