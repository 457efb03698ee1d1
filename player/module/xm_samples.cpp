// XM sample headers and sample data: 8- or 16-bit delta-coded values turned
// into plain signed 16-bit frames, with the guard frame at the loop end and
// 8 zero frames of tail, the form the mixer reads directly.
#include <cstdlib>
#include <cstring>

#include "player/module/xm_reader.h"

namespace korvanti {

namespace {

constexpr uint8_t TYPE_FORWARD = 0x01;
constexpr uint8_t TYPE_PINGPONG = 0x02;
constexpr uint8_t TYPE_16_BIT = 0x10;
constexpr int32_t NAME_BYTES = 22;  // after a reserved byte
constexpr int64_t SAMPLE_HEADER_BYTES = 40;
constexpr size_t TAIL_FRAMES = 8;

void make_unlooped(Sample* sample) {
    sample->loop_type = LOOP_NONE;
    sample->loop_start = 0;
    sample->loop_length = sample->length;
}

// Keeps the loop, and so the guard frame at its end, inside the sample: a
// loop reaching past the end is cut there, one starting at or past the end
// is dropped.
void fit_loop(Sample* sample) {
    if (sample->loop_start >= sample->length) {
        make_unlooped(sample);
        return;
    }
    if (uint64_t{sample->loop_start} + sample->loop_length > sample->length)
        sample->loop_length = sample->length - sample->loop_start;
    if (sample->loop_length == 0) make_unlooped(sample);
}

// No more frames than `bytes` bytes of the file can hold.
void limit_frames(Sample* sample, int64_t bytes) {
    const int64_t frames = bytes * 8 / sample->bits;
    if (sample->length > frames) sample->length = static_cast<uint32_t>(frames);
    fit_loop(sample);
}

void read_sample_header(Sample* sample, ModuleReader& reader) {
    uint8_t header[17];
    reader_bytes(reader, header, 17);
    auto u32 = [&](int32_t at) {
        return static_cast<uint32_t>(bytes_u16(header + at)) | static_cast<uint32_t>(bytes_u16(header + at + 2)) << 16;
    };
    sample->length = u32(0);
    sample->stored_length_bytes = sample->length;
    sample->loop_start = u32(4);
    sample->loop_length = u32(8);
    sample->volume = header[12];
    sample->finetune = static_cast<int8_t>(header[13]);

    const uint8_t type = header[14];
    sample->bits = (type & TYPE_16_BIT) ? 16 : 8;
    sample->stored_bits = sample->bits;
    sample->loop_type = LOOP_NONE;
    if (type & TYPE_FORWARD) sample->loop_type = LOOP_FORWARD;
    if (type & TYPE_PINGPONG) sample->loop_type = LOOP_PINGPONG;
    if (sample->loop_type == LOOP_NONE) {
        sample->loop_start = 0;
        sample->loop_length = sample->length;
    }
    if (sample->bits == 16) {  // bytes to frames
        sample->length /= 2;
        sample->loop_start /= 2;
        sample->loop_length /= 2;
    }
    if (sample->loop_length == 0) make_unlooped(sample);

    sample->panning = header[15];
    sample->relative_note = static_cast<int8_t>(header[16]);
    reader_u8(reader);
    reader_bytes(reader, reinterpret_cast<uint8_t*>(sample->name), NAME_BYTES);
    // The data follows the headers: no sample can be longer than the rest of
    // the file, whatever its header claims.
    limit_frames(sample, reader_bytes_left(reader));
}

// Frame k of 8-bit data is byte k in the upper 8 bits; 16-bit data is
// little-endian in the file.
void widen_frames(const uint8_t* bytes, int16_t* frames, uint32_t length, uint8_t bits) {
    for (uint32_t k = 0; k < length; ++k) {
        const uint16_t value = bits == 8 ? static_cast<uint16_t>(bytes[k] << 8) : bytes_u16(bytes + 2 * size_t{k});
        std::memcpy(&frames[k], &value, sizeof value);
    }
}

void undo_delta(int16_t* frames, uint32_t length) {
    uint16_t sum = 0;  // wraps at 16 bits
    for (uint32_t k = 0; k < length; ++k) {
        sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(frames[k]));
        frames[k] = static_cast<int16_t>(sum);
    }
}

// The frame the mixer's interpolation sees after the last one played.
void set_guard_frame(Sample* sample) {
    const uint32_t loop_end = sample->loop_start + sample->loop_length;
    if (sample->loop_type == LOOP_PINGPONG) sample->data[loop_end] = sample->data[loop_end - 1];
    if (sample->loop_type == LOOP_FORWARD) sample->data[loop_end] = sample->data[sample->loop_start];
}

// Reads (or has the song's source supply) one sample's data into 16-bit
// frames with the guard frame and the zero tail.
bool read_sample_data(const Song* song, Sample* sample, ModuleReader& reader, int32_t instrument_index,
                      int32_t sample_index) {
    // A file cut short keeps only the frames it holds.
    limit_frames(sample, reader_bytes_left(reader));
    if (sample->length == 0) return true;
    const int32_t byte_count = static_cast<int32_t>(int64_t{sample->bits} * sample->length / 8);
    const size_t buffer_bytes = 2 * (size_t{sample->length} + TAIL_FRAMES);
    uint8_t* scratch = static_cast<uint8_t*>(std::calloc(buffer_bytes, 1));
    if (!scratch) return false;
    if (song->sample_data_source) {
        song->sample_data_source(scratch, byte_count, sample->bits, instrument_index, sample_index);
        reader_skip(reader, byte_count);
    } else {
        reader_bytes(reader, scratch, byte_count);
    }

    if (sample->bits == 8) {
        sample->data = static_cast<int16_t*>(std::calloc(buffer_bytes, 1));
        if (!sample->data) {
            std::free(scratch);
            return false;
        }
        widen_frames(scratch, sample->data, sample->length, 8);
        std::free(scratch);
        sample->bits = 16;
    } else {
        sample->data = reinterpret_cast<int16_t*>(scratch);
        // A supplier writes plain values in memory order; the file is little-endian.
        if (!song->sample_data_source) widen_frames(scratch, sample->data, sample->length, 16);
    }
    if (!song->sample_data_source) undo_delta(sample->data, sample->length);
    set_guard_frame(sample);
    return true;
}

// The bytes the header says the data takes: whole frames only, an odd byte
// of 16-bit data is not read.
int64_t stored_data_bytes(const Sample* sample) {
    return sample->stored_bits == 16 ? sample->stored_length_bytes / 2 * 2 : sample->stored_length_bytes;
}

}  // namespace

LoadResult xm_load_samples(Song* song, ModuleReader& reader, int32_t instrument_index) {
    Instrument* instrument = &song->instruments[instrument_index];
    Sample* samples[16] = {};
    for (int32_t j = 0; j < instrument->sample_count; ++j) {
        samples[j] = static_cast<Sample*>(std::calloc(1, sizeof(Sample)));
        if (!samples[j]) return LoadResult::NO_MEMORY;
        instrument->samples[j] = samples[j];
        const int64_t start = reader_position(reader);
        read_sample_header(samples[j], reader);
        if (reader.short_read) {
            reader_note_cut(reader, ModulePart::SAMPLE_HEADER, instrument_index, j, start, SAMPLE_HEADER_BYTES);
        }
    }
    for (int32_t j = instrument->sample_count; j < 16; ++j) instrument->samples[j] = &empty_sample;
    // The data of the samples follows their headers, in header order.
    for (int32_t j = 0; j < instrument->sample_count; ++j) {
        Sample* sample = samples[j];
        const int64_t start = reader_position(reader);
        if (start + stored_data_bytes(sample) > reader.file_size) {
            reader_note_cut(reader, ModulePart::SAMPLE_DATA, instrument_index, j, start, stored_data_bytes(sample));
        }
        if (sample->length != 0 && !read_sample_data(song, sample, reader, instrument_index, j)) {
            return LoadResult::NO_MEMORY;
        }
    }
    return LoadResult::LOADED;
}

}  // namespace korvanti
