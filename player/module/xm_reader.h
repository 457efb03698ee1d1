// Shared by the parts of the XM loader: little-endian reads through the file
// callbacks, the note of where a file cut short stops, and the loader's
// parts by part of the file.
//
// Reads past the end of the file deliver nothing; every read here starts from
// a zeroed buffer, so such a read gives 0. Absolute seeks are computed in 64
// bits and kept within the 32-bit positions of the callbacks.
#pragma once

#include <cstdint>

#include "player/module/file_access.h"
#include "player/module/song.h"

namespace korvanti {

// The part of the file a cut falls in, in the order the file holds them.
enum class ModulePart { NONE, HEADER, PATTERN, INSTRUMENT, SAMPLE_HEADER, SAMPLE_DATA };

// The first part of a file cut short that asked for bytes the file lacks.
struct CutShort {
    ModulePart part;       // NONE: every part is whole
    int32_t index;         // pattern, or instrument (from 0)
    int32_t sample;        // sample within the instrument (from 0)
    int64_t bytes_held;    // bytes of that part the file holds
    int64_t bytes_wanted;  // bytes the part needs, as far as known
};

struct ModuleReader {
    FileHandle* file;
    int64_t file_size;  // bytes, measured once before the header is read
    bool short_read;    // a read or seek since it was last cleared wanted bytes past the end
    CutShort cut;
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
// Notes the cut of a part that began at `start` and needs `wanted` bytes,
// unless an earlier part was cut already.
void reader_note_cut(ModuleReader& reader, ModulePart part, int32_t index, int32_t sample, int64_t start,
                     int64_t wanted);
// Whether no part has been found cut yet (later parts need no look).
inline bool reader_whole_so_far(const ModuleReader& reader) { return reader.cut.part == ModulePart::NONE; }

inline uint16_t bytes_u16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

// The stored patterns and the ones the orders name beyond them.
LoadResult xm_load_patterns(Song* song, ModuleReader& reader, int32_t stored_pattern_count);
// Instrument i's header and its samples' headers and data.
LoadResult xm_load_instrument(Song* song, ModuleReader& reader, int32_t instrument_index);
// After the instrument header: the N sample headers, then their data.
LoadResult xm_load_samples(Song* song, ModuleReader& reader, int32_t instrument_index);
// The loader proper, on a fresh zero-filled Song. Leaves what it allocated in
// place on failure; song_load_module cleans up.
LoadResult xm_load(Song* song, FileHandle* file);
// The warning for a file cut short, added to the song's warnings.
void xm_note_damage(Song* song, const ModuleReader& reader);

}  // namespace korvanti
