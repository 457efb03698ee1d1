// Little-endian reads through the file callbacks for the XM loader.
#include "player/module/xm_reader.h"

#include <cstring>

void reader_bytes(ModuleReader& reader, uint8_t* destination, int32_t count) {
    std::memset(destination, 0, static_cast<size_t>(count));
    file_read(destination, count, reader.file);
}

uint8_t reader_u8(ModuleReader& reader) {
    uint8_t value = 0;
    file_read(&value, 1, reader.file);
    return value;
}

uint16_t reader_u16(ModuleReader& reader) {
    uint8_t bytes[2] = {};
    file_read(bytes, 2, reader.file);
    return bytes_u16(bytes);
}

uint32_t reader_u32(ModuleReader& reader) {
    uint8_t bytes[4] = {};
    file_read(bytes, 4, reader.file);
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void reader_skip(ModuleReader& reader, int32_t count) { file_seek(reader.file, count, 1); }

void reader_seek(ModuleReader& reader, int64_t position) {
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
