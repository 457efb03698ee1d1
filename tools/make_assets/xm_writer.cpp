// XM writer: the module header, packed patterns, instrument and sample
// headers and delta-coded sample data, all little-endian.
//
// Every header is first built at its natural size and then cut or zero-padded
// to the size its size field claims, so an overridden size field describes
// the bytes that really follow it, as a reader that seeks by that field sees
// them.
#include "tools/make_assets/xm_writer.h"

#include <algorithm>
#include <cstdio>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t INSTRUMENT_SIZE_WITHOUT_SAMPLES = 29;
constexpr uint32_t INSTRUMENT_SIZE_WITH_SAMPLES = 263;
constexpr uint32_t SAMPLE_HEADER_SIZE = 40;
constexpr uint8_t SAMPLE_16_BIT = 0x10;

void put_u8(Bytes& out, uint8_t value) { out.push_back(value); }

void put_u16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put_u32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// A text field of exactly `size` bytes, cut or padded with zeros.
void put_text(Bytes& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

void put_bytes(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

void write_module_header(Bytes& out, const XmModule& module) {
    put_text(out, "Extended Module: ", 17);
    put_text(out, module.name, 20);
    put_u8(out, 0x1A);
    put_text(out, module.tracker, 20);
    put_u16(out, 0x0104);
    put_u32(out, module.header_size);
    put_u16(out, module.song_length);
    put_u16(out, module.restart_position);
    put_u16(out, module.channel_count);
    put_u16(out, module.pattern_count.value_or(static_cast<uint16_t>(module.patterns.size())));
    put_u16(out, module.instrument_count.value_or(static_cast<uint16_t>(module.instruments.size())));
    put_u16(out, module.flags);
    put_u16(out, module.default_tempo);
    put_u16(out, module.default_bpm);
    for (size_t i = 0; i < 256; ++i) put_u8(out, i < module.orders.size() ? module.orders[i] : 0);
    // The header size counts from offset 60, where its own field begins.
    out.resize(60 + static_cast<size_t>(module.header_size), 0);
}

// One cell: the mask form when it is shorter than the full five bytes, or
// when the note has bit 7 set and would be taken for a mask.
void pack_cell(Bytes& out, const XmCell& cell) {
    const uint8_t fields[5] = {cell.note, cell.instrument, cell.volume, cell.effect, cell.param};
    uint8_t mask = 0x80;
    int present = 0;
    for (int i = 0; i < 5; ++i) {
        if (fields[i] != 0) {
            mask = static_cast<uint8_t>(mask | (1 << i));
            ++present;
        }
    }
    if (present + 1 < 5 || (cell.note & 0x80) != 0) {
        put_u8(out, mask);
        for (int i = 0; i < 5; ++i)
            if (fields[i] != 0) put_u8(out, fields[i]);
        return;
    }
    for (uint8_t field : fields) put_u8(out, field);
}

void write_pattern(Bytes& out, const XmPattern& pattern, uint16_t channel_count) {
    Bytes packed;
    if (pattern.raw_data) {
        packed = *pattern.raw_data;
    } else {
        const size_t cell_count = static_cast<size_t>(pattern.rows) * channel_count;
        const XmCell empty{};
        for (size_t i = 0; i < cell_count; ++i)
            pack_cell(packed, i < pattern.cells.size() ? pattern.cells[i] : empty);
    }
    put_u32(out, 9);  // pattern header length
    put_u8(out, 0);   // packing type
    put_u16(out, pattern.rows);
    // A reader decodes by the row count, not the size; keep an oversized
    // pattern's size field non-zero so it is not read as empty.
    put_u16(out, static_cast<uint16_t>(std::min<size_t>(packed.size(), 0xFFFF)));
    put_bytes(out, packed);
}

uint32_t sample_width(const XmSample& sample) { return (sample.type & SAMPLE_16_BIT) ? 2 : 1; }

void write_envelope_points(Bytes& out, const XmEnvelope& envelope) {
    for (size_t i = 0; i < 12; ++i) {
        const bool present = i < envelope.points.size();
        put_u16(out, present ? envelope.points[i][0] : 0);
        put_u16(out, present ? envelope.points[i][1] : 0);
    }
}

uint8_t envelope_point_count(const XmEnvelope& envelope) {
    return envelope.point_count.value_or(static_cast<uint8_t>(std::min<size_t>(envelope.points.size(), 12)));
}

void write_instrument_tail(Bytes& out, const XmInstrument& instrument) {
    put_u32(out, SAMPLE_HEADER_SIZE);
    for (uint8_t slot : instrument.keymap) put_u8(out, slot);
    write_envelope_points(out, instrument.volume_envelope);
    write_envelope_points(out, instrument.panning_envelope);
    const XmEnvelope& volume = instrument.volume_envelope;
    const XmEnvelope& panning = instrument.panning_envelope;
    put_u8(out, envelope_point_count(volume));
    put_u8(out, envelope_point_count(panning));
    put_u8(out, volume.sustain_point);
    put_u8(out, volume.loop_start);
    put_u8(out, volume.loop_end);
    put_u8(out, panning.sustain_point);
    put_u8(out, panning.loop_start);
    put_u8(out, panning.loop_end);
    put_u8(out, volume.flags);
    put_u8(out, panning.flags);
    put_u8(out, instrument.vibrato_type);
    put_u8(out, instrument.vibrato_sweep);
    put_u8(out, instrument.vibrato_depth);
    put_u8(out, instrument.vibrato_rate);
    put_u16(out, instrument.fadeout);
    out.resize(out.size() + 22, 0);  // reserved
}

void write_sample_header(Bytes& out, const XmSample& sample) {
    const uint32_t width = sample_width(sample);
    put_u32(out, sample.length_bytes.value_or(static_cast<uint32_t>(sample.values.size()) * width));
    put_u32(out, sample.loop_start_bytes.value_or(sample.loop_start * width));
    put_u32(out, sample.loop_length_bytes.value_or(sample.loop_length * width));
    put_u8(out, sample.volume);
    put_u8(out, static_cast<uint8_t>(sample.finetune));
    put_u8(out, sample.type);
    put_u8(out, sample.panning);
    put_u8(out, static_cast<uint8_t>(sample.relative_note));
    put_u8(out, 0);  // reserved
    put_text(out, sample.name, 22);
}

// Each stored value is the difference from the one before, starting from 0,
// in the stored width (wrapping).
void write_sample_data(Bytes& out, const XmSample& sample) {
    if (sample.raw_data) {
        put_bytes(out, *sample.raw_data);
        return;
    }
    const bool wide = sample_width(sample) == 2;
    int32_t previous = 0;
    for (int16_t value : sample.values) {
        const uint16_t delta = static_cast<uint16_t>(value - previous);
        if (wide)
            put_u16(out, delta);
        else
            put_u8(out, static_cast<uint8_t>(delta & 0xFF));
        previous = value;
    }
}

void write_instrument(Bytes& out, const XmInstrument& instrument) {
    const uint16_t sample_count =
        instrument.sample_count.value_or(static_cast<uint16_t>(instrument.samples.size()));
    const bool has_tail = sample_count != 0 || !instrument.samples.empty();
    const uint32_t header_size = instrument.header_size.value_or(
        has_tail ? INSTRUMENT_SIZE_WITH_SAMPLES : INSTRUMENT_SIZE_WITHOUT_SAMPLES);

    Bytes header;
    put_u32(header, header_size);
    put_text(header, instrument.name, 22);
    put_u8(header, 0);  // instrument type
    put_u16(header, sample_count);
    if (has_tail) write_instrument_tail(header, instrument);
    header.resize(header_size, 0);
    put_bytes(out, header);

    for (const XmSample& sample : instrument.samples) write_sample_header(out, sample);
    for (const XmSample& sample : instrument.samples) write_sample_data(out, sample);
}

}  // namespace

std::vector<uint8_t> xm_write(const XmModule& module) {
    Bytes out;
    write_module_header(out, module);
    for (const XmPattern& pattern : module.patterns) write_pattern(out, pattern, module.channel_count);
    for (const XmInstrument& instrument : module.instruments) write_instrument(out, instrument);
    return out;
}

bool xm_write_file(const XmModule& module, const std::string& path) {
    const Bytes bytes = xm_write(module);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
