// XM patterns: 9-byte headers and packed cells, unpacked into NoteCells.
#include <cstdlib>

#include "player/module/xm_reader.h"

namespace korvanti {

namespace {

constexpr uint32_t MAX_ROWS = 256;
constexpr int32_t MISSING_PATTERN_ROWS = 64;
constexpr uint8_t NOTE_KEY_OFF_STORED = 97;  // NOTE_KEY_OFF in memory
constexpr uint8_t MAX_INSTRUMENT = 128;
constexpr int64_t PATTERN_HEADER_BYTES = 9;

// A mask byte (bit 7 set) selects which of the five fields follow; otherwise
// the byte is the note and the other four fields follow.
void read_cell(ModuleReader& reader, NoteCell* cell) {
    const uint8_t first = reader_u8(reader);
    if (first & 0x80) {
        if (first & 0x01) cell->note = reader_u8(reader);
        if (first & 0x02) cell->instrument = reader_u8(reader);
        if (first & 0x04) cell->volume = reader_u8(reader);
        if (first & 0x08) cell->effect = reader_u8(reader);
        if (first & 0x10) cell->param = reader_u8(reader);
    } else {
        cell->note = first;
        uint8_t fields[4];
        reader_bytes(reader, fields, 4);
        cell->instrument = fields[0];
        cell->volume = fields[1];
        cell->effect = fields[2];
        cell->param = fields[3];
    }
    if (cell->note == NOTE_KEY_OFF_STORED) cell->note = NOTE_KEY_OFF;
    if (cell->instrument > MAX_INSTRUMENT) cell->instrument = 0;
}

bool allocate_cells(Pattern* pattern, int32_t channel_count) {
    const size_t count = static_cast<size_t>(pattern->row_count) * static_cast<size_t>(channel_count);
    if (count == 0) return true;  // no rows: no cells
    pattern->cells = static_cast<NoteCell*>(std::calloc(count, sizeof(NoteCell)));
    return pattern->cells != nullptr;
}

// Header length and packing type are read and not used; the packed size only
// tells whether any data follows, it never bounds the decoding.
LoadResult read_stored_pattern(Pattern* pattern, int32_t index, int32_t channel_count, ModuleReader& reader) {
    const int64_t start = reader_position(reader);
    uint8_t header[PATTERN_HEADER_BYTES];
    reader_bytes(reader, header, PATTERN_HEADER_BYTES);
    const uint32_t rows = bytes_u16(header + 5);
    const uint32_t packed_size = bytes_u16(header + 7);
    if (rows > MAX_ROWS) return LoadResult::UNSUPPORTED;
    pattern->row_count = static_cast<int32_t>(rows);
    if (!allocate_cells(pattern, channel_count)) return LoadResult::NO_MEMORY;
    if (packed_size != 0) {
        const int32_t cell_count = pattern->row_count * channel_count;
        for (int32_t i = 0; i < cell_count; ++i) read_cell(reader, &pattern->cells[i]);
    }
    if (reader.short_read) {
        // The packed size is known only from a whole header.
        const bool header_whole = start + PATTERN_HEADER_BYTES <= reader.file_size;
        reader_note_cut(reader, ModulePart::PATTERN, index, 0, start,
                        PATTERN_HEADER_BYTES + (header_whole ? packed_size : 0));
    }
    return LoadResult::LOADED;
}

}  // namespace

LoadResult xm_load_patterns(Song* song, ModuleReader& reader, int32_t stored_pattern_count) {
    song->pattern_count =
        stored_pattern_count > song->used_pattern_count ? stored_pattern_count : song->used_pattern_count;
    song->patterns = static_cast<Pattern*>(std::calloc(static_cast<size_t>(song->pattern_count), sizeof(Pattern)));
    if (!song->patterns) return LoadResult::NO_MEMORY;
    for (int32_t p = 0; p < stored_pattern_count; ++p) {
        LoadResult result = read_stored_pattern(&song->patterns[p], p, song->channel_count, reader);
        if (result != LoadResult::LOADED) return result;
    }
    // Patterns the orders name but the file lacks: 64 empty rows.
    for (int32_t p = stored_pattern_count; p < song->used_pattern_count; ++p) {
        song->patterns[p].row_count = MISSING_PATTERN_ROWS;
        if (!allocate_cells(&song->patterns[p], song->channel_count)) return LoadResult::NO_MEMORY;
    }
    return LoadResult::LOADED;
}

}  // namespace korvanti
