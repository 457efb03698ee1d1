// The module header, the order table and the packed patterns; the modules
// the loader refuses.
#include <gtest/gtest.h>

#include <cstring>

#include "player/module/song.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

namespace {

// Module header offsets used to patch written files.
constexpr size_t PATTERNS_OFFSET = 60 + 276;

XmModule module_with_raw_patterns(uint16_t channels, const std::vector<std::pair<uint16_t, std::vector<uint8_t>>>& raw) {
    XmModule module;
    module.channel_count = channels;
    for (const auto& [rows, data] : raw) {
        XmPattern pattern;
        pattern.rows = rows;
        pattern.raw_data = data;
        module.patterns.push_back(pattern);
    }
    return module;
}

// An instrument after the patterns, to see that the patterns consumed
// exactly their bytes.
XmInstrument marker_instrument() {
    XmInstrument instrument;
    instrument.fadeout = 0x1234;
    instrument.vibrato_rate = 0x56;
    instrument.samples.push_back(make_sample({1, 2, 3}, false));
    return instrument;
}

void expect_marker_instrument(const Song* song, int index) {
    ASSERT_GT(song->instrument_count, index);
    const Instrument& instrument = song->instruments[index];
    EXPECT_EQ(instrument.fadeout, 0x2468);
    EXPECT_EQ(instrument.vibrato_rate, 0x56);
    ASSERT_EQ(instrument.sample_count, 1);
    ASSERT_EQ(instrument.samples[0]->length, 3u);
    EXPECT_EQ(instrument.samples[0]->data[2], 3 * 256);
}

bool cell_is(const NoteCell& cell, uint8_t note, uint8_t instrument, uint8_t volume, uint8_t effect, uint8_t param) {
    return cell.note == note && cell.instrument == instrument && cell.volume == volume && cell.effect == effect &&
           cell.param == param;
}

bool all_cells_zero(const Pattern& pattern, int channels) {
    for (int i = 0; i < pattern.row_count * channels; ++i)
        if (!cell_is(pattern.cells[i], 0, 0, 0, 0, 0)) return false;
    return true;
}

TEST(XmHeader, IdentificationMustMatchAllSeventeenBytes) {
    const std::vector<uint8_t> good = xm_write(one_channel_module({note_cell(1, 1)}));
    SongRecordPtr song(load_song_from_bytes(good));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->on_tick != nullptr, true);
    EXPECT_EQ(song->initial_global_volume, 64);

    std::vector<uint8_t> no_blank = good;
    no_blank[16] = 'X';
    EXPECT_EQ(load_song_from_bytes(no_blank), nullptr);
    std::vector<uint8_t> lower_case = good;
    lower_case[0] = 'e';
    EXPECT_EQ(load_song_from_bytes(lower_case), nullptr);
    EXPECT_EQ(load_song_from_bytes(std::vector<uint8_t>(good.begin(), good.begin() + 16)), nullptr);
    EXPECT_EQ(load_song_from_bytes({}), nullptr);
    EXPECT_EQ(memory_files_open(), 0);
}

TEST(XmHeader, FieldsAreTakenOverAndTheHeaderSizeIsHonoured) {
    XmModule module = one_channel_module({note_cell(13, 1)});
    module.song_length = 3;
    module.restart_position = 2;
    module.flags = 0;
    module.default_tempo = 3;
    module.default_bpm = 150;
    module.orders = {0, 0, 0};
    module.header_size = 300;  // 24 extra header bytes before the first pattern
    SongRecordPtr song(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->song_length, 3);
    EXPECT_EQ(song->restart_position, 2);
    EXPECT_EQ(song->channel_count, 1);
    EXPECT_EQ(song->flags, 0);
    EXPECT_EQ(song->default_tempo, 3);
    EXPECT_EQ(song->default_bpm, 150);
    EXPECT_EQ(song->instrument_count, 1);
    EXPECT_EQ(song->patterns[0].cells[0].note, 13);
    EXPECT_EQ(song->instruments[0].samples[0]->length, 512u);
}

TEST(XmPatterns, PackedCellForms) {
    // Two channels, three rows: mask with note and instrument; empty mask;
    // unpacked key off; instrument 0x81; full unpacked cell; mask with
    // volume, effect and parameter only.
    const std::vector<uint8_t> data = {0x83, 0x31, 0x02,  0x80,  0x61, 0x00, 0x00, 0x00, 0x00,
                                       0x82, 0x81,        0x05, 0x80, 0x10, 0x0F, 0x06,
                                       0x9C, 0x20, 0x0A, 0x44};
    XmModule module = module_with_raw_patterns(2, {{3, data}});
    module.instruments.push_back(marker_instrument());
    SongRecordPtr song(load_song_record(module));
    ASSERT_NE(song, nullptr);
    const NoteCell* cells = song->patterns[0].cells;
    EXPECT_TRUE(cell_is(cells[0], 0x31, 2, 0, 0, 0));
    EXPECT_TRUE(cell_is(cells[1], 0, 0, 0, 0, 0));
    EXPECT_TRUE(cell_is(cells[2], 255, 0, 0, 0, 0));
    EXPECT_TRUE(cell_is(cells[3], 0, 0, 0, 0, 0));  // instrument above 128 becomes 0
    EXPECT_TRUE(cell_is(cells[4], 5, 128, 0x10, 0x0F, 6));
    EXPECT_TRUE(cell_is(cells[5], 0, 0, 0x20, 0x0A, 0x44));
    expect_marker_instrument(song.get(), 0);
}

TEST(XmPatterns, PackedSizeOnlySaysWhetherDataFollows) {
    // Size 0: no data bytes, all cells empty; the next pattern's header
    // follows directly.
    XmModule module = module_with_raw_patterns(2, {{4, {}}, {1, {0x81, 0x30, 0x81, 0x31}}});
    module.instruments.push_back(marker_instrument());
    SongRecordPtr song(load_song_record(module));
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(song->patterns[0].row_count, 4);
    EXPECT_TRUE(all_cells_zero(song->patterns[0], 2));
    EXPECT_EQ(song->patterns[1].cells[0].note, 0x30);
    EXPECT_EQ(song->patterns[1].cells[1].note, 0x31);
    expect_marker_instrument(song.get(), 0);

    // A size that disagrees with the data neither cuts nor skips the decoding.
    std::vector<uint8_t> bytes = xm_write(module);
    const size_t second_size = PATTERNS_OFFSET + 9 + 7;
    bytes[second_size] = 1;
    bytes[second_size + 1] = 0;
    song.reset(load_song_from_bytes(bytes));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[1].cells[1].note, 0x31);
    expect_marker_instrument(song.get(), 0);
}

TEST(XmPatterns, PatternsTheOrdersNameButTheFileLacks) {
    XmModule module = module_with_raw_patterns(3, {{2, {}}, {2, {}}});
    module.orders = {0, 1, 7};
    module.song_length = 3;
    SongRecordPtr song(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->used_pattern_count, 8);
    ASSERT_EQ(song->pattern_count, 8);
    EXPECT_EQ(song->patterns[1].row_count, 2);
    for (int p = 2; p < 8; ++p) {
        ASSERT_EQ(song->patterns[p].row_count, 64) << "pattern " << p;
        ASSERT_NE(song->patterns[p].cells, nullptr);
        EXPECT_TRUE(all_cells_zero(song->patterns[p], 3)) << "pattern " << p;
    }

    module.song_length = 2;
    song.reset(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->used_pattern_count, 2);
    EXPECT_EQ(song->pattern_count, 2);
}

TEST(XmPatterns, StoredPatternsBeyondTheOrdersAreAllLoaded) {
    XmModule module;
    module.channel_count = 1;
    for (int p = 0; p < 10; ++p) {
        XmPattern pattern = empty_pattern(static_cast<uint16_t>(p + 1), 1);
        set_cell(pattern, 1, static_cast<uint16_t>(p), 0, note_cell(static_cast<uint8_t>(p + 1), 0));
        module.patterns.push_back(pattern);
    }
    module.orders = {3, 0, 2, 1};
    module.song_length = 4;
    SongRecordPtr song(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->used_pattern_count, 4);
    ASSERT_EQ(song->pattern_count, 10);
    for (int p = 0; p < 10; ++p) {
        ASSERT_EQ(song->patterns[p].row_count, p + 1);
        EXPECT_EQ(song->patterns[p].cells[p].note, p + 1);
    }
}

TEST(XmHeader, SongLengthIsKeptWithinTheOrderTable) {
    XmModule module = one_channel_module({note_cell(1, 1)});
    module.orders.assign(256, 0);
    module.orders[0] = 2;
    module.orders[255] = 9;
    module.song_length = 0;  // plays one order
    SongRecordPtr song(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->song_length, 1);
    EXPECT_EQ(song->used_pattern_count, 3);
    EXPECT_EQ(song->pattern_count, 3);

    module.song_length = 300;  // never past the 256 entries
    song.reset(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->song_length, 256);
    EXPECT_EQ(song->used_pattern_count, 10);

    module.song_length = 0x8000;  // negative as a 16-bit signed count
    song.reset(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->song_length, 1);
}

TEST(XmRefusals, ChannelCountOutsideOneToThirtyTwo) {
    for (uint16_t channels : {0, 33, 0xFFFF}) {
        XmModule module = module_with_raw_patterns(channels, {{1, {}}});
        EXPECT_EQ(load_song_record(module), nullptr) << channels << " channels";
    }
    for (uint16_t channels : {1, 32}) {
        XmModule module = module_with_raw_patterns(channels, {{2, {}}});
        SongRecordPtr song(load_song_record(module));
        ASSERT_NE(song, nullptr) << channels << " channels";
        EXPECT_EQ(song->channel_count, channels);
        EXPECT_TRUE(all_cells_zero(song->patterns[0], channels));
    }
    EXPECT_EQ(memory_files_open(), 0);
}

TEST(XmRefusals, CountsBeyondTheFormatsLimits) {
    XmModule module = module_with_raw_patterns(2, {{1, {}}});
    module.pattern_count = 257;
    EXPECT_EQ(load_song_record(module), nullptr);
    module.pattern_count = 256;  // allowed; the missing headers read as empty patterns
    SongRecordPtr song(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->pattern_count, 256);
    song.reset();

    XmModule rows = module_with_raw_patterns(2, {{256, {}}, {257, {}}});
    EXPECT_EQ(load_song_record(rows), nullptr);
    rows.patterns[1].rows = 256;
    song.reset(load_song_record(rows));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[1].row_count, 256);
    song.reset();

    XmModule instruments = module_with_raw_patterns(2, {{1, {}}});
    instruments.instrument_count = 257;
    EXPECT_EQ(load_song_record(instruments), nullptr);
    instruments.instrument_count = 0xFFFF;
    EXPECT_EQ(load_song_record(instruments), nullptr);
    EXPECT_EQ(memory_files_open(), 0);
}

TEST(XmRefusals, SeventeenSamplesFailTheLoadAfterEarlierInstruments) {
    XmModule module = module_with_raw_patterns(2, {{1, {}}});
    module.instruments.push_back(marker_instrument());
    XmInstrument too_many = marker_instrument();
    too_many.sample_count = 17;
    module.instruments.push_back(too_many);
    EXPECT_EQ(load_song_record(module), nullptr);  // nothing leaks (checked by the sanitizer build)
    module.instruments[1].sample_count = 16;
    SongRecordPtr song(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instruments[1].sample_count, 16);
    EXPECT_EQ(memory_files_open(), 0);
}

TEST(XmInstrumentCount, ZeroInstrumentsLoadsThePatternsOnly) {
    XmModule module = module_with_raw_patterns(2, {{1, {0x81, 0x20, 0x80}}});
    SongRecordPtr song(load_song_record(module));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instrument_count, 0);
    EXPECT_EQ(song->patterns[0].cells[0].note, 0x20);
}

}  // namespace
