// The output stream without a thread: stream settings per rate, and
// render_block driven offline on songs whose tick routine is a recording
// stand-in, so that tick placement, elapsed time and snapshots are seen exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "player/module/file_access.h"
#include "player/module/song.h"
#include "player/output/mixer.h"
#include "player/output/sound_device.h"
#include "player/output/stream.h"
#include "player/replay/channel.h"
#include "support/song_from_bytes.h"

namespace {

// What the stand-in tick routine saw and does.
struct TickLog {
    int32_t frames_per_tick;             // set on every tick
    std::vector<int32_t> elapsed_at;     // song elapsed_ms when each tick began
    std::vector<Song> song_at;           // the whole song when each tick began
    int32_t play_starts;                 // on_play_start calls
    int32_t ticks_before_play_start;     // ticks seen when on_play_start ran
};

TickLog tick_log;

// Each tick moves order and row on by one and sets note flags in all 32
// entries, so the snapshot shows which tick was the last of a block.
void recording_tick(Song* song) {
    tick_log.elapsed_at.push_back(song->elapsed_ms);
    tick_log.song_at.push_back(*song);
    song->frames_per_tick = tick_log.frames_per_tick;
    song->order += 1;
    song->row += 1;
    auto n = static_cast<int32_t>(tick_log.elapsed_at.size());
    for (int32_t i = 0; i < 32; ++i) song->channel_notes[i] = 1000 * n + i;
}

void recording_play_start(Song*) {
    tick_log.play_starts += 1;
    tick_log.ticks_before_play_start = static_cast<int32_t>(tick_log.elapsed_at.size());
}

Song recording_song(int32_t frames_per_tick, int16_t channel_count = 4) {
    tick_log = TickLog{};
    tick_log.frames_per_tick = frames_per_tick;
    Song song{};
    song.channel_count = channel_count;
    song.default_tempo = 6;
    song.default_bpm = 125;
    song.initial_global_volume = 64;
    song.on_tick = recording_tick;
    song.on_play_start = recording_play_start;
    return song;
}

class OutputStream : public ::testing::Test {
protected:
    void SetUp() override { install_memory_file_callbacks(); }
    void TearDown() override {
        player_close();
        virtual_device_fail_open(false);
    }
};

}  // namespace

TEST_F(OutputStream, BlockLayoutFollowsTheMixingRate) {
    struct Layout {
        int32_t rate, block, ring, blocks, ramp;
    };
    for (Layout layout : {Layout{44100, 884, 88400, 100, 128}, Layout{22050, 444, 44400, 100, 64},
                          Layout{48000, 960, 96000, 100, 139}, Layout{8000, 160, 16000, 100, 23}}) {
        SCOPED_TRACE(layout.rate);
        ASSERT_TRUE(player_init(layout.rate));
        EXPECT_EQ(mixing_rate, layout.rate);
        EXPECT_EQ(block_frames, layout.block);
        EXPECT_EQ(ring_frames, layout.ring);
        EXPECT_EQ(stream_block_count(), layout.blocks);
        EXPECT_EQ(ramp_frames_total, layout.ramp);
        EXPECT_EQ(ramp_reciprocal, static_cast<float>(1.0 / layout.ramp));
        EXPECT_EQ(frame_seconds, static_cast<float>(1.0 / layout.rate));
        EXPECT_TRUE(virtual_device_is_open());
    }
    // The float32 reciprocal of 44100 lies below the true value: what makes
    // a tick of 882 frames count 19 ms.
    ASSERT_TRUE(player_init(44100));
    EXPECT_LT(static_cast<double>(frame_seconds) * 882.0 * 1000.0, 20.0);
}

TEST_F(OutputStream, PlayerInitResetsEveryVoice) {
    std::memset(static_cast<void*>(voice_table), 0x5A, sizeof voice_table);
    ASSERT_TRUE(player_init_offline(44100));
    for (int32_t i = 0; i < VOICE_COUNT; ++i) {
        Voice expected;
        std::memset(static_cast<void*>(&expected), 0, sizeof expected);
        expected.index = i;
        expected.step_int = 1;
        ASSERT_EQ(std::memcmp(&voice_table[i], &expected, sizeof expected), 0) << "voice " << i;
    }
}

TEST_F(OutputStream, RefusesWhatItCannotServe) {
    Song song = recording_song(882);
    // No stream settings yet: nothing starts.
    EXPECT_FALSE(song_play(&song));
    EXPECT_FALSE(song_render_start(&song));
    EXPECT_EQ(song_render_next(nullptr), nullptr);

    set_file_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(player_init(44100));
    EXPECT_FALSE(virtual_device_is_open());
    install_memory_file_callbacks();

    virtual_device_fail_open(true);
    EXPECT_FALSE(player_init(44100));
    EXPECT_FALSE(song_play(&song));
    virtual_device_fail_open(false);

    EXPECT_FALSE(player_init(MIXING_RATE_MIN - 1));
    EXPECT_FALSE(player_init_offline(MIXING_RATE_MAX + 1));
    EXPECT_FALSE(song_render_start(&song));

    ASSERT_TRUE(player_init(44100));
    EXPECT_FALSE(song_play(nullptr));
    EXPECT_FALSE(song_stop(nullptr));
    EXPECT_TRUE(tick_log.elapsed_at.empty());
    // Offline settings open no device, so live play cannot start on them.
    ASSERT_TRUE(player_init_offline(44100));
    EXPECT_FALSE(virtual_device_is_open());
    EXPECT_FALSE(song_play(&song));
}

TEST_F(OutputStream, QueriesAnswerZeroWithoutSnapshots) {
    Song song = recording_song(882);
    int32_t out[32];
    for (int32_t& value : out) value = -7;
    for (bool initialised : {false, true}) {
        if (initialised) {
            ASSERT_TRUE(player_init(44100));
        }
        EXPECT_EQ(song_audible_order(nullptr), 0);
        EXPECT_EQ(song_audible_row(nullptr), 0);
        EXPECT_EQ(song_audible_channel_values(nullptr, out), 0);
        EXPECT_EQ(song_audible_order(&song), 0);
        EXPECT_EQ(song_audible_row(&song), 0);
        EXPECT_EQ(song_audible_channel_values(&song, out), 0);
        for (int32_t value : out) EXPECT_EQ(value, -7);
    }
}

TEST_F(OutputStream, PlayStartResetsThePositionBeforeTheFirstTick) {
    ASSERT_TRUE(player_init_offline(44100));
    Song song = recording_song(882, 4);
    song.initial_global_volume = 40;
    song.default_tempo = 5;
    song.default_bpm = 100;
    song.global_volume = 3;
    song.next_order = 7;
    song.next_row = 9;
    song.speed = 31;
    song.row = 12;
    song.order = 13;
    song.tick_frames_left = 500;
    song.tick = 4;
    song.pattern_delay_ticks = 2;
    song.elapsed_ms = 12345;
    for (int32_t i = 0; i < 6; ++i) {
        channels[i] = Channel{};
        channels[i].volume = 99;
        channels[i].voice = nullptr;
    }

    ASSERT_TRUE(song_render_start(&song));
    EXPECT_EQ(tick_log.play_starts, 1);
    EXPECT_EQ(tick_log.ticks_before_play_start, 0);
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(channels[i].voice, &voice_table[i]) << i;
        EXPECT_EQ(channels[i].volume, 0) << i;
    }
    EXPECT_EQ(channels[4].volume, 99);  // beyond channel_count: untouched
    EXPECT_EQ(channels[4].voice, nullptr);

    ASSERT_NE(song_render_next(nullptr), nullptr);
    ASSERT_FALSE(tick_log.song_at.empty());
    const Song& first = tick_log.song_at[0];
    EXPECT_EQ(first.global_volume, 40);
    EXPECT_EQ(first.next_order, -1);
    EXPECT_EQ(first.next_row, -1);
    EXPECT_EQ(first.speed, 5);
    EXPECT_EQ(first.row, 0);
    EXPECT_EQ(first.order, 0);
    EXPECT_EQ(first.tick_frames_left, 0);
    EXPECT_EQ(first.tick, 0);
    EXPECT_EQ(first.pattern_delay_ticks, 0);
    EXPECT_EQ(first.elapsed_ms, 0);
    EXPECT_EQ(first.bpm, 100);
    EXPECT_EQ(first.frames_per_tick, 1102);  // set_tempo(100) at 44100 Hz
    EXPECT_TRUE(song_stop(&song));
    EXPECT_EQ(song_render_next(nullptr), nullptr);
}

// A block of 884 frames with 882-frame ticks: 882 + 2, then 880 + 4, ...
TEST_F(OutputStream, TicksSplitBlocksAndElapsedTimeTruncatesEachPiece) {
    ASSERT_TRUE(player_init_offline(44100));
    Song song = recording_song(882);
    ASSERT_TRUE(song_render_start(&song));
    SyncSnapshot snapshot;

    ASSERT_NE(song_render_next(&snapshot), nullptr);
    // The block begins with a tick, before any frame is mixed; the second
    // tick begins after one piece of 882 frames, which counts 19 ms.
    EXPECT_EQ(tick_log.elapsed_at, (std::vector<int32_t>{0, 19}));
    EXPECT_EQ(int32_t{snapshot.elapsed_ms}, 19);  // + 0 for the piece of 2
    EXPECT_EQ(song.tick_frames_left, 880);

    ASSERT_NE(song_render_next(&snapshot), nullptr);
    EXPECT_EQ(tick_log.elapsed_at, (std::vector<int32_t>{0, 19, 38}));
    EXPECT_EQ(int32_t{snapshot.elapsed_ms}, 38);
    EXPECT_EQ(song.tick_frames_left, 878);

    ASSERT_NE(song_render_next(&snapshot), nullptr);
    EXPECT_EQ(int32_t{snapshot.elapsed_ms}, 57);
    EXPECT_EQ(song.tick_frames_left, 876);
    EXPECT_EQ(song.elapsed_ms, 57);
}

TEST_F(OutputStream, ElapsedTimeCountsPiecesNotBlocks) {
    struct Case {
        int32_t frames_per_tick;
        size_t ticks_in_first_block;
        int32_t elapsed_after_first_block;
    };
    // One-frame pieces count 0 ms each; a tick longer than the block makes
    // one piece of 884 frames, 20.04 ms.
    for (Case c : {Case{1, 884, 0}, Case{2, 442, 0}, Case{44, 21, 0}, Case{3000, 1, 20}}) {
        SCOPED_TRACE(c.frames_per_tick);
        ASSERT_TRUE(player_init_offline(44100));
        Song song = recording_song(c.frames_per_tick);
        ASSERT_TRUE(song_render_start(&song));
        SyncSnapshot snapshot;
        ASSERT_NE(song_render_next(&snapshot), nullptr);
        EXPECT_EQ(tick_log.elapsed_at.size(), c.ticks_in_first_block);
        EXPECT_EQ(int32_t{snapshot.elapsed_ms}, c.elapsed_after_first_block);
        song_stop(&song);
    }
}

TEST_F(OutputStream, SnapshotHoldsTheSongAfterTheLastTickOfItsBlock) {
    ASSERT_TRUE(player_init_offline(44100));
    // Ticks of exactly one block: the tick at each boundary belongs to the later block.
    Song song = recording_song(884, 4);
    ASSERT_TRUE(song_render_start(&song));
    for (int32_t block = 0; block < 3; ++block) {
        SyncSnapshot snapshot;
        ASSERT_NE(song_render_next(&snapshot), nullptr);
        EXPECT_EQ(tick_log.elapsed_at.size(), static_cast<size_t>(block + 1));
        EXPECT_EQ(snapshot.row, block + 1);
        EXPECT_EQ(snapshot.order, block + 1);
        EXPECT_EQ(int32_t{snapshot.elapsed_ms}, song.elapsed_ms);
        EXPECT_EQ(stream_write_block(), block + 1);
        // The ring's record of the block is the same snapshot.
        EXPECT_EQ(std::memcmp(&stream_snapshots()[block], &snapshot, sizeof snapshot), 0);
        for (int32_t i = 0; i < 32; ++i) EXPECT_EQ(int32_t{snapshot.channel_notes[i]}, i < 4 ? 1000 * (block + 1) + i : 0);
    }
    song_stop(&song);

    // Two ticks a block: the second one's state is what the snapshot holds.
    song = recording_song(442, 32);
    ASSERT_TRUE(song_render_start(&song));
    SyncSnapshot snapshot;
    ASSERT_NE(song_render_next(&snapshot), nullptr);
    ASSERT_NE(song_render_next(&snapshot), nullptr);
    EXPECT_EQ(snapshot.row, 4);
    for (int32_t i = 0; i < 32; ++i) EXPECT_EQ(int32_t{snapshot.channel_notes[i]}, 4000 + i);
}

TEST_F(OutputStream, PositionsOf256AndMoreAreReportedModulo256) {
    ASSERT_TRUE(player_init_offline(44100));
    Song song = recording_song(884);
    song.on_tick = [](Song* s) {
        s->frames_per_tick = 884;
        s->order = 300;
        s->row = 513;
    };
    ASSERT_TRUE(song_render_start(&song));
    SyncSnapshot snapshot;
    ASSERT_NE(song_render_next(&snapshot), nullptr);
    EXPECT_EQ(snapshot.order, 300 - 256);
    EXPECT_EQ(snapshot.row, 513 - 512);
}

TEST_F(OutputStream, WriteBlockWrapsAfterTheLastBlockOfTheRing) {
    ASSERT_TRUE(player_init_offline(22050));
    Song song = recording_song(444);
    ASSERT_TRUE(song_render_start(&song));
    const int16_t* ring = stream_output_ring();
    for (int32_t block = 0; block < 100; ++block) {
        const int16_t* pcm = song_render_next(nullptr);
        ASSERT_EQ(pcm, ring + static_cast<size_t>(block) * 444 * 2) << block;
    }
    EXPECT_EQ(stream_write_block(), 0);
    SyncSnapshot snapshot;
    EXPECT_EQ(song_render_next(&snapshot), ring);
    EXPECT_EQ(snapshot.row, 101);
    EXPECT_EQ(stream_snapshots()[0].row, 101);
    EXPECT_EQ(stream_snapshots()[99].row, 100);
}

// With a real module: offline rendering starts the same each time, and it
// makes sound.
TEST_F(OutputStream, OfflineRenderingRepeatsExactly) {
    std::vector<XmCell> rows;
    for (uint8_t note : {49, 53, 56, 61, 0, 97, 37, 44}) rows.push_back(note_cell(note, note ? 1 : 0));
    SongPtr song(load_song_from_module(one_channel_module(rows)));
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(player_init_offline(44100));
    std::vector<int16_t> first, second;
    std::vector<SyncSnapshot> first_snapshots, second_snapshots;
    for (auto* pass : {&first, &second}) {
        auto* snapshots = pass == &first ? &first_snapshots : &second_snapshots;
        ASSERT_TRUE(song_render_start(song.get()));
        for (int block = 0; block < 120; ++block) {
            SyncSnapshot snapshot;
            const int16_t* pcm = song_render_next(&snapshot);
            ASSERT_NE(pcm, nullptr);
            pass->insert(pass->end(), pcm, pcm + 884 * 2);
            snapshots->push_back(snapshot);
        }
    }
    EXPECT_EQ(first, second);
    ASSERT_EQ(std::memcmp(first_snapshots.data(), second_snapshots.data(), first_snapshots.size() * sizeof(SyncSnapshot)),
              0);
    size_t loud = 0;
    for (int16_t value : first) loud += value > 1000 || value < -1000;
    EXPECT_GT(loud, first.size() / 10);
    // Row 0 struck a note on the only channel; its block's snapshot says so.
    EXPECT_EQ(int32_t{first_snapshots[0].channel_notes[0]}, 1);
    EXPECT_EQ(first_snapshots[0].row, 0);
    EXPECT_EQ(int32_t{first_snapshots[0].channel_notes[1]}, 0);
}

// Starting at a later block: the ring and the snapshots hold what a play
// from the song's start holds there, even after a play that left voices
// sounding.
TEST_F(OutputStream, PlayFromABlockIsThePlayFromTheStartSeenFromThere) {
    // Channel 1 starts a looping note on the last row only: a voice left
    // sounding by the earlier play is heard from the first block on.
    XmModule module = module_with_cells(2, {}, 8, {instrument_with_sample(square_sample(64, 8))});
    for (uint16_t row : {0, 2, 4}) set_cell(module.patterns[0], 2, row, 0, note_cell(static_cast<uint8_t>(49 + row), 1));
    set_cell(module.patterns[0], 2, 7, 1, note_cell(44, 1));
    SongPtr song(load_song_from_module(module));
    ASSERT_NE(song, nullptr);
    constexpr int32_t FIRST = 37, BLOCKS = FIRST + 100;
    ASSERT_TRUE(player_init_offline(44100));
    ASSERT_TRUE(song_render_start(song.get()));
    std::vector<int16_t> pcm;
    std::vector<SyncSnapshot> snapshots(BLOCKS);
    for (int32_t block = 0; block < BLOCKS; ++block) {
        const int16_t* block_pcm = song_render_next(&snapshots[block]);
        pcm.insert(pcm.end(), block_pcm, block_pcm + 884 * 2);
    }
    song_stop(song.get());

    ASSERT_TRUE(player_init(44100));
    for (int32_t first : {FIRST, 0}) {
        SCOPED_TRACE(first);
        // The first play leaves voices sounding at its end of the ring.
        ASSERT_TRUE(song_play(song.get()));
        ASSERT_TRUE(song_play_from(song.get(), first));
        const int16_t* ring = stream_output_ring();
        EXPECT_TRUE(std::equal(ring, ring + 88400 * 2, pcm.begin() + first * 884 * 2));
        EXPECT_EQ(std::memcmp(stream_snapshots(), &snapshots[static_cast<size_t>(first)], 100 * sizeof(SyncSnapshot)), 0);
        EXPECT_EQ(stream_audible_block(), 0);
        song_stop(song.get());
    }
    EXPECT_FALSE(song_play_from(song.get(), -1));
}
