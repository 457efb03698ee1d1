// Loading and releasing a Song: the module header and the order of the
// file's parts. Patterns, instruments and samples have their own files.
//
// The file is read front to back in one pass. What a crafted or cut file could
// make us allocate is bounded here and in the parts: at most 32 channels, 256
// stored patterns of at most 256 rows, 256 instruments, and no more sample
// frames than the file holds. A file cut short loads with zeros for what it
// lacks; the first part it cuts is noted for the song's warning.
#include <cstdlib>
#include <cstring>
#include <new>

#include "player/module/xm_reader.h"

namespace korvanti {

const Sample empty_sample = {};
const Instrument empty_instrument = {};

namespace {

constexpr int32_t MAX_CHANNELS = 32;         // the replay's channel table
constexpr uint32_t MAX_STORED_PATTERNS = 256;
constexpr int16_t MAX_SONG_LENGTH = 256;     // entries of the order table

const char IDENTIFICATION[] = "Extended Module: ";
constexpr int32_t IDENTIFICATION_LENGTH = 17;
constexpr int32_t HEADER_SIZE_OFFSET = 60;

// One more than the highest pattern number among the played orders.
int32_t used_patterns(const Song* song) {
    int32_t used = 0;
    for (int32_t i = 0; i < song->song_length; ++i)
        if (song->orders[i] >= used) used = song->orders[i] + 1;
    return used;
}

// Offsets 17..59, right after the identification: the module name, a byte
// 0x1A, the tracker's name and the format version, kept for the player's
// users (the replay needs none of them).
void read_names(Song* song, ModuleReader& reader) {
    reader_bytes(reader, reinterpret_cast<uint8_t*>(song->name), sizeof song->name);
    reader_u8(reader);
    reader_bytes(reader, reinterpret_cast<uint8_t*>(song->tracker_name), sizeof song->tracker_name);
    song->format_version = reader_u16(reader);
}

// Offsets 60..335: header size, counts, flags, tempo and the order table.
// Gives the stored pattern count, or -1 when the module is refused.
int32_t read_module_header(Song* song, ModuleReader& reader, int64_t* patterns_offset) {
    reader_seek(reader, HEADER_SIZE_OFFSET);
    const uint32_t header_size = reader_u32(reader);
    song->song_length = static_cast<int16_t>(reader_u16(reader));
    song->restart_position = static_cast<int16_t>(reader_u16(reader));
    song->channel_count = static_cast<int16_t>(reader_u16(reader));
    const uint32_t stored_patterns = reader_u16(reader);
    const uint32_t instrument_count = reader_u16(reader);
    song->instrument_count = static_cast<int16_t>(instrument_count);
    song->flags = reader_u16(reader);
    song->default_tempo = static_cast<int16_t>(reader_u16(reader));
    song->default_bpm = static_cast<int16_t>(reader_u16(reader));
    reader_bytes(reader, song->orders, sizeof song->orders);
    *patterns_offset = int64_t{HEADER_SIZE_OFFSET} + header_size;

    if (song->channel_count < 1 || song->channel_count > MAX_CHANNELS) return -1;
    if (stored_patterns > MAX_STORED_PATTERNS || instrument_count > static_cast<uint32_t>(MAX_INSTRUMENTS)) {
        return -1;
    }
    // The song plays at least one order and never beyond the table.
    if (song->song_length < 1) song->song_length = 1;
    if (song->song_length > MAX_SONG_LENGTH) song->song_length = MAX_SONG_LENGTH;
    return static_cast<int32_t>(stored_patterns);
}

// Numbers every sample 1..sample_total, in instrument and slot order.
void number_samples(Song* song) {
    int32_t number = 0;
    for (int32_t i = 0; i < song->instrument_count; ++i) {
        Instrument& instrument = song->instruments[i];
        for (int32_t j = 0; j < instrument.sample_count; ++j)
            const_cast<Sample*>(instrument.samples[j])->number = ++number;
    }
    song->sample_total = number;
}

}  // namespace

LoadResult xm_load(Song* song, FileHandle* file) {
    ModuleReader reader = {file, 0, false, {}};
    // The size bounds every sample allocation by what the file can hold.
    file_seek(file, 0, 2);
    reader.file_size = file_tell(file);

    char identification[IDENTIFICATION_LENGTH];
    reader_seek(reader, 0);
    reader_bytes(reader, reinterpret_cast<uint8_t*>(identification), IDENTIFICATION_LENGTH);
    if (std::memcmp(identification, IDENTIFICATION, IDENTIFICATION_LENGTH) != 0) return LoadResult::NOT_XM;

    song->initial_global_volume = 64;
    read_names(song, reader);

    int64_t patterns_offset = 0;
    reader.short_read = false;
    const int32_t stored_patterns = read_module_header(song, reader, &patterns_offset);
    if (stored_patterns < 0) return LoadResult::UNSUPPORTED;
    // Fields of the header the file lacks (counts, flags, tempo, orders) read
    // as 0: the song plays otherwise than written.
    const bool fields_cut = reader.short_read;
    song->stored_pattern_count = stored_patterns;
    reader_seek(reader, patterns_offset);
    // Past its fields, a header cut short only matters when parts should follow it.
    if (fields_cut || (reader.short_read && (stored_patterns > 0 || song->instrument_count > 0))) {
        reader_note_cut(reader, ModulePart::HEADER, 0, 0, 0, patterns_offset);
    }
    reader.short_read = false;

    song->used_pattern_count = used_patterns(song);
    LoadResult result = xm_load_patterns(song, reader, stored_patterns);
    if (result != LoadResult::LOADED) return result;

    if (song->instrument_count >= 1) {
        song->instruments = static_cast<Instrument*>(
            std::calloc(static_cast<size_t>(song->instrument_count), sizeof(Instrument)));
        if (!song->instruments) return LoadResult::NO_MEMORY;
        for (int32_t i = 0; i < song->instrument_count; ++i) {
            result = xm_load_instrument(song, reader, i);
            if (result != LoadResult::LOADED) return result;
        }
    }
    number_samples(song);
    xm_note_damage(song, reader);
    return LoadResult::LOADED;
}

Song* song_load_module(FileHandle* file, SampleDataSource sample_data_source, LoadResult* result) {
    Song* song = static_cast<Song*>(std::calloc(1, sizeof(Song)));
    if (!song) {
        *result = LoadResult::NO_MEMORY;
        return nullptr;
    }
    song->sample_data_source = sample_data_source;
    *result = xm_load(song, file);
    if (*result != LoadResult::LOADED) {
        song_release(song);
        return nullptr;
    }
    return song;
}

void song_release(Song* song) {
    if (!song) return;
    if (song->instruments) {
        for (int32_t i = 0; i < song->instrument_count; ++i) {
            Instrument& instrument = song->instruments[i];
            for (int32_t j = 0; j < instrument.sample_count && j < 16; ++j) {
                const Sample* sample = instrument.samples[j];
                // Slots not yet filled by a failed load are null.
                if (!sample || sample == &empty_sample) continue;
                std::free(sample->data);
                std::free(const_cast<Sample*>(sample));
            }
        }
        std::free(song->instruments);
    }
    if (song->patterns) {
        for (int32_t p = 0; p < song->pattern_count; ++p) std::free(song->patterns[p].cells);
        std::free(song->patterns);
    }
    std::free(song);
}

}  // namespace korvanti
