// Shared by the parts of the XM loader: little-endian reads through the file
// callbacks, and the loader's parts by part of the file.
//
// Reads past the end of the file deliver nothing; every read here starts from
// a zeroed buffer, so such a read gives 0. Absolute seeks are computed in 64
// bits and kept within the 32-bit positions of the callbacks.
#pragma once

#include <cstdint>

#include "player/module/file_access.h"
#include "player/module/song.h"

struct ModuleReader {
    FileHandle* file;
    int64_t file_size;  // bytes, measured once before the header is read
};

// `count` bytes into `destination`, zero where the file has none.
void reader_bytes(ModuleReader& reader, uint8_t* destination, int32_t count);
uint8_t reader_u8(ModuleReader& reader);
uint16_t reader_u16(ModuleReader& reader);
uint32_t reader_u32(ModuleReader& reader);
void reader_skip(ModuleReader& reader, int32_t count);
void reader_seek(ModuleReader& reader, int64_t position);
int64_t reader_position(ModuleReader& reader);
// Bytes from the current position to the end of the file, 0 or more.
int64_t reader_bytes_left(ModuleReader& reader);

inline uint16_t bytes_u16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

// The stored patterns and the ones the orders name beyond them.
bool xm_load_patterns(Song* song, ModuleReader& reader, int32_t stored_pattern_count);
// Instrument i's header and its samples' headers and data.
bool xm_load_instrument(Song* song, ModuleReader& reader, int32_t instrument_index);
// After the instrument header: the N sample headers, then their data.
bool xm_load_samples(Song* song, ModuleReader& reader, int32_t instrument_index);
