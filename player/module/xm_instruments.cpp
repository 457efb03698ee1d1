// XM instrument headers: sample count, keymap, envelopes, auto-vibrato and
// fadeout. The sample headers and data follow in xm_samples.cpp.
#include "player/module/xm_reader.h"

namespace korvanti {

namespace {

constexpr uint32_t MAX_SAMPLES = 16;
constexpr uint8_t MAX_ENVELOPE_POINTS = 12;
constexpr int32_t NAME_BYTES = 22;  // then the type byte, not used
// Size, name, type and sample count: all an instrument without samples needs.
constexpr int64_t EMPTY_INSTRUMENT_BYTES = 29;

// Keymap (96), two envelopes (2 x 48) and the 16 bytes from the volume point
// count to the fadeout, as they lie in the file.
constexpr int32_t KEYMAP_BYTES = 96;
constexpr int32_t ENVELOPE_BYTES = 48;
constexpr int32_t TAIL_BYTES = KEYMAP_BYTES + 2 * ENVELOPE_BYTES + 16;

void unpack_envelope(const uint8_t* bytes, EnvelopePoint* points) {
    for (int32_t k = 0; k < MAX_ENVELOPE_POINTS; ++k) {
        points[k].x = bytes_u16(bytes + 4 * k);
        points[k].y = bytes_u16(bytes + 4 * k + 2);
    }
}

// An envelope needs two points to be an envelope at all; counts beyond the
// 12 stored points are cut to them first.
void fit_envelope(uint8_t* point_count, uint8_t* flags) {
    if (*point_count > MAX_ENVELOPE_POINTS) *point_count = MAX_ENVELOPE_POINTS;
    if (*point_count < 2) *flags = 0;
}

void read_instrument_tail(Instrument* instrument, ModuleReader& reader) {
    uint8_t bytes[TAIL_BYTES];
    reader_bytes(reader, bytes, TAIL_BYTES);
    const uint8_t* at = bytes;
    for (int32_t k = 0; k < KEYMAP_BYTES; ++k) instrument->keymap[k] = *at++;
    unpack_envelope(at, instrument->volume_envelope);
    at += ENVELOPE_BYTES;
    unpack_envelope(at, instrument->panning_envelope);
    at += ENVELOPE_BYTES;
    instrument->volume_point_count = *at++;
    instrument->panning_point_count = *at++;
    instrument->volume_sustain_point = *at++;
    instrument->volume_loop_start = *at++;
    instrument->volume_loop_end = *at++;
    instrument->panning_sustain_point = *at++;
    instrument->panning_loop_start = *at++;
    instrument->panning_loop_end = *at++;
    instrument->volume_envelope_flags = *at++;
    instrument->panning_envelope_flags = *at++;
    instrument->vibrato_type = *at++;
    instrument->vibrato_sweep = *at++;
    instrument->vibrato_depth = *at++;
    instrument->vibrato_rate = *at++;
    instrument->fadeout = static_cast<uint16_t>(bytes_u16(at) * 2);  // kept to 16 bits

    fit_envelope(&instrument->volume_point_count, &instrument->volume_envelope_flags);
    fit_envelope(&instrument->panning_point_count, &instrument->panning_envelope_flags);
}

}  // namespace

LoadResult xm_load_instrument(Song* song, ModuleReader& reader, int32_t instrument_index) {
    Instrument* instrument = &song->instruments[instrument_index];
    const int64_t start = reader_position(reader);
    if (reader_whole_so_far(reader)) reader.short_read = false;
    const uint32_t header_size = reader_u32(reader);
    const int64_t end = start + header_size;  // the sample headers begin here
    reader_bytes(reader, reinterpret_cast<uint8_t*>(instrument->name), NAME_BYTES);
    reader_u8(reader);
    const uint32_t sample_count = reader_u16(reader);
    if (sample_count > MAX_SAMPLES) return LoadResult::UNSUPPORTED;
    instrument->sample_count = static_cast<int32_t>(sample_count);

    if (sample_count == 0) {
        for (const Sample*& slot : instrument->samples) slot = &empty_sample;
        if (reader.short_read) {
            reader_note_cut(reader, ModulePart::INSTRUMENT, instrument_index, 0, start, EMPTY_INSTRUMENT_BYTES);
        }
        // Whole with its first bytes, whatever size it gives: the next part finds the end.
        reader_seek(reader, end);
        if (reader_whole_so_far(reader)) reader.short_read = false;
        return LoadResult::LOADED;
    }
    reader_u32(reader);  // sample header size: every sample header is taken as 40 bytes
    read_instrument_tail(instrument, reader);
    reader_seek(reader, end);
    if (reader.short_read) reader_note_cut(reader, ModulePart::INSTRUMENT, instrument_index, 0, start, header_size);
    return xm_load_samples(song, reader, instrument_index);
}

}  // namespace korvanti
