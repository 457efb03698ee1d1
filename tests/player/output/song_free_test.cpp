// Releasing a song: every player playing it stops and keeps no pointer to it
// (no voice may keep one of its samples, or the next song played would mix
// released memory), and no other player notices.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "player/module/song.h"
#include "player/output/player.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

namespace {

// Four channels each starting a looping note on every other row, so that
// voices and their twins hold samples when the song is freed.
XmModule busy_module() {
    std::vector<XmCell> cells(16 * 4);
    for (int row = 0; row < 16; row += 2)
        for (int channel = 0; channel < 4; ++channel)
            cells[size_t(row * 4 + channel)] = note_cell(uint8_t(49 + channel), 1);
    return module_with_cells(4, cells, 16, {instrument_with_sample(square_sample(32, 8))});
}

std::set<const Sample*> samples_of(const Song* song) {
    std::set<const Sample*> samples;
    for (int32_t i = 0; i < song->instrument_count; ++i)
        for (int32_t j = 0; j < song->instruments[i].sample_count; ++j) samples.insert(song->instruments[i].samples[j]);
    return samples;
}

int voices_holding(const PlayState& play, const std::set<const Sample*>& samples) {
    int holding = 0;
    for (const Voice& voice : play.voice_table) holding += samples.count(voice.sample) != 0;
    return holding;
}

// Voices holding a sample that is neither one of `samples` nor the shared
// empty one.
int voices_holding_others(const PlayState& play, const std::set<const Sample*>& samples) {
    int holding = 0;
    for (const Voice& voice : play.voice_table) {
        holding += voice.sample != nullptr && voice.sample != &empty_sample && samples.count(voice.sample) == 0;
    }
    return holding;
}

}  // namespace

TEST(SongFree, StopsEveryPlayerOfTheSongAndNoOther) {
    SongPtr freed(load_song_from_module(busy_module()));
    SongPtr kept(load_song_from_module(busy_module()));
    ASSERT_NE(freed, nullptr);
    ASSERT_NE(kept, nullptr);
    const std::set<const Sample*> freed_samples = samples_of(song_of(freed.get()));
    PlayerPtr first = offline_player();
    PlayerPtr second = offline_player();
    PlayerPtr bystander = offline_player();
    PlayerPtr reference = offline_player();
    PlayerPtr live = virtual_live_player();
    for (korvanti_player* player : {first.get(), second.get()}) {
        ASSERT_EQ(korvanti_player_start(player, freed.get()), KORVANTI_OK);
        ASSERT_EQ(render_frames(player, 60 * 884).size(), 2u * 60 * 884);
    }
    ASSERT_EQ(korvanti_player_start(live.get(), freed.get()), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(bystander.get(), kept.get()), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(reference.get(), kept.get()), KORVANTI_OK);
    const std::vector<int16_t> bystander_head = render_frames(bystander.get(), 30000);
    ASSERT_GT(voices_holding(player_of(first.get())->play, freed_samples), 4);  // channels and some twins sound

    korvanti_song_free(freed.release());
    for (korvanti_player* player : {first.get(), second.get(), live.get()}) {
        const Player* record = player_of(player);
        EXPECT_EQ(record->handle, nullptr);
        EXPECT_EQ(record->play.song, nullptr);
        EXPECT_EQ(record->run, StreamRun::NONE);
        EXPECT_EQ(record->feeder, nullptr);
        int16_t frames[2 * 16];
        EXPECT_EQ(korvanti_player_render(player, frames, 16), player == live.get() ? KORVANTI_ERROR_STATE : 0);
        korvanti_position position;
        EXPECT_EQ(korvanti_player_get_position(player, &position), KORVANTI_ERROR_STATE);
    }
    // The song of the other players renders on as if nothing had happened.
    std::vector<int16_t> bystander_pcm = bystander_head;
    const std::vector<int16_t> rest = render_all(bystander.get());
    bystander_pcm.insert(bystander_pcm.end(), rest.begin(), rest.end());
    EXPECT_TRUE(bystander_pcm == render_all(reference.get()));

    // A second song with one channel on the same player: its start leaves no
    // voice on a released sample, not even of the channels it does not use
    // (a sanitizer build would also catch a read of one).
    std::vector<XmCell> cells = {note_cell(49, 1)};
    SongPtr second_song(
        load_song_from_module(module_with_cells(1, cells, 4, {instrument_with_sample(square_sample(16, 4))})));
    ASSERT_NE(second_song, nullptr);
    // (The new song's samples may lie where the released ones did: only
    // its own count.)
    const std::set<const Sample*> own = samples_of(song_of(second_song.get()));
    ASSERT_EQ(korvanti_player_start(first.get(), second_song.get()), KORVANTI_OK);
    EXPECT_EQ(voices_holding_others(player_of(first.get())->play, {}), 0);
    EXPECT_EQ(render_frames(first.get(), 20 * 884).size(), 2u * 20 * 884);
    EXPECT_EQ(voices_holding_others(player_of(first.get())->play, own), 0);
    EXPECT_GT(voices_holding(player_of(first.get())->play, own), 0);
    korvanti_song_free(nullptr);  // nothing
}

// Stopping one player leaves another player of the same song as it was.
TEST(SongFree, StopOfOnePlayerLeavesTheOthersOfTheSong) {
    SongPtr song(load_song_from_module(busy_module()));
    ASSERT_NE(song, nullptr);
    PlayerPtr stopped = offline_player();
    PlayerPtr going = offline_player();
    PlayerPtr reference = offline_player();
    for (korvanti_player* player : {stopped.get(), going.get(), reference.get()}) {
        ASSERT_EQ(korvanti_player_start(player, song.get()), KORVANTI_OK);
    }
    std::vector<int16_t> pcm = render_frames(going.get(), 10000);
    render_frames(stopped.get(), 5000);
    ASSERT_EQ(korvanti_player_stop(stopped.get()), KORVANTI_OK);
    const std::vector<int16_t> rest = render_all(going.get());
    pcm.insert(pcm.end(), rest.begin(), rest.end());
    EXPECT_TRUE(pcm == render_all(reference.get()));
}
