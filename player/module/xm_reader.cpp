// Little-endian reads through the file callbacks for the XM loader.
#include "player/module/xm_reader.h"

#include <cstring>

namespace korvanti {

namespace {

// Notes a read or seek that reaches past the end.
void note_reach(ModuleReader& reader, int64_t end) {
    if (end > reader.file_size) reader.short_read = true;
}

}  // namespace

void reader_bytes(ModuleReader& reader, uint8_t* destination, int32_t count) {
    std::memset(destination, 0, static_cast<size_t>(count));
    note_reach(reader, reader_position(reader) + count);
    file_read(destination, count, reader.file);
}

uint8_t reader_u8(ModuleReader& reader) {
    uint8_t value = 0;
    reader_bytes(reader, &value, 1);
    return value;
}

uint16_t reader_u16(ModuleReader& reader) {
    uint8_t bytes[2] = {};
    reader_bytes(reader, bytes, 2);
    return bytes_u16(bytes);
}

uint32_t reader_u32(ModuleReader& reader) {
    uint8_t bytes[4] = {};
    reader_bytes(reader, bytes, 4);
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void reader_skip(ModuleReader& reader, int32_t count) {
    note_reach(reader, reader_position(reader) + count);
    file_seek(reader.file, count, 1);
}

void reader_seek(ModuleReader& reader, int64_t position) {
    note_reach(reader, position);
    // Past the 32-bit range is past the end of any file we can read; the
    // callbacks stop a seek at the end.
    if (position > INT32_MAX) position = INT32_MAX;
    if (position < 0) position = 0;
    file_seek(reader.file, static_cast<int32_t>(position), 0);
}

int64_t reader_position(ModuleReader& reader) { return file_tell(reader.file); }

int64_t reader_bytes_left(ModuleReader& reader) {
    const int64_t left = reader.file_size - reader_position(reader);
    return left > 0 ? left : 0;
}

void reader_note_cut(ModuleReader& reader, ModulePart part, int32_t index, int32_t sample, int64_t start,
                     int64_t wanted) {
    if (!reader_whole_so_far(reader)) return;
    reader.cut = CutShort{part, index, sample, reader.file_size > start ? reader.file_size - start : 0, wanted};
}

}  // namespace korvanti
