// The output stream of one player, without a thread: stream settings per
// rate, what a start resets, what the player refuses, and render_block
// driven offline on songs whose tick routine is a recording stand-in, so
// that tick placement, elapsed time and snapshots are seen exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "korvanti/player.h"
#include "player/module/song.h"
#include "player/output/mixer.h"
#include "player/output/player.h"
#include "player/output/sound_device_virtual.h"
#include "player/replay/channel.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

namespace {

// What the start looked like to the first tick.
struct TickView {
    int32_t elapsed_ms;
    int32_t global_volume;
    int32_t next_order;
    int32_t next_row;
    int32_t speed;
    int32_t row;
    int32_t order;
    int32_t tick_frames_left;
    int32_t tick;
    int32_t pattern_delay_ticks;
    int32_t bpm;
    int32_t frames_per_tick;
};

// What the stand-in tick routine saw and does.
struct TickLog {
    int32_t frames_per_tick;           // set on every tick
    std::vector<int32_t> elapsed_at;   // elapsed_ms when each tick began
    std::vector<TickView> play_at;     // the play when each tick began
    int32_t play_starts;               // on_play_start calls
    int32_t ticks_before_play_start;   // ticks seen when on_play_start ran
};

TickLog tick_log;

// Each tick moves order and row on by one and sets note flags in all 32
// entries, so the snapshot shows which tick was the last of a block.
void recording_tick(PlayState* play) {
    tick_log.elapsed_at.push_back(play->elapsed_ms);
    tick_log.play_at.push_back(TickView{play->elapsed_ms, play->global_volume, play->next_order, play->next_row,
                                        play->speed, play->row, play->order, play->tick_frames_left, play->tick,
                                        play->pattern_delay_ticks, play->bpm, play->frames_per_tick});
    play->frames_per_tick = tick_log.frames_per_tick;
    play->order += 1;
    play->row += 1;
    auto n = static_cast<int32_t>(tick_log.elapsed_at.size());
    for (int32_t i = 0; i < 32; ++i) play->channel_notes[i] = 1000 * n + i;
}

void recording_play_start(PlayState*) {
    tick_log.play_starts += 1;
    tick_log.ticks_before_play_start = static_cast<int32_t>(tick_log.elapsed_at.size());
}

// A song of the recording ticks, and the log cleared.
SongPtr recording_song(int32_t frames_per_tick, int16_t channel_count = 4) {
    tick_log = TickLog{};
    tick_log.frames_per_tick = frames_per_tick;
    return SongPtr(handle_of_song(hooked_song(channel_count, recording_tick, recording_play_start)));
}

// An offline player at `rate` playing `song` without end (the recording
// ticks never come back to a row often enough to matter, but a play of
// hundreds of their ticks would).
PlayerPtr started(korvanti_song* song, int32_t rate = 44100) {
    PlayerPtr player = offline_player(rate);
    if (player == nullptr) return player;
    EXPECT_EQ(korvanti_player_set_passes(player.get(), 0), KORVANTI_OK);
    EXPECT_EQ(korvanti_player_start(player.get(), song), KORVANTI_OK);
    return player;
}

}  // namespace

TEST(OutputStream, BlockLayoutFollowsTheMixingRate) {
    struct Layout {
        int32_t rate, block, ring, blocks, ramp;
    };
    for (Layout layout : {Layout{44100, 884, 88400, 100, 128}, Layout{22050, 444, 44400, 100, 64},
                          Layout{48000, 960, 96000, 100, 139}, Layout{8000, 160, 16000, 100, 23},
                          Layout{192000, 3840, 384000, 100, 557}}) {
        SCOPED_TRACE(layout.rate);
        for (bool live : {false, true}) {
            PlayerPtr player = live ? virtual_live_player(layout.rate) : offline_player(layout.rate);
            ASSERT_NE(player, nullptr);
            const Player* record = player_of(player.get());
            EXPECT_EQ(record->mixing_rate, layout.rate);
            EXPECT_EQ(korvanti_player_rate(player.get()), layout.rate);
            EXPECT_EQ(record->block_frames, layout.block);
            EXPECT_EQ(korvanti_player_block_frames(player.get()), layout.block);
            EXPECT_EQ(record->ring_frames, layout.ring);
            EXPECT_EQ(block_count(record), layout.blocks);
            EXPECT_EQ(record->mixer.ramp_frames_total, layout.ramp);
            EXPECT_EQ(record->mixer.ramp_reciprocal, static_cast<float>(1.0 / layout.ramp));
            EXPECT_EQ(record->frame_seconds, static_cast<float>(1.0 / layout.rate));
            EXPECT_EQ(record->live, live);
            EXPECT_EQ(record->device.ops != nullptr, live);
        }
    }
    // The float32 reciprocal of 44100 lies below the true value: what makes
    // a tick of 882 frames count 19 ms.
    PlayerPtr player = offline_player(44100);
    EXPECT_LT(static_cast<double>(player_of(player.get())->frame_seconds) * 882.0 * 1000.0, 20.0);
    EXPECT_EQ(korvanti_player_block_frames(nullptr), 0);
}

// Every start is a first start: whatever the voices held, a start leaves
// them all at rest, each at its own slot, and every channel fresh and bound
// to its voice.
TEST(OutputStream, StartResetsEveryVoiceAndChannel) {
    SongPtr song = recording_song(882, 4);
    PlayerPtr player = offline_player();
    Player* record = player_of(player.get());
    std::memset(static_cast<void*>(record->play.voice_table), 0x5A, sizeof record->play.voice_table);
    for (Channel& channel : record->play.channels) {
        channel.volume = 99;
        channel.voice = nullptr;
    }
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    for (int32_t i = 0; i < VOICE_COUNT; ++i) {
        Voice expected;
        std::memset(static_cast<void*>(&expected), 0, sizeof expected);
        expected.index = i;
        expected.step_int = 1;
        ASSERT_EQ(std::memcmp(&record->play.voice_table[i], &expected, sizeof expected), 0) << "voice " << i;
    }
    // All 32, not only the song's channels: a later song with more channels
    // meets none of this song's state.
    for (int32_t i = 0; i < CHANNEL_COUNT; ++i) {
        EXPECT_EQ(record->play.channels[i].voice, &record->play.voice_table[i]) << i;
        EXPECT_EQ(record->play.channels[i].volume, 0) << i;
    }
}

TEST(OutputStream, RefusesWhatItCannotServe) {
    int error = 0;
    EXPECT_EQ(korvanti_player_create(PLAYER_RATE_MIN - 1, &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_create(PLAYER_RATE_MAX + 1, nullptr), nullptr);
    EXPECT_EQ(live_player_on(failing_virtual_sound_device(), 44100, &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_DEVICE);
    EXPECT_EQ(live_player_on(virtual_sound_device(), PLAYER_RATE_MAX + 1, &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_ARGUMENT);

    SongPtr song = recording_song(882);
    PlayerPtr player = offline_player();
    int16_t frames[8];
    // Nothing started: nothing to render, seek or describe.
    EXPECT_EQ(korvanti_player_render(player.get(), frames, 2), KORVANTI_ERROR_STATE);
    EXPECT_EQ(korvanti_player_seek_frame(player.get(), 0), KORVANTI_ERROR_STATE);
    EXPECT_EQ(korvanti_player_seek_order(player.get(), 0, 0), KORVANTI_ERROR_STATE);
    korvanti_position position;
    EXPECT_EQ(korvanti_player_get_position(player.get(), &position), KORVANTI_ERROR_STATE);
    korvanti_sync_snapshot snapshot;
    EXPECT_EQ(korvanti_player_get_snapshot(player.get(), 0, &snapshot), KORVANTI_ERROR_STATE);
    EXPECT_EQ(korvanti_player_start(player.get(), nullptr), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_start(nullptr, song.get()), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);  // harmless
    EXPECT_EQ(korvanti_player_pause(player.get(), true), KORVANTI_ERROR_STATE);  // no device
    EXPECT_TRUE(tick_log.elapsed_at.empty());

    // A live player renders on its own thread, never into the caller's buffer.
    PlayerPtr live = virtual_live_player();
    ASSERT_EQ(korvanti_player_start(live.get(), song.get()), KORVANTI_OK);
    EXPECT_EQ(korvanti_player_render(live.get(), frames, 2), KORVANTI_ERROR_STATE);
    EXPECT_EQ(korvanti_player_get_snapshot(live.get(), 0, &snapshot), KORVANTI_ERROR_STATE);
    ASSERT_EQ(korvanti_player_stop(live.get()), KORVANTI_OK);

    // Stopped: the play is over and renders nothing more.
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_render(player.get(), frames, 4), 4);
    ASSERT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
    EXPECT_EQ(korvanti_player_render(player.get(), frames, 4), 0);
    EXPECT_EQ(render_next_block(player.get()), nullptr);
}

// A refused argument, mid-render, changes nothing: the rest of the render
// equals one without the refused calls.
TEST(OutputStream, RefusedArgumentsLeaveThePlayAsItWas) {
    std::vector<XmCell> rows;
    for (uint8_t note : {49, 53, 56, 61, 0, 97, 37, 44}) rows.push_back(note_cell(note, note ? 1 : 0));
    SongPtr song(load_song_from_module(one_channel_module(rows)));
    ASSERT_NE(song, nullptr);
    PlayerPtr reference = offline_player();
    ASSERT_EQ(korvanti_player_start(reference.get(), song.get()), KORVANTI_OK);
    const std::vector<int16_t> whole = render_all(reference.get(), 1000);
    ASSERT_GT(whole.size(), 80000u);

    PlayerPtr player = offline_player();
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    std::vector<int16_t> pcm = render_frames(player.get(), 12345);
    const int64_t end = korvanti_song_length_frames(song.get(), 44100);
    ASSERT_EQ(end * 2, static_cast<int64_t>(whole.size()));
    EXPECT_EQ(korvanti_player_set_gain_db(player.get(), NAN), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_gain_db(player.get(), 40.5), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_stereo_separation(player.get(), 101), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_stereo_separation(player.get(), -1), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_channel_muted(player.get(), 32, true), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_channel_muted(player.get(), -1, true), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_passes(player.get(), -1), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_set_mixer(player.get(), "no such loops"), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_seek_frame(player.get(), end), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_seek_frame(player.get(), -1), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_seek_order(player.get(), 1, 0), KORVANTI_ERROR_RANGE);  // the song has one order
    EXPECT_EQ(korvanti_player_seek_order(player.get(), 0, 64), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_render(player.get(), nullptr, 5), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_render(player.get(), pcm.data(), -5), KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_player_create(7999, nullptr), nullptr);
    const std::vector<int16_t> rest = render_all(player.get(), 777);
    pcm.insert(pcm.end(), rest.begin(), rest.end());
    EXPECT_TRUE(pcm == whole) << "the render after refused calls differs";
}

TEST(OutputStream, PositionBeforeAndAfterTheFirstBlock) {
    SongPtr song = recording_song(882);
    PlayerPtr player = started(song.get());
    korvanti_position position;
    ASSERT_EQ(korvanti_player_get_position(player.get(), &position), KORVANTI_OK);
    EXPECT_EQ(position.frame, 0);
    EXPECT_EQ(position.order, 0);
    EXPECT_EQ(position.row, 0);
    EXPECT_EQ(position.speed, 6);
    EXPECT_EQ(position.bpm, 125);
    EXPECT_EQ(position.channel_count, 4);
    korvanti_sync_snapshot snapshot;
    EXPECT_EQ(korvanti_player_get_snapshot(player.get(), 0, &snapshot), KORVANTI_ERROR_RANGE);
    korvanti_song_end end;
    EXPECT_EQ(korvanti_player_get_end(player.get(), &end), KORVANTI_ERROR_RANGE);

    int16_t frames[2 * 10];
    ASSERT_EQ(korvanti_player_render(player.get(), frames, 10), 10);
    ASSERT_EQ(korvanti_player_get_position(player.get(), &position), KORVANTI_OK);
    EXPECT_EQ(position.frame, 10);
    // The block that holds the last frame rendered, as its end left it: two ticks.
    EXPECT_EQ(position.row, 2);
    EXPECT_EQ(position.order, 2);
    EXPECT_TRUE(position.channels[3].note_struck);
    ASSERT_EQ(korvanti_player_get_snapshot(player.get(), 0, &snapshot), KORVANTI_OK);
    EXPECT_EQ(snapshot.row, 2);
    EXPECT_EQ(korvanti_player_get_snapshot(player.get(), 1, &snapshot), KORVANTI_ERROR_RANGE);
}

TEST(OutputStream, PlayStartResetsThePositionBeforeTheFirstTick) {
    SongPtr song = recording_song(882, 4);
    Song* record = song_of(song.get());
    record->initial_global_volume = 40;
    record->default_tempo = 5;
    record->default_bpm = 100;
    PlayerPtr player = offline_player();
    // A play that ran somewhere else before.
    PlayState& play = player_of(player.get())->play;
    play.global_volume = 3;
    play.next_order = 7;
    play.next_row = 9;
    play.speed = 31;
    play.row = 12;
    play.order = 13;
    play.tick_frames_left = 500;
    play.tick = 4;
    play.pattern_delay_ticks = 2;
    play.elapsed_ms = 12345;

    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    EXPECT_EQ(tick_log.play_starts, 1);
    EXPECT_EQ(tick_log.ticks_before_play_start, 0);

    ASSERT_NE(render_next_block(player.get()), nullptr);
    ASSERT_FALSE(tick_log.play_at.empty());
    const TickView& first = tick_log.play_at[0];
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
    EXPECT_EQ(korvanti_player_stop(player.get()), KORVANTI_OK);
    EXPECT_EQ(render_next_block(player.get()), nullptr);
}

// A block of 884 frames with 882-frame ticks: 882 + 2, then 880 + 4, ...
TEST(OutputStream, TicksSplitBlocksAndElapsedTimeTruncatesEachPiece) {
    SongPtr song = recording_song(882);
    PlayerPtr player = started(song.get());
    const PlayState& play = player_of(player.get())->play;
    SyncSnapshot snapshot;

    ASSERT_NE(render_next_block(player.get(), &snapshot), nullptr);
    // The block begins with a tick, before any frame is mixed; the second
    // tick begins after one piece of 882 frames, which counts 19 ms.
    EXPECT_EQ(tick_log.elapsed_at, (std::vector<int32_t>{0, 19}));
    EXPECT_EQ(int32_t{snapshot.elapsed_ms}, 19);  // + 0 for the piece of 2
    EXPECT_EQ(play.tick_frames_left, 880);

    ASSERT_NE(render_next_block(player.get(), &snapshot), nullptr);
    EXPECT_EQ(tick_log.elapsed_at, (std::vector<int32_t>{0, 19, 38}));
    EXPECT_EQ(int32_t{snapshot.elapsed_ms}, 38);
    EXPECT_EQ(play.tick_frames_left, 878);

    ASSERT_NE(render_next_block(player.get(), &snapshot), nullptr);
    EXPECT_EQ(int32_t{snapshot.elapsed_ms}, 57);
    EXPECT_EQ(play.tick_frames_left, 876);
    EXPECT_EQ(play.elapsed_ms, 57);
}

TEST(OutputStream, ElapsedTimeCountsPiecesNotBlocks) {
    struct Case {
        int32_t frames_per_tick;
        size_t ticks_in_first_block;
        int32_t elapsed_after_first_block;
    };
    // One-frame pieces count 0 ms each; a tick longer than the block makes
    // one piece of 884 frames, 20.04 ms.
    for (Case c : {Case{1, 884, 0}, Case{2, 442, 0}, Case{44, 21, 0}, Case{3000, 1, 20}}) {
        SCOPED_TRACE(c.frames_per_tick);
        SongPtr song = recording_song(c.frames_per_tick);
        PlayerPtr player = started(song.get());
        SyncSnapshot snapshot;
        ASSERT_NE(render_next_block(player.get(), &snapshot), nullptr);
        EXPECT_EQ(tick_log.elapsed_at.size(), c.ticks_in_first_block);
        EXPECT_EQ(int32_t{snapshot.elapsed_ms}, c.elapsed_after_first_block);
    }
}

TEST(OutputStream, SnapshotHoldsTheSongAfterTheLastTickOfItsBlock) {
    // Ticks of exactly one block: the tick at each boundary belongs to the later block.
    SongPtr song = recording_song(884, 4);
    PlayerPtr player = started(song.get());
    const Player* record = player_of(player.get());
    for (int32_t block = 0; block < 3; ++block) {
        SyncSnapshot snapshot;
        ASSERT_NE(render_next_block(player.get(), &snapshot), nullptr);
        EXPECT_EQ(tick_log.elapsed_at.size(), static_cast<size_t>(block + 1));
        EXPECT_EQ(snapshot.row, block + 1);
        EXPECT_EQ(snapshot.order, block + 1);
        EXPECT_EQ(int32_t{snapshot.elapsed_ms}, record->play.elapsed_ms);
        EXPECT_EQ(record->write_block.load(), block + 1);
        // The ring's record of the block is the same snapshot, and so is
        // what the public call gives for that song block.
        EXPECT_EQ(std::memcmp(&record->block_ring[block].snapshot, &snapshot, sizeof snapshot), 0);
        korvanti_sync_snapshot described;
        ASSERT_EQ(korvanti_player_get_snapshot(player.get(), block, &described), KORVANTI_OK);
        EXPECT_EQ(std::memcmp(&described, &snapshot, sizeof snapshot), 0);
        for (int32_t i = 0; i < 32; ++i) {
            EXPECT_EQ(int32_t{snapshot.channel_notes[i]}, i < 4 ? 1000 * (block + 1) + i : 0);
        }
    }

    // Two ticks a block: the second one's state is what the snapshot holds.
    song = recording_song(442, 32);
    player = started(song.get());
    SyncSnapshot snapshot;
    ASSERT_NE(render_next_block(player.get(), &snapshot), nullptr);
    ASSERT_NE(render_next_block(player.get(), &snapshot), nullptr);
    EXPECT_EQ(snapshot.row, 4);
    for (int32_t i = 0; i < 32; ++i) EXPECT_EQ(int32_t{snapshot.channel_notes[i]}, 4000 + i);
}

TEST(OutputStream, PositionsOf256AndMoreAreReportedModulo256) {
    SongPtr song = recording_song(884);
    song_of(song.get())->on_tick = [](PlayState* play) {
        play->frames_per_tick = 884;
        play->order = 300;
        play->row = 513;
    };
    PlayerPtr player = started(song.get());
    SyncSnapshot snapshot;
    ASSERT_NE(render_next_block(player.get(), &snapshot), nullptr);
    EXPECT_EQ(snapshot.order, 300 - 256);
    EXPECT_EQ(snapshot.row, 513 - 512);
    // The position keeps them whole.
    korvanti_position position;
    ASSERT_EQ(korvanti_player_render(player.get(), nullptr, 0), 0);
    int16_t frame[2];
    ASSERT_EQ(korvanti_player_render(player.get(), frame, 1), 1);
    ASSERT_EQ(korvanti_player_get_position(player.get(), &position), KORVANTI_OK);
    EXPECT_EQ(position.order, 300);
    EXPECT_EQ(position.row, 513);
}

TEST(OutputStream, WriteBlockWrapsAfterTheLastBlockOfTheRing) {
    SongPtr song = recording_song(444);
    PlayerPtr player = started(song.get(), 22050);
    const Player* record = player_of(player.get());
    const int16_t* ring = record->output_ring;
    for (int32_t block = 0; block < 100; ++block) {
        const int16_t* pcm = render_next_block(player.get());
        ASSERT_EQ(pcm, ring + static_cast<size_t>(block) * 444 * 2) << block;
    }
    EXPECT_EQ(record->write_block.load(), 0);
    SyncSnapshot snapshot;
    EXPECT_EQ(render_next_block(player.get(), &snapshot), ring);
    EXPECT_EQ(snapshot.row, 101);
    EXPECT_EQ(record->block_ring[0].snapshot.row, 101);
    EXPECT_EQ(record->block_ring[99].snapshot.row, 100);
}

namespace {

// Eight rows of one channel: notes, a rest and a key off.
XmModule melody_module() {
    std::vector<XmCell> rows;
    for (uint8_t note : {49, 53, 56, 61, 0, 97, 37, 44}) rows.push_back(note_cell(note, note ? 1 : 0));
    return one_channel_module(rows);
}

// Two channels, the second starting a looping note on the last row only: a
// voice left sounding by an earlier play would be heard from the first
// block of the next.
XmModule ringing_module() {
    XmModule module = module_with_cells(2, {}, 8, {instrument_with_sample(square_sample(64, 8))});
    for (uint16_t row : {0, 2, 4}) {
        set_cell(module.patterns[0], 2, row, 0, note_cell(static_cast<uint8_t>(49 + row), 1));
    }
    set_cell(module.patterns[0], 2, 7, 1, note_cell(44, 1));
    return module;
}

struct BlockRender {
    std::vector<int16_t> pcm;
    std::vector<SyncSnapshot> snapshots;
};

// `blocks` blocks of the play under way, through the block renderer.
BlockRender render_blocks(korvanti_player* player, int32_t blocks) {
    BlockRender render;
    const int32_t block_frames = korvanti_player_block_frames(player);
    for (int32_t block = 0; block < blocks; ++block) {
        SyncSnapshot snapshot;
        const int16_t* pcm = render_next_block(player, &snapshot);
        if (pcm == nullptr) break;
        render.pcm.insert(render.pcm.end(), pcm, pcm + block_frames * 2);
        render.snapshots.push_back(snapshot);
    }
    return render;
}

bool same_render(const BlockRender& a, const BlockRender& b) {
    return a.pcm == b.pcm && a.snapshots.size() == b.snapshots.size() &&
           std::memcmp(a.snapshots.data(), b.snapshots.data(), a.snapshots.size() * sizeof(SyncSnapshot)) == 0;
}

}  // namespace

// Every start is a first start: the same song started again, after itself
// or after another song, on the same player or on another, renders the same
// bits and snapshots as its first start. (Before players were records of
// their own, the voices of an earlier play were heard in the next one.)
TEST(OutputStream, EveryStartRendersLikeTheFirst) {
    SongPtr song(load_song_from_module(ringing_module()));
    SongPtr other(load_song_from_module(melody_module()));
    ASSERT_NE(song, nullptr);
    ASSERT_NE(other, nullptr);
    constexpr int32_t BLOCKS = 150;  // past the song's end: the last row's note rings on
    PlayerPtr player = offline_player();
    ASSERT_EQ(korvanti_player_set_passes(player.get(), 0), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    const BlockRender first = render_blocks(player.get(), BLOCKS);
    ASSERT_EQ(first.snapshots.size(), static_cast<size_t>(BLOCKS));
    size_t loud = 0;
    for (int16_t value : first.pcm) loud += value > 1000 || value < -1000;
    EXPECT_GT(loud, first.pcm.size() / 10);
    // Row 0 struck a note on channel 0 only; its block's snapshot says so.
    EXPECT_EQ(int32_t{first.snapshots[0].channel_notes[0]}, 1);
    EXPECT_EQ(int32_t{first.snapshots[0].channel_notes[1]}, 0);
    EXPECT_EQ(first.snapshots[0].row, 0);

    // Again after itself, with its last note still ringing.
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    EXPECT_TRUE(same_render(render_blocks(player.get(), BLOCKS), first)) << "second start";
    // After another song.
    ASSERT_EQ(korvanti_player_start(player.get(), other.get()), KORVANTI_OK);
    const BlockRender other_first = render_blocks(player.get(), 60);
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    EXPECT_TRUE(same_render(render_blocks(player.get(), BLOCKS), first)) << "start after another song";
    // The other song, in turn, as on a fresh player.
    PlayerPtr fresh = offline_player();
    ASSERT_EQ(korvanti_player_set_passes(fresh.get(), 0), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(fresh.get(), other.get()), KORVANTI_OK);
    EXPECT_TRUE(same_render(render_blocks(fresh.get(), 60), other_first)) << "the other song on a fresh player";
    ASSERT_EQ(korvanti_player_start(player.get(), other.get()), KORVANTI_OK);
    EXPECT_TRUE(same_render(render_blocks(player.get(), 60), other_first)) << "the other song again";
}

// The public render in any chunk sizes is the block renders laid end to
// end, cut where the play ends.
TEST(OutputStream, RendersOfAnySizeAreTheBlocksEndToEnd) {
    SongPtr song(load_song_from_module(melody_module()));
    ASSERT_NE(song, nullptr);
    PlayerPtr blocks = offline_player();
    ASSERT_EQ(korvanti_player_start(blocks.get(), song.get()), KORVANTI_OK);
    const BlockRender whole = render_blocks(blocks.get(), 60);
    const int64_t length = korvanti_song_length_frames(song.get(), 44100);
    ASSERT_EQ(length, 8 * 6 * 882);
    ASSERT_GE(static_cast<int64_t>(whole.pcm.size()), length * 2);
    const std::vector<int16_t> cut(whole.pcm.begin(), whole.pcm.begin() + length * 2);
    for (int64_t chunk : {1, 3, 883, 884, 885, 4096, 100000}) {
        SCOPED_TRACE(chunk);
        PlayerPtr player = offline_player();
        ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
        EXPECT_TRUE(render_all(player.get(), chunk) == cut);
        int16_t frame[2];
        EXPECT_EQ(korvanti_player_render(player.get(), frame, 1), 0);  // the end, and after it
        korvanti_song_end end;
        ASSERT_EQ(korvanti_player_get_end(player.get(), &end), KORVANTI_OK);
        EXPECT_EQ(end.frame, length);
        EXPECT_TRUE(end.returns);
    }
}
