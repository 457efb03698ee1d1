// musik.xm as the demo uses it: loaded by our loader, rendered by our player.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "asset_files.h"
#include "support/song_from_bytes.h"
#include "tools/make_assets/composition.h"

using namespace korvanti;

namespace {

constexpr int32_t RATE = 44100;
constexpr int END_ORDER = 8;

SongRecordPtr load_music() { return SongRecordPtr(load_song_from_bytes(generated_file("musik.xm").bytes)); }

const Pattern& pattern_at(const Song& song, int order) { return song.patterns[song.orders[order]]; }

bool is_note(uint8_t note) { return note >= 1 && note <= 96; }

TEST(MusicModule, CarriesTheChoreographyOfTheScenes) {
    SongRecordPtr song = load_music();
    ASSERT_NE(song, nullptr);
    ASSERT_GE(song->song_length, END_ORDER + 1);
    EXPECT_EQ(song->flags & SONG_LINEAR_FREQUENCIES, SONG_LINEAR_FREQUENCIES);
    EXPECT_GE(song->default_bpm, 120);
    EXPECT_LE(song->default_bpm, 130);
    ASSERT_GE(song->channel_count, 4);
    // The fog fades back in from row 107 of the odd orders.
    for (int order : {1, 3, 5, 7}) EXPECT_GE(pattern_at(*song, order).row_count, 128) << "order " << order;
    // Every beat of orders 0 to 3 strikes a note on channel index 3.
    for (int order = 0; order <= 3; ++order) {
        const Pattern& pattern = pattern_at(*song, order);
        ASSERT_NE(pattern.cells, nullptr);
        for (int row = 0; row < pattern.row_count; row += MUSIC_ROWS_PER_BEAT) {
            const NoteCell& cell = pattern.cells[row * song->channel_count + 3];
            EXPECT_TRUE(is_note(cell.note)) << "order " << order << " row " << row;
        }
    }
}

void expect_envelope_well_formed(const EnvelopePoint* points, uint8_t count, uint8_t flags, uint8_t sustain,
                                 uint8_t loop_start, uint8_t loop_end, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_LE(count, 12);
    if ((flags & ENVELOPE_ON) == 0) return;
    ASSERT_GE(count, 2);
    for (int i = 0; i < count; ++i) {
        EXPECT_LE(points[i].y, 64) << "point " << i;
        if (i > 0) {
            EXPECT_GT(points[i].x, points[i - 1].x) << "point " << i;
        }
    }
    if (flags & ENVELOPE_SUSTAIN) {
        EXPECT_LT(sustain, count);
    }
    if (flags & ENVELOPE_LOOP) {
        EXPECT_LE(loop_start, loop_end);
        EXPECT_LT(loop_end, count);
    }
}

TEST(MusicModule, InstrumentsSamplesAndCellsAreWellFormed) {
    SongRecordPtr song = load_music();
    ASSERT_NE(song, nullptr);
    ASSERT_GT(song->instrument_count, 0);
    for (int i = 0; i < song->instrument_count; ++i) {
        SCOPED_TRACE("instrument " + std::to_string(i + 1));
        const Instrument& instrument = song->instruments[i];
        ASSERT_GE(instrument.sample_count, 1);
        for (uint8_t slot : instrument.keymap) EXPECT_LT(slot, instrument.sample_count);
        for (int s = 0; s < instrument.sample_count; ++s) {
            const Sample& sample = *instrument.samples[s];
            EXPECT_GT(sample.length, 0u);
            EXPECT_NE(sample.data, nullptr);
            EXPECT_GT(sample.loop_length, 0u);
            EXPECT_LE(uint64_t{sample.loop_start} + sample.loop_length, sample.length);
            EXPECT_LE(sample.volume, 64);
        }
        expect_envelope_well_formed(instrument.volume_envelope, instrument.volume_point_count,
                                    instrument.volume_envelope_flags, instrument.volume_sustain_point,
                                    instrument.volume_loop_start, instrument.volume_loop_end, "volume");
        expect_envelope_well_formed(instrument.panning_envelope, instrument.panning_point_count,
                                    instrument.panning_envelope_flags, instrument.panning_sustain_point,
                                    instrument.panning_loop_start, instrument.panning_loop_end, "panning");
    }
    // Every cell of the song names an instrument that exists and a real note.
    for (int order = 0; order < song->song_length; ++order) {
        const Pattern& pattern = pattern_at(*song, order);
        for (int c = 0; c < pattern.row_count * song->channel_count; ++c) {
            const NoteCell& cell = pattern.cells[c];
            EXPECT_LE(cell.instrument, song->instrument_count) << "order " << order << " cell " << c;
            EXPECT_TRUE(cell.note == 0 || cell.note == 255 || is_note(cell.note)) << "order " << order << " cell " << c;
        }
    }
}

// The instrument kinds a tracker musician would expect of the module: both
// sample widths, both loop kinds, sustained and panning envelopes, auto-vibrato.
TEST(MusicModule, UsesTheRangeOfInstrumentFeatures) {
    XmModule module = compose_music();
    int eight_bit = 0, sixteen_bit = 0, forward = 0, pingpong = 0, sustained = 0, panned = 0, vibrato = 0;
    for (const XmInstrument& instrument : module.instruments) {
        for (const XmSample& sample : instrument.samples) {
            (sample.type & 0x10 ? sixteen_bit : eight_bit) += 1;
            if (sample.type & 2) pingpong += 1;
            else if (sample.type & 1) forward += 1;
        }
        if ((instrument.volume_envelope.flags & 3) == 3 && instrument.fadeout > 0) sustained += 1;
        if (instrument.panning_envelope.flags & 1) panned += 1;
        if (instrument.vibrato_depth > 0) vibrato += 1;
    }
    EXPECT_GT(eight_bit, 0);
    EXPECT_GT(sixteen_bit, 0);
    EXPECT_GT(forward, 0);
    EXPECT_GT(pingpong, 0);
    EXPECT_GT(sustained, 0);
    EXPECT_GT(panned, 0);
    EXPECT_GT(vibrato, 0);
}

struct Render {
    std::vector<korvanti_sync_snapshot> snapshots;  // one per block
    std::vector<int16_t> pcm;             // interleaved stereo, the blocks before order 8
    bool reached_end = false;
};

// Renders block by block, as the device would hear it, until a block ends in
// the end order (that block is not kept) or `limit_seconds` have passed.
Render render_to_end(korvanti_song* song, double limit_seconds) {
    Render render;
    PlayerPtr player = offline_player(RATE);
    if (song == nullptr || !player) return render;
    korvanti_player_set_passes(player.get(), 0);
    if (korvanti_player_start(player.get(), song) != KORVANTI_OK) return render;
    const int32_t block_frames = korvanti_player_block_frames(player.get());
    const int64_t limit = static_cast<int64_t>(limit_seconds * RATE / block_frames);
    std::vector<int16_t> pcm(size_t(2 * block_frames));
    for (int64_t block = 0; block < limit; ++block) {
        korvanti_sync_snapshot snapshot;
        if (korvanti_player_render(player.get(), pcm.data(), block_frames) != block_frames ||
            korvanti_player_get_snapshot(player.get(), block, &snapshot) != KORVANTI_OK) {
            break;
        }
        if (snapshot.order == END_ORDER) {
            render.reached_end = true;
            break;
        }
        render.snapshots.push_back(snapshot);
        render.pcm.insert(render.pcm.end(), pcm.begin(), pcm.end());
    }
    return render;
}

double rms(const std::vector<int16_t>& pcm, size_t first, size_t last) {
    double sum = 0;
    for (size_t i = first; i < last; ++i) sum += double(pcm[i]) * pcm[i];
    return last > first ? std::sqrt(sum / double(last - first)) : 0.0;
}

TEST(MusicRender, PlaysTwoMinutesOfUnclippedMusicWithKicksOnChannelThree) {
    SongPtr song(load_song_handle(generated_file("musik.xm").bytes));
    ASSERT_NE(song, nullptr);
    Render render = render_to_end(song.get(), 300.0);
    ASSERT_TRUE(render.reached_end) << "order 8 never heard";
    const double seconds = double(render.pcm.size() / 2) / RATE;
    EXPECT_GE(seconds, 90.0);
    EXPECT_LE(seconds, 150.0);

    size_t clipped = 0;
    for (int16_t value : render.pcm) clipped += (value >= 32767 || value <= -32768) ? 1 : 0;
    EXPECT_EQ(clipped, 0u);
    const double overall = rms(render.pcm, 0, render.pcm.size());
    EXPECT_GT(overall, 2000.0);  // about -24 dBFS
    EXPECT_LT(overall, 12000.0);

    // Every order is heard and none is silent; the sections' sample ranges
    // come from the snapshots, one block each.
    const size_t block_values = render.pcm.size() / render.snapshots.size();
    for (int order = 0; order < END_ORDER; ++order) {
        size_t first = render.snapshots.size(), last = 0;
        for (size_t b = 0; b < render.snapshots.size(); ++b)
            if (render.snapshots[b].order == order) first = std::min(first, b), last = b + 1;
        ASSERT_LT(first, last) << "order " << order << " never heard";
        EXPECT_GT(rms(render.pcm, first * block_values, last * block_values), 800.0) << "order " << order;
    }

    // The cube grids kick on every beat of orders 0 to 3: some block of each
    // beat row reports a note on channel index 3.
    for (int order = 0; order <= 3; ++order)
        for (int row = 0; row < MUSIC_SECTION_ROWS; row += MUSIC_ROWS_PER_BEAT) {
            bool kicked = false;
            for (const korvanti_sync_snapshot& snapshot : render.snapshots)
                kicked = kicked || (snapshot.order == order && snapshot.row == row && snapshot.channel_notes[3] == 1);
            EXPECT_TRUE(kicked) << "order " << order << " row " << row;
        }

    // A musical end: the last half second before order 8 has faded out.
    const size_t half_second = RATE;  // values: two per frame
    ASSERT_GT(render.pcm.size(), half_second);
    EXPECT_LT(rms(render.pcm, render.pcm.size() - half_second, render.pcm.size()), overall / 10);
}

}  // namespace
