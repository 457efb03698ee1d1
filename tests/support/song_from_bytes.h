// Loading songs in tests without touching the disk: a module's bytes are
// registered under a name and served by in-memory file callbacks, then loaded
// with song_load. Plus small builders for the tiny modules tests need.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "player/module/song.h"
#include "tools/make_assets/xm_writer.h"

// The name under which load_song_from_bytes registers its bytes.
extern const char* const MEMORY_MODULE_NAME;

// Makes `bytes` the contents of the in-memory file `name` (replacing an
// earlier registration of that name) and installs the in-memory callbacks.
// Reads, seeks and tells follow the MemoryFile rules: reads are cut at the
// end, seeks stop at the end (and at 0).
void register_memory_file(const char* name, const std::vector<uint8_t>& bytes);
void install_memory_file_callbacks();
// Opens on the in-memory file that are still open (a leak check for loaders).
int32_t memory_files_open();

// Registers the bytes, installs the callbacks and calls song_load. Null when
// the load fails.
Song* load_song_from_bytes(const std::vector<uint8_t>& bytes,
                           SampleDataSource sample_data_source = nullptr);
Song* load_song_from_module(const XmModule& module,
                            SampleDataSource sample_data_source = nullptr);

// Releases a Song with song_free when it goes out of scope.
struct SongFree {
    void operator()(Song* song) const { song_free(song); }
};
using SongPtr = std::unique_ptr<Song, SongFree>;

// Builders. Cells are row-major: row r, channel c is cells[r * channels + c].
XmCell note_cell(uint8_t note, uint8_t instrument, uint8_t volume = 0, uint8_t effect = 0,
                 uint8_t param = 0);
// A pattern of `rows` empty rows for `channels` channels.
XmPattern empty_pattern(uint16_t rows, uint16_t channels);
void set_cell(XmPattern& pattern, uint16_t channels, uint16_t row, uint16_t channel, const XmCell& cell);

// A sample of plain values (-128..127 when not sixteen_bit); `loop_type` is
// 0 none, 1 forward, 2 ping-pong; loop positions in frames.
XmSample make_sample(const std::vector<int16_t>& values, bool sixteen_bit = true, uint8_t loop_type = 0,
                     uint32_t loop_start = 0, uint32_t loop_length = 0);
// A 16-bit square wave with a forward loop over all of it: `period` frames
// per cycle, `cycles` cycles, amplitude `amplitude`.
XmSample square_sample(uint32_t period, uint32_t cycles, int16_t amplitude = 16000);
// An instrument whose every note plays its one sample.
XmInstrument instrument_with_sample(const XmSample& sample);

// One pattern of `rows` rows (or as many rows as `rows_of_cells` has rows,
// whichever is greater) at order 0, song length 1, `channels` channels, the
// given instruments, tempo 6, BPM 125, linear frequencies.
XmModule module_with_cells(uint16_t channels, const std::vector<XmCell>& cells, uint16_t rows,
                           const std::vector<XmInstrument>& instruments);
// One channel, one row per cell, one instrument playing a square wave.
XmModule one_channel_module(const std::vector<XmCell>& rows);
