// Releasing a song after play: no voice may keep one of its samples, or the
// next song played would mix released memory.
#include <gtest/gtest.h>

#include "player/module/song.h"
#include "player/output/mixer.h"
#include "player/output/stream.h"
#include "support/song_from_bytes.h"

namespace {

// Four channels each starting a looping note on every other row, so that
// voices and their twins hold samples when play stops.
XmModule busy_module() {
    std::vector<XmCell> cells(16 * 4);
    for (int row = 0; row < 16; row += 2)
        for (int channel = 0; channel < 4; ++channel)
            cells[size_t(row * 4 + channel)] = note_cell(uint8_t(49 + channel), 1);
    return module_with_cells(4, cells, 16, {instrument_with_sample(square_sample(32, 8))});
}

int voices_holding(const Song* song) {
    int holding = 0;
    for (const Voice& voice : voice_table) {
        if (!voice.sample || voice.sample == &empty_sample) continue;
        for (int32_t i = 0; i < song->instrument_count; ++i)
            for (int32_t j = 0; j < song->instruments[i].sample_count; ++j)
                if (song->instruments[i].samples[j] == voice.sample) ++holding;
    }
    return holding;
}

TEST(SongFree, NoVoiceKeepsAReleasedSample) {
    ASSERT_TRUE(player_init_offline(44100));
    Song* first = load_song_from_module(busy_module());
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(song_render_start(first));
    for (int block = 0; block < 60; ++block) ASSERT_NE(song_render_next(nullptr), nullptr);
    ASSERT_GT(voices_holding(first), 4);  // channels and some twins sound
    song_stop(first);
    ASSERT_GT(voices_holding(first), 0);  // stopping alone leaves them
    EXPECT_TRUE(song_free(first));
    for (const Voice& voice : voice_table)
        EXPECT_TRUE(voice.sample == nullptr || voice.sample == &empty_sample);

    // A second song with one channel: the voices of the first song's other
    // channels are never re-bound, and must be idle (ASan would catch a read).
    std::vector<XmCell> cells = {note_cell(49, 1)};
    SongPtr second(load_song_from_module(module_with_cells(1, cells, 4, {instrument_with_sample(square_sample(16, 4))})));
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(song_render_start(second.get()));
    for (int block = 0; block < 20; ++block) ASSERT_NE(song_render_next(nullptr), nullptr);
    song_stop(second.get());
}

}  // namespace
