// The XM file walked part by part the way the player's loader reads it
// (patterns decoded cell by cell, instruments found through their header
// sizes, sample data after each instrument's sample headers), to find where
// a file cut short stops. The loader reads zeros past the end and says
// nothing; this walk notes the first part that asked for bytes the file does
// not have. Instruments count from 1 and samples within one from 0, as
// trackers show them.
#include <cstdio>

#include "tools/xmplay/xmplay.h"

namespace {

constexpr int64_t HEADER_SIZE_OFFSET = 60;
constexpr int64_t HEADER_END = 336;     // the order table's end
constexpr int64_t PATTERN_HEADER_BYTES = 9;
constexpr int64_t INSTRUMENT_NAME_OFFSET = 4;
constexpr int64_t EMPTY_INSTRUMENT_BYTES = 29;  // size, name, type, sample count
constexpr int64_t INSTRUMENT_TAIL_BYTES = 4 + 96 + 2 * 48 + 16;
constexpr int64_t SAMPLE_HEADER_BYTES = 40;
constexpr uint8_t TYPE_16_BIT = 0x10;

// A read position kept within the file as the player's file callbacks keep
// it; `short_read` records that a read or seek wanted more than was there.
struct Walk {
    const std::string* bytes;
    int64_t size;
    int64_t position;
    bool short_read;
};

void walk_seek(Walk* walk, int64_t position) {
    if (position > walk->size) walk->short_read = true;
    walk->position = position < 0 ? 0 : position > walk->size ? walk->size : position;
}

// `count` bytes at the position; zeros for the part past the end.
uint32_t walk_read(Walk* walk, int32_t count) {
    uint32_t value = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (walk->position + i >= walk->size) {
            walk->short_read = true;
            continue;
        }
        auto byte = static_cast<uint8_t>((*walk->bytes)[static_cast<size_t>(walk->position + i)]);
        if (i < 4) value |= static_cast<uint32_t>(byte) << (8 * i);
    }
    walk_seek(walk, walk->position + count);
    return value;
}

// A fixed-width text field, without the padding, non-printing bytes as '?'.
std::string text_at(const std::string& bytes, int64_t offset, int64_t length) {
    std::string text;
    for (int64_t i = 0; i < length && offset + i < static_cast<int64_t>(bytes.size()); ++i) {
        char c = bytes[static_cast<size_t>(offset + i)];
        if (c == '\0') break;
        text.push_back(static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126 ? '?' : c);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

void mark_cut(ModuleLayout* layout, ModulePart part, int32_t index, int32_t sample, int64_t start, int64_t wanted) {
    layout->cut_part = part;
    layout->cut_index = index;
    layout->cut_sample = sample;
    layout->cut_bytes_held = layout->file_size > start ? layout->file_size - start : 0;
    layout->cut_bytes_wanted = wanted;
}

// Cells as the loader decodes them: a mask byte and the fields it selects,
// or a note byte and four fields.
void walk_pattern(Walk* walk, int32_t channels) {
    walk_read(walk, 5);
    uint32_t rows = walk_read(walk, 2);
    uint32_t packed_size = walk_read(walk, 2);
    if (packed_size == 0) return;
    int64_t cells = static_cast<int64_t>(rows) * channels;
    for (int64_t i = 0; i < cells && !walk->short_read; ++i) {
        uint32_t first = walk_read(walk, 1);
        if ((first & 0x80) == 0) {
            walk_read(walk, 4);
            continue;
        }
        for (uint32_t bit = 1; bit <= 0x10; bit <<= 1)
            if (first & bit) walk_read(walk, 1);
    }
}

// The sample headers of one instrument, then their data; false once cut.
bool walk_samples(Walk* walk, ModuleLayout* layout, int32_t index) {
    InstrumentFacts& instrument = layout->instruments[static_cast<size_t>(index)];
    for (int32_t j = 0; j < instrument.sample_count; ++j) {
        int64_t start = walk->position;
        SampleFacts& sample = instrument.samples[j];
        sample.length_bytes = walk_read(walk, 4);
        walk_read(walk, 10);
        sample.type = static_cast<uint8_t>(walk_read(walk, 1));
        walk_read(walk, 25);
        if (walk->short_read) {
            mark_cut(layout, ModulePart::SAMPLE_HEADER, index, j, start, SAMPLE_HEADER_BYTES);
            return false;
        }
    }
    for (int32_t j = 0; j < instrument.sample_count; ++j) {
        const SampleFacts& sample = instrument.samples[j];
        // Whole frames only: an odd byte of 16-bit data is not read.
        int64_t wanted = (sample.type & TYPE_16_BIT) ? sample.length_bytes / 2 * 2 : sample.length_bytes;
        int64_t start = walk->position;
        if (start + wanted > walk->size) {
            mark_cut(layout, ModulePart::SAMPLE_DATA, index, j, start, wanted);
            return false;
        }
        walk_seek(walk, start + wanted);
    }
    return true;
}

// One instrument header and its samples; false once cut.
bool walk_instrument(Walk* walk, ModuleLayout* layout, int32_t index) {
    InstrumentFacts& instrument = layout->instruments[static_cast<size_t>(index)];
    int64_t start = walk->position;
    int64_t header_size = walk_read(walk, 4);
    instrument.name = text_at(*walk->bytes, start + INSTRUMENT_NAME_OFFSET, 22);
    walk_read(walk, 23);
    uint32_t samples = walk_read(walk, 2);
    instrument.sample_count = samples > 16 ? 16 : static_cast<int32_t>(samples);
    // An instrument without samples is whole with its first 29 bytes, whatever size it gives.
    if (samples != 0) {
        walk_read(walk, INSTRUMENT_TAIL_BYTES);
        walk_seek(walk, start + header_size);
    }
    if (walk->short_read) {
        mark_cut(layout, ModulePart::INSTRUMENT, index, 0, start, samples != 0 ? header_size : EMPTY_INSTRUMENT_BYTES);
        return false;
    }
    if (samples == 0) {
        walk_seek(walk, start + header_size);
        walk->short_read = false;  // the next instrument, if any, finds the end
        return true;
    }
    return walk_samples(walk, layout, index);
}

std::string plural(int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "patterns 3-7", "pattern 3", or empty, counted from `first` to `last`.
std::string span(const char* one, const char* many, int64_t first, int64_t last) {
    if (first > last) return "";
    if (first == last) return std::string(one) + " " + std::to_string(first);
    return std::string(many) + " " + std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

ModuleLayout read_module_layout(const std::string& bytes) {
    ModuleLayout layout{};
    layout.file_size = static_cast<int64_t>(bytes.size());
    Walk walk{&bytes, layout.file_size, HEADER_SIZE_OFFSET, false};
    int64_t header_size = walk_read(&walk, 4);
    walk_read(&walk, 4);
    int32_t channels = static_cast<int32_t>(walk_read(&walk, 2));
    layout.stored_patterns = static_cast<int32_t>(walk_read(&walk, 2));
    layout.instrument_count = static_cast<int32_t>(walk_read(&walk, 2));
    walk_seek(&walk, HEADER_END);
    walk_seek(&walk, HEADER_SIZE_OFFSET + header_size);
    layout.instruments.resize(static_cast<size_t>(layout.instrument_count));
    bool anything_after = layout.stored_patterns > 0 || layout.instrument_count > 0;
    if (walk.short_read && anything_after) {
        mark_cut(&layout, ModulePart::HEADER, 0, 0, 0, HEADER_SIZE_OFFSET + header_size);
        return layout;
    }
    walk.short_read = false;
    for (int32_t p = 0; p < layout.stored_patterns; ++p) {
        int64_t start = walk.position;
        walk_pattern(&walk, channels);
        if (walk.short_read) {
            int64_t packed_size = start + PATTERN_HEADER_BYTES <= layout.file_size
                                      ? static_cast<uint8_t>(bytes[static_cast<size_t>(start + 7)]) |
                                            static_cast<uint8_t>(bytes[static_cast<size_t>(start + 8)]) << 8
                                      : 0;
            mark_cut(&layout, ModulePart::PATTERN, p, 0, start, PATTERN_HEADER_BYTES + packed_size);
            return layout;
        }
    }
    for (int32_t i = 0; i < layout.instrument_count; ++i)
        if (!walk_instrument(&walk, &layout, i)) break;
    return layout;
}

std::string describe_missing(const ModuleLayout& layout) {
    std::string text;
    int64_t next_pattern = layout.stored_patterns;  // the first pattern missing whole
    int64_t next_instrument = 0;                    // the first instrument missing whole, from 0
    switch (layout.cut_part) {
        case ModulePart::NONE: return "";
        case ModulePart::HEADER:
            text = "part of the module header";
            next_pattern = 0;
            break;
        case ModulePart::PATTERN:
            text = "the end of pattern " + std::to_string(layout.cut_index);
            next_pattern = layout.cut_index + 1;
            break;
        case ModulePart::INSTRUMENT:
            text = "the end of instrument " + std::to_string(layout.cut_index + 1) + "'s header";
            next_instrument = layout.cut_index + 1;
            break;
        case ModulePart::SAMPLE_HEADER:
        case ModulePart::SAMPLE_DATA: {
            const InstrumentFacts& instrument = layout.instruments[static_cast<size_t>(layout.cut_index)];
            std::string sample = "sample " + std::to_string(layout.cut_sample) + " of instrument " +
                                 std::to_string(layout.cut_index + 1);
            if (!instrument.name.empty()) sample += " (\"" + instrument.name + "\")";
            text = layout.cut_part == ModulePart::SAMPLE_HEADER
                       ? "the header of " + sample
                       : plural(layout.cut_bytes_wanted - layout.cut_bytes_held, "byte", "bytes") + " of the " +
                             std::to_string(layout.cut_bytes_wanted) + " of " + sample;
            next_instrument = layout.cut_index + 1;
            break;
        }
    }
    std::string patterns = span("pattern", "patterns", next_pattern, layout.stored_patterns - 1);
    std::string instruments = next_instrument == 0 && layout.instrument_count > 1
                                  ? "all " + plural(layout.instrument_count, "instrument", "instruments")
                                  : span("instrument", "instruments", next_instrument + 1, layout.instrument_count);
    for (const std::string& piece : {patterns, instruments}) {
        if (!piece.empty()) text += ", " + piece;
    }
    return text;
}
