// Seeks against render-and-drop: after a seek to any frame, by frame, by
// time or by order and row, what the player renders is bit for bit what a
// render from the start gives there, offline and live, inside pattern loops
// and after jumps and breaks, and from the checkpoints a long play keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "korvanti/player.h"
#include "player/output/player.h"
#include "player/output/sound_device_virtual.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

namespace {

// Two channels over three patterns played 0, 1, 2, 1: notes with vibrato
// and slides, a pattern loop in pattern 0 (rows 4..7 three times), a break
// in pattern 1 (row 10 to row 2 of the next order), a jump in pattern 2
// (row 12 to order 3). The second pass of pattern 1 breaks past the last
// order, back to order 0 row 2: the end of the pass.
XmModule winding_module() {
    constexpr uint16_t CHANNELS = 2;
    XmModule module;
    module.channel_count = CHANNELS;
    module.song_length = 4;
    module.orders = {0, 1, 2, 1};
    for (int p = 0; p < 3; ++p) {
        XmPattern pattern = empty_pattern(16, CHANNELS);
        for (uint16_t row = 0; row < 16; ++row) {
            uint8_t note = static_cast<uint8_t>(37 + (row * 5 + p * 7) % 24);
            set_cell(pattern, CHANNELS, row, 0,
                     row % 3 == 2 ? note_cell(0, 0, 0, 0x0A, 0x03) : note_cell(note, 1, 0, 0x04, 0x46));
            if (row % 4 == 1) set_cell(pattern, CHANNELS, row, 1, note_cell(static_cast<uint8_t>(note + 12), 2, 0x30));
        }
        module.patterns.push_back(pattern);
    }
    set_cell(module.patterns[0], CHANNELS, 4, 1, note_cell(61, 2, 0, 0x0E, 0x60));
    set_cell(module.patterns[0], CHANNELS, 7, 1, note_cell(0, 0, 0, 0x0E, 0x62));
    set_cell(module.patterns[1], CHANNELS, 10, 1, note_cell(0, 0, 0, 0x0D, 0x02));
    set_cell(module.patterns[2], CHANNELS, 12, 1, note_cell(0, 0, 0, 0x0B, 0x03));
    XmInstrument lead = instrument_with_sample(square_sample(40, 6, 9000));
    lead.volume_envelope.points = {{0, 64}, {6, 30}, {20, 50}, {40, 10}};
    lead.volume_envelope.flags = 1 | 4;
    lead.volume_envelope.loop_start = 1;
    lead.volume_envelope.loop_end = 2;
    XmInstrument bell = instrument_with_sample(make_sample({0, 60, 110, 60, 0, -60, -110, -60}, false, 2, 1, 6));
    module.instruments = {lead, bell};
    return module;
}

// The frames of the play from `frame` on, `count` of them or up to its end.
std::vector<int16_t> slice(const std::vector<int16_t>& whole, int64_t frame, int64_t count) {
    int64_t end = std::min<int64_t>(static_cast<int64_t>(whole.size()) / 2, frame + count);
    return std::vector<int16_t>(whole.begin() + frame * 2, whole.begin() + end * 2);
}

// Where a render first differs from the reference, for the failure message.
int64_t first_difference(const std::vector<int16_t>& got, const std::vector<int16_t>& want) {
    auto where = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    return (where.first - got.begin()) / 2;
}

}  // namespace

TEST(Seek, LandsWhereTheRenderFromTheStartIs) {
    constexpr int32_t RATE = 44100;
    constexpr int64_t LOOK = 3000;  // frames compared after each seek
    SongPtr song(load_song_from_module(winding_module()));
    ASSERT_NE(song, nullptr);
    PlayerPtr reference = offline_player(RATE);
    ASSERT_EQ(korvanti_player_start(reference.get(), song.get()), KORVANTI_OK);
    const std::vector<int16_t> whole = render_all(reference.get());
    const int64_t length = korvanti_song_length_frames(song.get(), RATE);
    ASSERT_EQ(static_cast<int64_t>(whole.size()), 2 * length);
    // 16 + 8 (two more passes of the loop's four rows) + 11 + 11 + 11 rows.
    ASSERT_EQ(length, 57 * 6 * 882);

    // Every row the pass reaches, where it first reaches it: the targets of
    // the seeks by order and row, and frames around them.
    struct RowStart {
        int32_t order, row;
        int64_t frame;
    };
    std::vector<RowStart> rows;
    std::vector<int64_t> targets = {0, 1, 883, 884, 885, length - 1, length - 884, length / 2};
    for (int32_t order = 0; order < 4; ++order) {
        for (int32_t row = 0; row < 16; ++row) {
            int64_t frame = korvanti_song_position_frame(song.get(), RATE, order, row);
            if (frame == KORVANTI_ERROR_RANGE) continue;
            ASSERT_GE(frame, 0);
            rows.push_back({order, row, frame});
            for (int64_t near : {frame - 1, frame, frame + 441}) {
                if (near >= 0 && near < length) targets.push_back(near);
            }
        }
    }
    // Rows 11..15 of pattern 1 and 0..1, 13..15 of pattern 2 are never played.
    EXPECT_EQ(rows.size(), 16u + 11 + 11 + 11);
    std::mt19937 random(26);
    for (int k = 0; k < 40; ++k) targets.push_back(static_cast<int64_t>(random() % static_cast<uint32_t>(length)));
    std::shuffle(targets.begin(), targets.end(), random);

    // One player seeks from wherever the previous seek left it (forward,
    // backward, within the block rendered last); a fresh one each time too.
    PlayerPtr player = offline_player(RATE);
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    for (int64_t target : targets) {
        SCOPED_TRACE(target);
        const std::vector<int16_t> want = slice(whole, target, LOOK);
        ASSERT_EQ(korvanti_player_seek_frame(player.get(), target), KORVANTI_OK);
        std::vector<int16_t> got = render_frames(player.get(), LOOK);
        ASSERT_TRUE(got == want) << "differs from frame " << target + first_difference(got, want);
        PlayerPtr fresh = offline_player(RATE);
        ASSERT_EQ(korvanti_player_start(fresh.get(), song.get()), KORVANTI_OK);
        ASSERT_EQ(korvanti_player_seek_frame(fresh.get(), target), KORVANTI_OK);
        got = render_frames(fresh.get(), LOOK);
        ASSERT_TRUE(got == want) << "fresh player: differs from frame " << target + first_difference(got, want);
    }
    // By order and row: the row's first frame; by time: floor(ms * rate / 1000).
    for (const RowStart& start : rows) {
        SCOPED_TRACE(::testing::Message() << "order " << start.order << " row " << start.row);
        ASSERT_EQ(korvanti_player_seek_order(player.get(), start.order, start.row), KORVANTI_OK);
        const std::vector<int16_t> got = render_frames(player.get(), LOOK);
        ASSERT_TRUE(got == slice(whole, start.frame, LOOK));
        korvanti_position position;
        ASSERT_EQ(korvanti_player_get_position(player.get(), &position), KORVANTI_OK);
        EXPECT_EQ(position.frame, start.frame + LOOK);
    }
    for (int64_t ms : {0, 1, 999, 1234, 5000}) {
        SCOPED_TRACE(ms);
        ASSERT_EQ(korvanti_player_seek_ms(player.get(), ms), KORVANTI_OK);
        ASSERT_TRUE(render_frames(player.get(), 500) == slice(whole, ms * RATE / 1000, 500));
    }
    // At or past the end, before the start, or to a row the pass never
    // reaches: refused, and the play goes on where it was.
    ASSERT_EQ(korvanti_player_seek_frame(player.get(), 1000), KORVANTI_OK);
    EXPECT_EQ(korvanti_player_seek_frame(player.get(), length), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_seek_ms(player.get(), length * 1000 / RATE + 1), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_seek_ms(player.get(), -1), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_seek_order(player.get(), 1, 12), KORVANTI_ERROR_RANGE);
    EXPECT_EQ(korvanti_player_seek_order(player.get(), 4, 0), KORVANTI_ERROR_RANGE);
    EXPECT_TRUE(render_frames(player.get(), LOOK) == slice(whole, 1000, LOOK));
    // The last frame, then the end.
    ASSERT_EQ(korvanti_player_seek_frame(player.get(), length - 1), KORVANTI_OK);
    EXPECT_EQ(render_frames(player.get(), 10).size(), 2u);
    EXPECT_TRUE(render_frames(player.get(), 10).empty());
}

// The snapshots of the last 100 blocks up to a seek's target are those the
// render from the start gives; older blocks are gone from the ring.
TEST(Seek, LeavesTheSnapshotsOfTheRenderBehindIt) {
    constexpr int32_t RATE = 44100;
    SongPtr song(load_song_from_module(winding_module()));
    ASSERT_NE(song, nullptr);
    PlayerPtr reference = offline_player(RATE);
    ASSERT_EQ(korvanti_player_start(reference.get(), song.get()), KORVANTI_OK);
    const int32_t block_frames = korvanti_player_block_frames(reference.get());
    std::vector<korvanti_sync_snapshot> snapshots;
    while (!render_frames(reference.get(), block_frames).empty()) {
        korvanti_sync_snapshot snapshot;
        ASSERT_EQ(korvanti_player_get_snapshot(reference.get(), static_cast<int64_t>(snapshots.size()), &snapshot),
                  KORVANTI_OK);
        snapshots.push_back(snapshot);
    }
    const auto blocks = static_cast<int64_t>(snapshots.size());
    ASSERT_GT(blocks, 300);
    for (int64_t target : {int64_t{99}, int64_t{100}, int64_t{150}, blocks - 1}) {
        SCOPED_TRACE(target);
        PlayerPtr player = offline_player(RATE);
        ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
        ASSERT_EQ(korvanti_player_seek_frame(player.get(), target * block_frames + 17), KORVANTI_OK);
        for (int64_t block = std::max<int64_t>(0, target - 99); block <= target; ++block) {
            korvanti_sync_snapshot snapshot;
            ASSERT_EQ(korvanti_player_get_snapshot(player.get(), block, &snapshot), KORVANTI_OK) << block;
            EXPECT_EQ(std::memcmp(&snapshot, &snapshots[static_cast<size_t>(block)], sizeof snapshot), 0) << block;
        }
        korvanti_sync_snapshot gone;
        if (target >= 100) {
            EXPECT_EQ(korvanti_player_get_snapshot(player.get(), target - 100, &gone), KORVANTI_ERROR_RANGE);
        }
    }
}

// A play without end, long enough that its checkpoints thin out several
// times: seeks all over it, each against the render from the start.
TEST(Seek, ALongPlayKeepsCheckpointsOverAllOfIt) {
    constexpr int32_t RATE = 8000;
    constexpr int64_t BLOCKS = 30000;  // ten minutes, some twenty passes of the song
    SongPtr song(load_song_from_module(winding_module()));
    ASSERT_NE(song, nullptr);
    PlayerPtr reference = offline_player(RATE);
    ASSERT_EQ(korvanti_player_set_passes(reference.get(), 0), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(reference.get(), song.get()), KORVANTI_OK);
    const int64_t frames = BLOCKS * korvanti_player_block_frames(reference.get());
    const std::vector<int16_t> whole = render_frames(reference.get(), frames);
    ASSERT_EQ(static_cast<int64_t>(whole.size()), 2 * frames);

    PlayerPtr player = offline_player(RATE);
    ASSERT_EQ(korvanti_player_set_passes(player.get(), 0), KORVANTI_OK);
    ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
    // The first seek asks for checkpoints; the play then keeps them.
    ASSERT_EQ(korvanti_player_seek_frame(player.get(), 5), KORVANTI_OK);
    ASSERT_EQ(render_frames(player.get(), frames - 5).size(), static_cast<size_t>(2 * (frames - 5)));
    const Checkpoints& checkpoints = player_of(player.get())->checkpoints;
    EXPECT_LE(checkpoints.count, CHECKPOINT_COUNT);
    EXPECT_GE(checkpoints.count, CHECKPOINT_COUNT / 2);
    EXPECT_GT(checkpoints.spacing, FIRST_CHECKPOINT_SPACING);
    std::mt19937 random(2);
    for (int k = 0; k < 60; ++k) {
        const int64_t target = static_cast<int64_t>(random() % static_cast<uint32_t>(frames - 2000));
        SCOPED_TRACE(target);
        ASSERT_EQ(korvanti_player_seek_frame(player.get(), target), KORVANTI_OK);
        const std::vector<int16_t> got = render_frames(player.get(), 2000);
        const std::vector<int16_t> want = slice(whole, target, 2000);
        ASSERT_TRUE(got == want) << "differs from frame " << target + first_difference(got, want);
    }
}

// Live, a seek refills the ring from the block that holds the target: the
// ring and its snapshots are what a render from the start holds there, and
// the device starts on it at once.
TEST(Seek, LiveRefillsTheRingFromTheTarget) {
    constexpr int32_t RATE = 44100;
    constexpr int32_t BLOCK = 884;
    SongPtr song(load_song_from_module(winding_module()));
    ASSERT_NE(song, nullptr);
    PlayerPtr reference = offline_player(RATE);
    ASSERT_EQ(korvanti_player_start(reference.get(), song.get()), KORVANTI_OK);
    std::vector<int16_t> pcm;
    std::vector<SyncSnapshot> snapshots;
    for (int32_t block = 0; block < 240; ++block) {
        SyncSnapshot snapshot;
        const int16_t* frames = render_next_block(reference.get(), &snapshot);
        ASSERT_NE(frames, nullptr);
        pcm.insert(pcm.end(), frames, frames + BLOCK * 2);
        snapshots.push_back(snapshot);
    }

    PlayerPtr live = virtual_live_player(RATE);
    Player* record = player_of(live.get());
    for (int32_t first : {37, 0, 130, 36}) {
        SCOPED_TRACE(first);
        ASSERT_EQ(korvanti_player_start(live.get(), song.get()), KORVANTI_OK);
        virtual_device_advance(&record->device, 20 * BLOCK * 4);  // heard on a while, never waited for
        ASSERT_EQ(korvanti_player_seek_frame(live.get(), int64_t{first} * BLOCK), KORVANTI_OK);
        int32_t bytes = 0;
        const int16_t* ring = virtual_device_ring(&record->device, &bytes);
        ASSERT_EQ(ring, record->output_ring);
        ASSERT_EQ(bytes, 100 * BLOCK * 4);
        EXPECT_TRUE(std::equal(ring, ring + 100 * BLOCK * 2, pcm.begin() + first * BLOCK * 2));
        for (int32_t slot = 0; slot < 100; ++slot) {
            ASSERT_EQ(std::memcmp(&record->block_ring[slot].snapshot, &snapshots[size_t(first + slot)],
                                  sizeof(SyncSnapshot)),
                      0)
                << "slot " << slot;
        }
        EXPECT_EQ(record->audible_block.load(), 0);
        korvanti_position position;
        ASSERT_EQ(korvanti_player_get_position(live.get(), &position), KORVANTI_OK);
        EXPECT_EQ(position.frame, int64_t{first} * BLOCK);
        ASSERT_EQ(korvanti_player_stop(live.get()), KORVANTI_OK);
    }
}

namespace {

// Eight channels of what makes an unheard voice's way hard to follow: chip
// loops of a few dozen frames (forward, and ping-pong of odd length) crossed
// several times a block, a one-shot sample that runs out, a long loop with
// envelopes, fadeout and auto-vibrato; on them vibrato, slides, arpeggio and
// tone portamento (a new step every tick), volume slides and retriggers (a
// ramp every tick), note cuts and key-offs; some notes held for seconds.
// Three ticks a row at 150 BPM, so
// ticks of 735 frames at 44100 Hz end inside 884-frame blocks.
XmModule restless_module() {
    constexpr uint16_t CHANNELS = 8;
    XmModule module;
    module.channel_count = CHANNELS;
    module.default_tempo = 3;
    module.default_bpm = 150;
    module.song_length = 6;
    module.orders = {0, 1, 2, 3, 4, 5};
    std::vector<int16_t> square;
    for (int k = 0; k < 32; ++k) square.push_back(k < 16 ? 90 : -90);
    XmInstrument chip = instrument_with_sample(make_sample(square, false, 1, 0, 32));
    chip.volume_envelope.points = {{0, 64}, {3, 40}, {9, 52}, {30, 0}};
    chip.volume_envelope.flags = 1;
    std::vector<int16_t> tri;
    for (int k = 0; k < 24; ++k) tri.push_back(static_cast<int16_t>((k < 12 ? k : 24 - k) * 2500 - 15000));
    XmInstrument bounce = instrument_with_sample(make_sample(tri, true, 2, 4, 17));
    std::vector<int16_t> hit;
    uint32_t noise = 7;
    for (int k = 0; k < 3000; ++k) {
        noise = noise * 1103515245u + 12345u;
        hit.push_back(static_cast<int16_t>(static_cast<int32_t>((noise >> 16) % 20001 - 10000) * (3000 - k) / 3000));
    }
    XmInstrument drum = instrument_with_sample(make_sample(hit, true, 0));
    XmInstrument pad = instrument_with_sample(square_sample(50, 40, 9000));
    pad.volume_envelope.points = {{0, 20}, {8, 64}, {16, 48}, {40, 30}};
    pad.volume_envelope.flags = 1 | 2 | 4;
    pad.volume_envelope.sustain_point = 2;
    pad.volume_envelope.loop_start = 1;
    pad.volume_envelope.loop_end = 2;
    pad.panning_envelope.points = {{0, 0}, {10, 64}, {20, 32}};
    pad.panning_envelope.flags = 1;
    pad.fadeout = 900;
    pad.vibrato_type = 0;
    pad.vibrato_sweep = 20;
    pad.vibrato_depth = 9;
    pad.vibrato_rate = 30;
    module.instruments = {chip, bounce, drum, pad};

    const uint8_t effects[][2] = {{0x04, 0x48}, {0x01, 0x06}, {0x02, 0x05}, {0x03, 0x10}, {0x00, 0x37},
                                  {0x0A, 0x04}, {0x0A, 0x30}, {0x0E, 0x93}, {0x0C, 0x28}, {0x0E, 0xC2},
                                  {0x00, 0x00}, {0x00, 0x00}};
    uint32_t seed = 26;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    for (int p = 0; p < 6; ++p) {
        XmPattern pattern = empty_pattern(64, CHANNELS);
        for (uint16_t row = 0; row < 64; ++row) {
            for (uint16_t channel = 0; channel < CHANNELS; ++channel) {
                uint32_t roll = next(100);
                if (roll < 30) continue;
                // Channels 5..7 hold one note a pattern (half a pattern on
                // channel 5), longer than the ring's two seconds: the seek
                // moves them unheard all the way.
                if (channel >= 5) {
                    const uint8_t* effect = effects[next(7)];
                    bool starts = row == 0 || (channel == 5 && row == 32);
                    uint8_t note = starts ? static_cast<uint8_t>(37 + next(36)) : 0;
                    uint8_t instrument = starts ? static_cast<uint8_t>(channel == 5 ? 2 : channel == 6 ? 4 : 1) : 0;
                    set_cell(pattern, CHANNELS, row, channel, note_cell(note, instrument, 0, effect[0], effect[1]));
                    continue;
                }
                const uint8_t* effect = effects[next(12)];
                uint8_t instrument = static_cast<uint8_t>(1 + (channel + next(2)) % 4);
                if (roll < 70) {
                    uint8_t note = static_cast<uint8_t>(25 + next(60));
                    set_cell(pattern, CHANNELS, row, channel, note_cell(note, instrument, 0, effect[0], effect[1]));
                } else if (roll < 75) {
                    set_cell(pattern, CHANNELS, row, channel, note_cell(97, 0));  // key off
                } else {
                    set_cell(pattern, CHANNELS, row, channel, note_cell(0, 0, 0, effect[0], effect[1]));
                }
            }
        }
        module.patterns.push_back(pattern);
    }
    return module;
}

// Where an unheard voice is, or the first field where two differ.
const char* voice_difference(const Voice& a, const Voice& b) {
    if (a.sample != b.sample) return "sample";
    if (a.position_int != b.position_int || a.position_frac != b.position_frac) return "position";
    if (a.direction != b.direction) return "direction";
    if (a.step_int != b.step_int || a.step_frac != b.step_frac) return "step";
    if (a.left_level != b.left_level || a.right_level != b.right_level) return "level";
    if (a.ramp_frames != b.ramp_frames || a.left_ramp_step != b.left_ramp_step ||
        a.right_ramp_step != b.right_ramp_step || a.ramp_left_target != b.ramp_left_target ||
        a.ramp_right_target != b.ramp_right_target) {
        return "ramp";
    }
    if (a.retired != b.retired) return "retired";
    return nullptr;
}

}  // namespace

// A seek passes over most blocks a tick at a time: every voice it leaves
// behind (position, direction, levels and ramp) is where the render from the
// start leaves it, at rates whose ticks and blocks part differently, and
// what follows is the render's sound.
TEST(Seek, LeavesEveryVoiceWhereTheRenderDoes) {
    SongPtr song(load_song_from_module(restless_module()));
    ASSERT_NE(song, nullptr);
    for (int32_t rate : {44100, 22050, 48000}) {
        SCOPED_TRACE(rate);
        PlayerPtr whole_player = offline_player(rate);
        ASSERT_EQ(korvanti_player_start(whole_player.get(), song.get()), KORVANTI_OK);
        const std::vector<int16_t> whole = render_all(whole_player.get());
        const auto length = static_cast<int64_t>(whole.size() / 2);
        const int64_t block_frames = korvanti_player_block_frames(whole_player.get());
        ASSERT_GT(length / block_frames, 3 * 256);  // past several checkpoints' places

        std::mt19937 random(static_cast<uint32_t>(rate));
        std::vector<int64_t> targets = {length - 1, 300 * block_frames, 256 * block_frames - 1};
        for (int k = 0; k < 16; ++k) targets.push_back(static_cast<int64_t>(random() % static_cast<uint32_t>(length)));
        std::sort(targets.begin(), targets.end());

        // The reference renders up to the end of each target's block, as the
        // seek does.
        PlayerPtr reference = offline_player(rate);
        ASSERT_EQ(korvanti_player_start(reference.get(), song.get()), KORVANTI_OK);
        int64_t rendered = 0;
        for (int64_t target : targets) {
            SCOPED_TRACE(target);
            const int64_t block_end = (target / block_frames + 1) * block_frames;
            rendered += static_cast<int64_t>(render_frames(reference.get(), block_end - rendered).size() / 2);
            PlayerPtr player = offline_player(rate);
            ASSERT_EQ(korvanti_player_start(player.get(), song.get()), KORVANTI_OK);
            ASSERT_EQ(korvanti_player_seek_frame(player.get(), target), KORVANTI_OK);
            const Player* sought = player_of(player.get());
            const Player* rendering = player_of(reference.get());
            ASSERT_EQ(sought->next_block, rendering->next_block);
            EXPECT_EQ(sought->play.elapsed_ms, rendering->play.elapsed_ms);
            EXPECT_EQ(sought->play.tick_frames_left, rendering->play.tick_frames_left);
            for (int32_t v = 0; v < MIXED_VOICES; ++v) {
                const char* differs = voice_difference(sought->play.voice_table[v], rendering->play.voice_table[v]);
                EXPECT_EQ(differs, nullptr) << "voice " << v << ": " << differs;
            }
            const std::vector<int16_t> got = render_frames(player.get(), 1500);
            const std::vector<int16_t> want = slice(whole, target, 1500);
            ASSERT_TRUE(got == want) << "differs from frame " << target + first_difference(got, want);
        }
    }
}
