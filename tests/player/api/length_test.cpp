// The length found from the rows alone equals where a render stops: for one
// pass and several, at several rates, for songs that end by a jump, by a
// break, by the wrap after their last order, through pattern loops and
// pattern delays.
#include <gtest/gtest.h>

#include <vector>

#include "player/api/api_modules.h"
#include "support/song_from_bytes.h"
#include "tools/make_assets/composition.h"

namespace {

constexpr uint16_t CHANNELS = 2;

// The rendered length of `passes` passes, and where the render says play
// came back.
struct Rendered {
    int64_t frames;
    korvanti_song_end end;
};

Rendered render_length(korvanti_song* song, int32_t rate, int32_t passes) {
    PlayerPtr player = offline_player(rate);
    korvanti_player_set_passes(player.get(), passes);
    korvanti_player_start(player.get(), song);
    Rendered rendered = {0, {}};
    static std::vector<int16_t> frames(2 * 65536);
    for (int64_t got; (got = korvanti_player_render(player.get(), frames.data(), 65536)) > 0;) rendered.frames += got;
    korvanti_player_get_end(player.get(), &rendered.end);
    return rendered;
}

// A song of `rows`-row patterns whose last row holds `last`, and a pattern
// delay and a tempo change on the way.
XmModule ending_with(const XmCell& last, uint16_t song_length, uint16_t restart) {
    XmModule module;
    module.channel_count = CHANNELS;
    module.song_length = song_length;
    module.restart_position = restart;
    module.orders = {0, 1, 0, 1};
    XmPattern first = empty_pattern(20, CHANNELS);
    XmPattern second = empty_pattern(12, CHANNELS);
    set_cell(first, CHANNELS, 0, 0, note_cell(49, 1));
    set_cell(first, CHANNELS, 4, 1, note_cell(0, 0, 0, 0xE, 0xE3));  // pattern delay: 3 rows more
    set_cell(first, CHANNELS, 6, 0, note_cell(0, 0, 0, 0xF, 0xA0));  // 160 BPM
    set_cell(second, CHANNELS, 2, 1, note_cell(0, 0, 0, 0xF, 0x02));  // speed 2
    set_cell(second, CHANNELS, 11, 0, last);
    module.patterns = {first, second};
    module.instruments = {instrument_with_sample(square_sample(32, 4))};
    return module;
}

TEST(Length, FromTheRowsIsWhereTheRenderStops) {
    std::vector<XmModule> modules = {
        compose_music(),
        jumping_module(),
        ending_with(XmCell{}, 4, 1),                            // the wrap to the restart position
        ending_with(note_cell(0, 0, 0, 0xB, 0x00), 4, 0),       // B00 on the last row
        ending_with(note_cell(0, 0, 0, 0xD, 0x05), 2, 0),       // D05 from the last order
        ending_with(note_cell(0, 0, 0, 0xE, 0x61), 3, 9),       // a loop on the last row; restart past the end
    };
    for (size_t i = 0; i < modules.size(); ++i) {
        SCOPED_TRACE(i);
        SongPtr song(load_song_from_module(modules[i]));
        ASSERT_TRUE(song);
        for (int32_t rate : {44100, 8000, 96000}) {
            for (int32_t passes : {1, 3}) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, " << passes << " passes");
                korvanti_song_end end;
                ASSERT_EQ(korvanti_song_find_end(song.get(), rate, passes, &end), KORVANTI_OK);
                Rendered rendered = render_length(song.get(), rate, passes);
                EXPECT_TRUE(end.returns);
                EXPECT_EQ(end.frame, rendered.frames);
                EXPECT_EQ(end.order, rendered.end.order);
                EXPECT_EQ(end.row, rendered.end.row);
                if (passes == 1) {
                    EXPECT_EQ(korvanti_song_length_frames(song.get(), rate), rendered.frames);
                }
            }
        }
    }
}

}  // namespace
