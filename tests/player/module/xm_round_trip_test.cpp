// Modules built with the writer load into the records they describe, and no
// truncation or mutation of a valid module breaks the records' invariants.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "player/module/song.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

namespace {

// Several patterns of varied density, instruments with 8- and 16-bit samples
// of every loop type, envelopes, and an instrument without samples.
XmModule varied_module() {
    XmModule module;
    module.name = "round trip";
    module.channel_count = 5;
    module.song_length = 5;
    module.restart_position = 1;
    module.orders = {0, 2, 1, 2, 0};
    module.default_tempo = 5;
    module.default_bpm = 140;
    std::mt19937 random(7);
    for (uint16_t rows : {16, 8, 33}) {
        XmPattern pattern = empty_pattern(rows, 5);
        for (XmCell& cell : pattern.cells) {
            if (random() % 3 == 0) continue;
            cell.note = static_cast<uint8_t>(random() % 98);
            cell.instrument = static_cast<uint8_t>(random() % 5);
            if (random() % 2) cell.volume = static_cast<uint8_t>(0x10 + random() % 0x50);
            if (random() % 2) cell.effect = static_cast<uint8_t>(random() % 36);
            if (random() % 2) cell.param = static_cast<uint8_t>(random());
        }
        module.patterns.push_back(pattern);
    }
    auto values = [&](int count, int range) {
        std::vector<int16_t> v;
        for (int i = 0; i < count; ++i) v.push_back(static_cast<int16_t>(static_cast<int>(random() % (2 * range)) - range));
        return v;
    };
    XmInstrument lead;
    lead.name = "lead";
    lead.samples = {make_sample(values(100, 128), false, 1, 20, 60), make_sample(values(64, 32768), true, 2, 8, 40),
                    make_sample(values(33, 32768), true)};
    lead.samples[0].volume = 48;
    lead.samples[0].finetune = -16;
    lead.samples[0].panning = 200;
    lead.samples[0].relative_note = -12;
    lead.samples[1].relative_note = 7;
    for (int k = 0; k < 96; ++k) lead.keymap[k] = static_cast<uint8_t>(k / 32);
    lead.volume_envelope.points = {{0, 0}, {4, 64}, {20, 40}, {60, 0}};
    lead.volume_envelope.flags = 3;
    lead.volume_envelope.sustain_point = 2;
    lead.panning_envelope.points = {{0, 32}, {30, 10}};
    lead.panning_envelope.flags = 5;
    lead.panning_envelope.loop_start = 0;
    lead.panning_envelope.loop_end = 1;
    lead.vibrato_type = 1;
    lead.vibrato_depth = 8;
    lead.fadeout = 0x400;
    XmInstrument silent;
    silent.name = "none";
    XmInstrument drum = instrument_with_sample(make_sample(values(300, 128), false, 2, 100, 150));
    drum.fadeout = 0x7FFF;
    XmInstrument bass = instrument_with_sample(make_sample(values(80, 32768), true, 1, 0, 80));
    module.instruments = {lead, silent, drum, bass};
    return module;
}

void expect_pattern(const XmPattern& stored, uint16_t channels, const Pattern& loaded, int p) {
    ASSERT_EQ(loaded.row_count, stored.rows) << "pattern " << p;
    for (size_t i = 0; i < stored.cells.size(); ++i) {
        const XmCell& in = stored.cells[i];
        const NoteCell& out = loaded.cells[i];
        const uint8_t note = in.note == 97 ? 255 : in.note;
        ASSERT_TRUE(out.note == note && out.instrument == in.instrument && out.volume == in.volume &&
                    out.effect == in.effect && out.param == in.param)
            << "pattern " << p << " row " << i / channels << " channel " << i % channels;
    }
}

void expect_sample(const XmSample& stored, const Sample* loaded) {
    const bool wide = stored.type & 0x10;
    const uint32_t length = static_cast<uint32_t>(stored.values.size());
    ASSERT_EQ(loaded->length, length);
    EXPECT_EQ(loaded->bits, 16);
    EXPECT_EQ(loaded->volume, stored.volume);
    EXPECT_EQ(loaded->finetune, stored.finetune);
    EXPECT_EQ(loaded->panning, stored.panning);
    EXPECT_EQ(loaded->relative_note, stored.relative_note);
    const uint8_t loop = stored.type & 3;
    EXPECT_EQ(loaded->loop_type, loop == 0 ? LOOP_NONE : loop == 1 ? LOOP_FORWARD : LOOP_PINGPONG);
    EXPECT_EQ(loaded->loop_start, loop ? stored.loop_start : 0);
    EXPECT_EQ(loaded->loop_length, loop ? stored.loop_length : length);
    for (uint32_t k = 0; k < length; ++k) {
        const int16_t expected = static_cast<int16_t>(wide ? stored.values[k] : stored.values[k] * 256);
        const uint32_t loop_end = loaded->loop_start + loaded->loop_length;
        if (k == loop_end) continue;  // the guard frame
        ASSERT_EQ(loaded->data[k], expected) << "frame " << k;
    }
}

TEST(XmRoundTrip, WrittenModuleLoadsIntoTheRecordsItDescribes) {
    const XmModule module = varied_module();
    SongRecordPtr song(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->song_length, 5);
    EXPECT_EQ(song->restart_position, 1);
    EXPECT_EQ(song->channel_count, 5);
    EXPECT_EQ(song->used_pattern_count, 3);
    EXPECT_EQ(song->pattern_count, 3);
    EXPECT_EQ(song->instrument_count, 4);
    EXPECT_EQ(song->flags, 1);
    EXPECT_EQ(song->default_tempo, 5);
    EXPECT_EQ(song->default_bpm, 140);
    EXPECT_EQ(std::memcmp(song->orders, module.orders.data(), module.orders.size()), 0);
    for (int p = 0; p < 3; ++p) expect_pattern(module.patterns[p], 5, song->patterns[p], p);

    for (int i = 0; i < 4; ++i) {
        const XmInstrument& stored = module.instruments[i];
        const Instrument& loaded = song->instruments[i];
        ASSERT_EQ(loaded.sample_count, static_cast<int32_t>(stored.samples.size())) << "instrument " << i;
        EXPECT_EQ(loaded.fadeout, static_cast<uint16_t>(stored.fadeout * 2));
        for (size_t j = 0; j < stored.samples.size(); ++j) {
            SCOPED_TRACE("instrument " + std::to_string(i) + " sample " + std::to_string(j));
            expect_sample(stored.samples[j], loaded.samples[j]);
        }
    }
    const Instrument& lead = song->instruments[0];
    EXPECT_EQ(lead.keymap[95], 2);
    EXPECT_EQ(lead.volume_point_count, 4);
    EXPECT_EQ(lead.volume_envelope[3].x, 60);
    EXPECT_EQ(lead.volume_envelope_flags, 3);
    EXPECT_EQ(lead.volume_sustain_point, 2);
    EXPECT_EQ(lead.panning_envelope_flags, 5);
    EXPECT_EQ(lead.panning_loop_end, 1);
    EXPECT_EQ(lead.vibrato_type, 1);
    EXPECT_EQ(lead.vibrato_depth, 8);
}

// What every loaded Song must satisfy, whatever the file held. Reading every
// cell and frame lets the sanitizer build catch any short allocation.
void check_invariants(const Song* song, size_t file_size) {
    ASSERT_GE(song->channel_count, 1);
    ASSERT_LE(song->channel_count, 32);
    ASSERT_GE(song->song_length, 1);
    ASSERT_LE(song->song_length, 256);
    ASSERT_LE(song->pattern_count, 256);
    ASSERT_GE(song->pattern_count, song->used_pattern_count);
    for (int i = 0; i < song->song_length; ++i) { ASSERT_LT(song->orders[i], song->pattern_count); }
    for (int p = 0; p < song->pattern_count; ++p) {
        const Pattern& pattern = song->patterns[p];
        ASSERT_GE(pattern.row_count, 0);
        ASSERT_LE(pattern.row_count, 256);
        const int cells = pattern.row_count * song->channel_count;
        if (cells > 0) { ASSERT_NE(pattern.cells, nullptr); }
        for (int c = 0; c < cells; ++c) {
            ASSERT_LE(pattern.cells[c].instrument, 128);
            ASSERT_NE(pattern.cells[c].note, 97);
        }
    }
    ASSERT_GE(song->instrument_count, 0);
    ASSERT_LE(song->instrument_count, 256);
    uint64_t total_frames = 0;
    for (int i = 0; i < song->instrument_count; ++i) {
        const Instrument& instrument = song->instruments[i];
        ASSERT_GE(instrument.sample_count, 0);
        ASSERT_LE(instrument.sample_count, 16);
        ASSERT_LE(instrument.volume_point_count, 12);
        ASSERT_LE(instrument.panning_point_count, 12);
        if (instrument.volume_point_count < 2) { ASSERT_EQ(instrument.volume_envelope_flags, 0); }
        if (instrument.panning_point_count < 2) { ASSERT_EQ(instrument.panning_envelope_flags, 0); }
        for (int j = instrument.sample_count; j < 16; ++j) { ASSERT_EQ(instrument.samples[j], &empty_sample); }
        for (int j = 0; j < instrument.sample_count; ++j) {
            const Sample* sample = instrument.samples[j];
            ASSERT_NE(sample, nullptr);
            ASSERT_NE(sample, &empty_sample);
            const uint8_t type = sample->loop_type;
            ASSERT_TRUE(type == LOOP_NONE || type == LOOP_FORWARD || type == LOOP_PINGPONG);
            ASSERT_LE(uint64_t{sample->loop_start} + sample->loop_length, sample->length);
            if (type == LOOP_NONE) {
                ASSERT_EQ(sample->loop_start, 0u);
                ASSERT_EQ(sample->loop_length, sample->length);
            } else {
                ASSERT_GT(sample->loop_length, 0u);
            }
            if (sample->length == 0) {
                ASSERT_EQ(sample->data, nullptr);
                continue;
            }
            ASSERT_NE(sample->data, nullptr);
            ASSERT_EQ(sample->bits, 16);
            total_frames += sample->length;
            int64_t sum = 0;
            for (uint32_t k = 0; k < sample->length + 8; ++k) sum += sample->data[k];
            (void)sum;
            const uint32_t end = sample->loop_start + sample->loop_length;
            if (type == LOOP_FORWARD) { ASSERT_EQ(sample->data[end], sample->data[sample->loop_start]); }
            if (type == LOOP_PINGPONG) { ASSERT_EQ(sample->data[end], sample->data[end - 1]); }
            for (uint32_t k = sample->length + (type == LOOP_NONE ? 0 : 1); k < sample->length + 8; ++k)
                ASSERT_EQ(sample->data[k], 0) << "tail frame " << k;
        }
    }
    // Every frame comes from at least one byte of the file.
    ASSERT_LE(total_frames, file_size);
}

void expect_shared_records_untouched() {
    static const Sample zero_sample = {};
    static const Instrument zero_instrument = {};
    ASSERT_EQ(std::memcmp(&empty_sample, &zero_sample, sizeof zero_sample), 0);
    ASSERT_EQ(std::memcmp(&empty_instrument, &zero_instrument, sizeof zero_instrument), 0);
}

TEST(XmRobustness, EveryTruncationLoadsWhatItHolds) {
    const std::vector<uint8_t> bytes = xm_write(varied_module());
    ASSERT_GT(bytes.size(), 3000u);
    size_t loaded = 0;
    for (size_t size = 0; size <= bytes.size(); ++size) {
        const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        SongRecordPtr song(load_song_from_bytes(prefix));
        // Up to the channel count's first byte at offset 68 the module has
        // no channels and is refused; from there on it loads what it holds.
        ASSERT_EQ(song == nullptr, size < 69) << "prefix of " << size << " bytes";
        if (!song) continue;
        ++loaded;
        ASSERT_NO_FATAL_FAILURE(check_invariants(song.get(), size)) << "prefix of " << size << " bytes";
        // What the cut took away is told, once; the whole file tells nothing.
        ASSERT_EQ(song->warning_count, size < bytes.size() ? 1 : 0) << "prefix of " << size << " bytes";
        if (size < bytes.size()) {
            const std::string told = song->warnings[0];
            ASSERT_EQ(told.rfind("cut short after " + std::to_string(size) + " bytes: ", 0), 0u) << told;
            ASSERT_EQ(told.substr(told.size() - 8), " missing") << told;
        }
    }
    EXPECT_EQ(loaded, bytes.size() + 1 - 69);
    ASSERT_NO_FATAL_FAILURE(expect_shared_records_untouched());
}

// Writes every byte it is asked for, so a byte count beyond the buffer shows
// in the sanitizer build.
void filling_source(void* destination, int32_t byte_count, int32_t, int32_t, int32_t) {
    std::memset(destination, 0x5A, static_cast<size_t>(byte_count));
}

TEST(XmRobustness, RandomMutationsNeverBreakTheRecords) {
    const std::vector<uint8_t> bytes = xm_write(varied_module());
    std::mt19937 random(2024);
    int loaded = 0;
    constexpr int MUTANTS = 6000;
    for (int m = 0; m < MUTANTS; ++m) {
        std::vector<uint8_t> mutant = bytes;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int c = 0; c < changes; ++c) {
            // Half the changes hit the module header and the first pattern
            // header, where counts and sizes live.
            const size_t span = random() % 2 ? 400 : mutant.size();
            const size_t at = random() % span;
            const uint32_t kind = random() % 4;
            mutant[at] = kind == 0 ? 0xFF : kind == 1 ? 0 : kind == 2 ? static_cast<uint8_t>(mutant[at] ^ (1u << (random() % 8)))
                                                                       : static_cast<uint8_t>(random());
        }
        if (random() % 4 == 0) mutant.resize(random() % mutant.size());
        SongRecordPtr song(load_song_from_bytes(mutant, m % 3 == 0 ? filling_source : nullptr));
        ASSERT_EQ(memory_files_open(), 0);
        if (!song) continue;
        ++loaded;
        ASSERT_NO_FATAL_FAILURE(check_invariants(song.get(), mutant.size())) << "mutant " << m;
    }
    // The mutations must leave most modules loadable, or the invariants were
    // checked on too few of them.
    EXPECT_GT(loaded, MUTANTS / 2);
    ASSERT_NO_FATAL_FAILURE(expect_shared_records_untouched());
}

}  // namespace
