// Instruments and samples: header fields, loop conversion, delta decoding,
// the guard frame, the sample data source, and what a crafted sample header
// or a file cut short may not do.
#include <gtest/gtest.h>

#include <string>

#include "player/module/song.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

namespace {

XmModule module_with_instruments(const std::vector<XmInstrument>& instruments) {
    XmModule module;
    module.channel_count = 2;
    module.patterns.push_back(empty_pattern(1, 2));
    module.instruments = instruments;
    return module;
}

XmSample raw_sample(const std::vector<uint8_t>& bytes, uint8_t type) {
    XmSample sample;
    sample.type = type;
    sample.raw_data = bytes;
    sample.length_bytes = static_cast<uint32_t>(bytes.size());
    return sample;
}

std::vector<int16_t> frames_of(const Sample* sample, uint32_t count) {
    return std::vector<int16_t>(sample->data, sample->data + count);
}

std::vector<int16_t> ramp(int count, int start, int step) {
    std::vector<int16_t> values;
    for (int i = 0; i < count; ++i) values.push_back(static_cast<int16_t>(start + i * step));
    return values;
}

TEST(XmInstruments, InstrumentWithoutSamplesEndsAtItsHeaderSize) {
    for (uint32_t header_size : {29u, 40u, 100u}) {
        XmInstrument empty;
        empty.header_size = header_size;
        XmInstrument next = instrument_with_sample(make_sample({5, 6}, false));
        next.fadeout = 7;
        SongRecordPtr song(load_song_record(module_with_instruments({empty, next})));
        ASSERT_NE(song, nullptr) << "S = " << header_size;
        const Instrument& first = song->instruments[0];
        EXPECT_EQ(first.sample_count, 0);
        for (const Sample* slot : first.samples) EXPECT_EQ(slot, &empty_sample);
        const Instrument& second = song->instruments[1];
        EXPECT_EQ(second.fadeout, 14) << "S = " << header_size;
        ASSERT_EQ(second.sample_count, 1);
        EXPECT_EQ(frames_of(second.samples[0], 2), (std::vector<int16_t>{5 * 256, 6 * 256}));
    }
}

TEST(XmInstruments, HeaderFieldsEnvelopesAndFadeout) {
    XmInstrument instrument = instrument_with_sample(make_sample({1}, false));
    instrument.samples.push_back(make_sample({2}, false));
    for (int k = 0; k < 96; ++k) instrument.keymap[k] = static_cast<uint8_t>(k % 3 == 0 ? 1 : k % 20);
    instrument.volume_envelope.points = {{0, 64}, {10, 32}, {300, 0}};
    instrument.volume_envelope.sustain_point = 1;
    instrument.volume_envelope.loop_start = 0;
    instrument.volume_envelope.loop_end = 2;
    instrument.volume_envelope.flags = 7;
    instrument.panning_envelope.points = {{4, 20}};
    instrument.panning_envelope.flags = 1;  // one point: no envelope
    instrument.vibrato_type = 2;
    instrument.vibrato_sweep = 3;
    instrument.vibrato_depth = 4;
    instrument.vibrato_rate = 5;
    instrument.fadeout = 0x9000;
    SongRecordPtr song(load_song_record(module_with_instruments({instrument})));
    ASSERT_NE(song, nullptr);
    const Instrument& loaded = song->instruments[0];
    for (int k = 0; k < 96; ++k) EXPECT_EQ(loaded.keymap[k], instrument.keymap[k]) << "note " << k;
    EXPECT_EQ(loaded.volume_point_count, 3);
    EXPECT_EQ(loaded.volume_envelope[2].x, 300);
    EXPECT_EQ(loaded.volume_envelope[1].y, 32);
    EXPECT_EQ(loaded.volume_envelope_flags, 7);
    EXPECT_EQ(loaded.volume_sustain_point, 1);
    EXPECT_EQ(loaded.volume_loop_end, 2);
    EXPECT_EQ(loaded.panning_point_count, 1);
    EXPECT_EQ(loaded.panning_envelope[0].y, 20);
    EXPECT_EQ(loaded.panning_envelope_flags, 0);
    EXPECT_EQ(loaded.vibrato_type, 2);
    EXPECT_EQ(loaded.vibrato_sweep, 3);
    EXPECT_EQ(loaded.vibrato_depth, 4);
    EXPECT_EQ(loaded.vibrato_rate, 5);
    EXPECT_EQ(loaded.fadeout, 0x2000);  // twice 0x9000, kept to 16 bits
    ASSERT_EQ(loaded.sample_count, 2);
    EXPECT_EQ(loaded.samples[1]->data[0], 2 * 256);
    for (int j = 2; j < 16; ++j) EXPECT_EQ(loaded.samples[j], &empty_sample);
}

TEST(XmInstruments, EnvelopePointCountsAreCutToTheTwelveStored) {
    XmInstrument instrument = instrument_with_sample(make_sample({1}, false));
    instrument.volume_envelope.points = {{0, 64}, {5, 0}};
    instrument.volume_envelope.point_count = 200;
    instrument.volume_envelope.flags = 1;
    instrument.panning_envelope.point_count = 13;
    instrument.panning_envelope.flags = 5;
    SongRecordPtr song(load_song_record(module_with_instruments({instrument})));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instruments[0].volume_point_count, 12);
    EXPECT_EQ(song->instruments[0].volume_envelope_flags, 1);
    EXPECT_EQ(song->instruments[0].panning_point_count, 12);
    EXPECT_EQ(song->instruments[0].panning_envelope_flags, 5);
}

TEST(XmSamples, SixteenBitLoopInBytesBecomesFrames) {
    XmSample sample = make_sample(ramp(500, -250, 1), true, 1, 100, 300);
    sample.type = 0x11;
    XmInstrument instrument = instrument_with_sample(sample);
    instrument.samples.push_back(make_sample({7}, false));  // proves 1000 bytes were read
    SongRecordPtr song(load_song_record(module_with_instruments({instrument})));
    ASSERT_NE(song, nullptr);
    const Sample* loaded = song->instruments[0].samples[0];
    EXPECT_EQ(loaded->length, 500u);
    EXPECT_EQ(loaded->loop_start, 100u);
    EXPECT_EQ(loaded->loop_length, 300u);
    EXPECT_EQ(loaded->loop_type, LOOP_FORWARD);
    EXPECT_EQ(loaded->bits, 16);
    EXPECT_EQ(frames_of(loaded, 400), ramp(400, -250, 1));
    EXPECT_EQ(loaded->data[400], loaded->data[100]);  // the guard frame
    EXPECT_EQ(loaded->data[499], 249);
    for (int k = 500; k < 508; ++k) EXPECT_EQ(loaded->data[k], 0) << "tail frame " << k;
    EXPECT_EQ(song->instruments[0].samples[1]->data[0], 7 * 256);
}

TEST(XmSamples, LoopTypes) {
    const std::vector<int16_t> values = ramp(20, 100, 3);
    XmSample both_bits = make_sample(values, true, 3, 4, 10);  // forward and ping-pong bits
    XmSample forward_no_length = make_sample(values, true, 1, 4, 0);
    XmSample unlooped = make_sample(values, false, 0, 4, 10);
    for (int16_t& v : unlooped.values) v = static_cast<int16_t>(v % 128);
    XmInstrument instrument;
    instrument.samples = {both_bits, forward_no_length, unlooped};
    SongRecordPtr song(load_song_record(module_with_instruments({instrument})));
    ASSERT_NE(song, nullptr);
    const Sample* const* samples = song->instruments[0].samples;

    EXPECT_EQ(samples[0]->loop_type, LOOP_PINGPONG);
    EXPECT_EQ(samples[0]->loop_start, 4u);
    EXPECT_EQ(samples[0]->loop_length, 10u);
    EXPECT_EQ(samples[0]->data[14], values[13]);  // copy of the frame before the loop end

    EXPECT_EQ(samples[1]->loop_type, LOOP_NONE);
    EXPECT_EQ(samples[1]->loop_start, 0u);
    EXPECT_EQ(samples[1]->loop_length, 20u);
    EXPECT_EQ(samples[1]->data[19], values[19]);
    EXPECT_EQ(samples[1]->data[20], 0);

    // No loop bit: the loop fields of the header are ignored.
    EXPECT_EQ(samples[2]->loop_type, LOOP_NONE);
    EXPECT_EQ(samples[2]->loop_start, 0u);
    EXPECT_EQ(samples[2]->loop_length, 20u);
    EXPECT_EQ(samples[2]->data[20], 0);
}

TEST(XmSamples, DeltaDecoding) {
    XmInstrument instrument;
    instrument.samples = {raw_sample({0x10, 0xF0, 0x05}, 0x00), raw_sample({0xFF, 0x7F, 0x01, 0x00}, 0x10),
                          make_sample({-128, 127, 0, -1}, false), make_sample({-32768, 32767, 0, -1, 12345}, true)};
    SongRecordPtr song(load_song_record(module_with_instruments({instrument})));
    ASSERT_NE(song, nullptr);
    const Sample* const* samples = song->instruments[0].samples;
    EXPECT_EQ(frames_of(samples[0], 3), (std::vector<int16_t>{0x1000, 0x0000, 0x0500}));
    EXPECT_EQ(samples[0]->bits, 16);
    EXPECT_EQ(frames_of(samples[1], 2), (std::vector<int16_t>{0x7FFF, -0x8000}));
    EXPECT_EQ(frames_of(samples[2], 4), (std::vector<int16_t>{-128 * 256, 127 * 256, 0, -256}));
    EXPECT_EQ(frames_of(samples[3], 5), (std::vector<int16_t>{-32768, 32767, 0, -1, 12345}));
}

TEST(XmSamples, OddSixteenBitLengthDropsItsLastByte) {
    // 5 bytes claimed: 2 frames, 4 bytes read; the next sample's data starts
    // at the fifth byte.
    XmInstrument instrument;
    instrument.samples = {raw_sample({0x01, 0x00, 0x02, 0x00, 0x30}, 0x10), raw_sample({0x01, 0x01}, 0x00)};
    instrument.samples[1].length_bytes = 2;
    SongRecordPtr song(load_song_record(module_with_instruments({instrument})));
    ASSERT_NE(song, nullptr);
    const Sample* const* samples = song->instruments[0].samples;
    EXPECT_EQ(samples[0]->length, 2u);
    EXPECT_EQ(frames_of(samples[0], 3), (std::vector<int16_t>{1, 3, 0}));
    EXPECT_EQ(frames_of(samples[1], 2), (std::vector<int16_t>{0x3000, 0x3100}));
}

// The sample data source: what it is told and what is done with its values.
struct SourceCall {
    int32_t byte_count, bits, instrument_index, sample_index;
};
std::vector<SourceCall> source_calls;

void plain_source(void* destination, int32_t byte_count, int32_t bits, int32_t instrument_index,
                  int32_t sample_index) {
    source_calls.push_back({byte_count, bits, instrument_index, sample_index});
    if (bits == 8) {
        int8_t* bytes = static_cast<int8_t*>(destination);
        for (int32_t k = 0; k < byte_count; ++k) bytes[k] = static_cast<int8_t>(10 * sample_index + k);
    } else {
        int16_t* values = static_cast<int16_t*>(destination);
        for (int32_t k = 0; k < byte_count / 2; ++k) values[k] = static_cast<int16_t>(1000 * instrument_index + k);
    }
}

TEST(XmSamples, SampleDataSourceSuppliesPlainValues) {
    XmInstrument first;
    first.samples = {make_sample({9, 9, 9}, false), make_sample({}, false), make_sample({9, 9}, false)};
    XmInstrument second = instrument_with_sample(make_sample({9, 9, 9, 9}, true, 1, 1, 2));
    XmInstrument third = instrument_with_sample(make_sample({4}, false));
    third.fadeout = 3;
    source_calls.clear();
    SongRecordPtr song(load_song_record(module_with_instruments({first, second, third}), plain_source));
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(source_calls.size(), 4u);  // not for the empty sample
    const SourceCall expected[] = {{3, 8, 0, 0}, {2, 8, 0, 2}, {8, 16, 1, 0}, {1, 8, 2, 0}};
    for (size_t c = 0; c < 4; ++c) {
        EXPECT_EQ(source_calls[c].byte_count, expected[c].byte_count) << "call " << c;
        EXPECT_EQ(source_calls[c].bits, expected[c].bits) << "call " << c;
        EXPECT_EQ(source_calls[c].instrument_index, expected[c].instrument_index) << "call " << c;
        EXPECT_EQ(source_calls[c].sample_index, expected[c].sample_index) << "call " << c;
    }
    // Values stay as written: widened, never delta-decoded.
    EXPECT_EQ(frames_of(song->instruments[0].samples[0], 3), (std::vector<int16_t>{0, 256, 512}));
    EXPECT_EQ(frames_of(song->instruments[0].samples[2], 2), (std::vector<int16_t>{20 * 256, 21 * 256}));
    const Sample* looped = song->instruments[1].samples[0];
    // Loop 1..3: the guard frame 3 copies frame 1 over the supplied 1003.
    EXPECT_EQ(frames_of(looped, 5), (std::vector<int16_t>{1000, 1001, 1002, 1001, 0}));
    // The file position moved past each sample's data: the third instrument is intact.
    EXPECT_EQ(song->instruments[2].fadeout, 6);
    EXPECT_EQ(song->instruments[2].samples[0]->data[0], 0);
}

TEST(XmSamples, LoopsReachingPastTheEndAreCutToTheSample) {
    XmInstrument instrument;
    std::vector<int16_t> values = ramp(50, 1, 1);
    XmSample past_end = make_sample(values, false, 1, 10, 100);
    XmSample starts_after = make_sample(values, false, 2, 60, 5);
    XmSample starts_at_end = make_sample(values, false, 1, 50, 1);
    // 40 + 0xFFFFFFF0 wraps to 24 in 32 bits; the loop must still be cut to 10.
    XmSample wrapping = make_sample(values, false, 1, 40, 0xFFFFFFF0u);
    instrument.samples = {past_end, starts_after, starts_at_end, wrapping};
    SongRecordPtr song(load_song_record(module_with_instruments({instrument})));
    ASSERT_NE(song, nullptr);
    const Sample* const* samples = song->instruments[0].samples;

    EXPECT_EQ(samples[0]->loop_type, LOOP_FORWARD);
    EXPECT_EQ(samples[0]->loop_start, 10u);
    EXPECT_EQ(samples[0]->loop_length, 40u);
    EXPECT_EQ(samples[0]->data[50], samples[0]->data[10]);
    for (int j : {1, 2}) {
        EXPECT_EQ(samples[j]->loop_type, LOOP_NONE) << "sample " << j;
        EXPECT_EQ(samples[j]->loop_start, 0u);
        EXPECT_EQ(samples[j]->loop_length, 50u);
        EXPECT_EQ(samples[j]->data[50], 0);
    }
    EXPECT_EQ(samples[3]->loop_start, 40u);
    EXPECT_EQ(samples[3]->loop_length, 10u);
    EXPECT_EQ(samples[3]->data[50], samples[3]->data[40]);
}

TEST(XmSamples, SampleCutShortKeepsTheFramesTheFileHolds) {
    // A 16-bit sample claiming 1000 bytes with 101 in the file: 50 frames.
    XmSample cut = raw_sample(std::vector<uint8_t>(101, 0), 0x11);
    for (size_t i = 0; i < 101; i += 2) (*cut.raw_data)[i] = 1;
    cut.length_bytes = 1000;
    cut.loop_start_bytes = 20;
    cut.loop_length_bytes = 900;
    std::vector<uint8_t> bytes = xm_write(module_with_instruments({instrument_with_sample(cut)}));
    SongRecordPtr song(load_song_from_bytes(bytes));
    ASSERT_NE(song, nullptr);
    const Sample* sample = song->instruments[0].samples[0];
    EXPECT_EQ(sample->length, 50u);
    EXPECT_EQ(sample->loop_start, 10u);
    EXPECT_EQ(sample->loop_length, 40u);
    EXPECT_EQ(sample->data[49], 50);
    EXPECT_EQ(sample->data[50], sample->data[10]);
    // The loss is told: 899 of the sample's 1000 bytes are not in the file.
    ASSERT_EQ(song->warning_count, 1);
    EXPECT_EQ(std::string(song->warnings[0]),
              "cut short after " + std::to_string(bytes.size()) + " bytes: 899 bytes of the 1000 of sample 0 of "
              "instrument 1 missing");

    // A length near 4 GiB allocates no more than the file holds, with or
    // without a data source, and the source is told the cut byte count.
    XmSample huge = raw_sample({1, 1, 1}, 0x00);
    huge.length_bytes = 0xFFFFFFFF;
    bytes = xm_write(module_with_instruments({instrument_with_sample(huge)}));
    song.reset(load_song_from_bytes(bytes));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->instruments[0].samples[0]->length, 3u);
    EXPECT_EQ(frames_of(song->instruments[0].samples[0], 4), (std::vector<int16_t>{256, 512, 768, 0}));
    source_calls.clear();
    song.reset(load_song_from_bytes(bytes, plain_source));
    ASSERT_NE(song, nullptr);
    ASSERT_EQ(source_calls.size(), 1u);
    EXPECT_EQ(source_calls[0].byte_count, 3);
    EXPECT_EQ(song->instruments[0].samples[0]->length, 3u);
}

}  // namespace
