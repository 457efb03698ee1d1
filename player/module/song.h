// The records a loaded module lives in, and its load and release.
//
// Glossary. A sample value is one signed 16-bit number; a frame is one sample
// value of a Sample, or one left/right pair of the output. A tick is the
// replay's time step (frames_per_tick output frames); a row lasts speed +
// pattern_delay_ticks ticks; an order position is an index into `orders`.
#pragma once

#include <cstdint>

struct FileHandle;

// One cell of a pattern, unpacked.
struct NoteCell {
    uint8_t note;        // 0 none, 1..96 notes (1 = C-0), 255 key off (97 in the file)
    uint8_t instrument;  // 0 none, 1..128 (values above 128 in the file become 0)
    uint8_t volume;      // volume-column byte, as stored
    uint8_t effect;      // effect type, as stored
    uint8_t param;       // effect parameter, as stored
};

struct Pattern {
    int32_t row_count;  // rows, as stored (64 for a pattern the orders name but the file lacks)
    NoteCell* cells;    // row_count * channel_count cells, row-major; null when there are none
};

struct Sample {
    int16_t* data;         // length + 8 frames, owned; null when length is 0
    uint32_t length;       // frames
    uint32_t loop_start;   // first frame of the loop
    uint32_t loop_length;  // frames in the loop; loop_start + loop_length <= length
    uint8_t volume;        // default volume, 0..64 in a well-formed file
    int8_t finetune;       // -128..127, 1/128 semitone; effect E5 may change it during play
    int32_t panning;       // default panning 0..255
    uint8_t bits;          // 16 once loaded
    uint8_t loop_type;     // LOOP_NONE, LOOP_FORWARD or LOOP_PINGPONG
    int8_t relative_note;  // semitones added to the played note
};

constexpr uint8_t LOOP_NONE = 1;
constexpr uint8_t LOOP_FORWARD = 2;
constexpr uint8_t LOOP_PINGPONG = 4;

// Envelope flag bits.
constexpr uint8_t ENVELOPE_ON = 1;
constexpr uint8_t ENVELOPE_SUSTAIN = 2;
constexpr uint8_t ENVELOPE_LOOP = 4;

struct EnvelopePoint {
    uint16_t x;  // tick position
    uint16_t y;  // value, 0..64
};

struct Instrument {
    int32_t sample_count;               // 0..16
    Sample* samples[16];                // slots from sample_count on: the shared empty Sample
    uint8_t keymap[96];                 // sample slot per note; 16 or more selects the empty Sample
    EnvelopePoint volume_envelope[12];  // as stored
    EnvelopePoint panning_envelope[12];
    uint8_t volume_point_count;  // points in use, at most 12
    uint8_t panning_point_count;
    uint8_t volume_sustain_point;  // point indices, as stored
    uint8_t volume_loop_start;
    uint8_t volume_loop_end;
    uint8_t panning_sustain_point;
    uint8_t panning_loop_start;
    uint8_t panning_loop_end;
    uint8_t volume_envelope_flags;   // ENVELOPE_* bits; 0 whenever fewer than 2 points
    uint8_t panning_envelope_flags;  // ENVELOPE_* bits; 0 whenever fewer than 2 points
    uint8_t vibrato_type;            // auto-vibrato waveform 0..3 (others add nothing)
    uint8_t vibrato_sweep;
    uint8_t vibrato_depth;
    uint8_t vibrato_rate;
    uint16_t fadeout;  // twice the file's value, kept to 16 bits
};

struct Song;
using SongHook = void (*)(Song* song);
// Writes byte_count bytes of plain (not delta-coded) sample values.
using SampleDataSource = void (*)(void* destination, int32_t byte_count, int32_t bits,
                                  int32_t instrument_index, int32_t sample_index);

struct Song {
    // Module data, written by the loader only.
    Pattern* patterns;        // pattern_count records, owned
    Instrument* instruments;  // instrument_count records, owned

    // Playback: the tick clock.
    int32_t tick_frames_left;  // output frames left in the current tick
    int32_t frames_per_tick;   // output frames per tick at the current tempo, > 0 during play

    // Module data.
    int16_t song_length;       // leading entries of `orders` that make up the song, 1..256
    int16_t restart_position;  // order index after the last of the song_length entries
    int16_t channel_count;     // 1..32
    int32_t used_pattern_count;  // 1 + highest pattern number in the first song_length orders
    int32_t pattern_count;       // max(stored patterns, used_pattern_count)
    int16_t instrument_count;
    uint16_t flags;  // bit 0: linear frequency table, else Amiga
    int16_t default_tempo;
    int16_t default_bpm;
    uint8_t orders[256];
    uint8_t initial_global_volume;  // always 64

    // Playback position, from least to most granular and what moves it.
    int32_t global_volume;        // 0..64
    uint8_t global_volume_slide;  // memory of effect H, one for the song
    int32_t tick;                 // tick within the row, 0 = the row's first tick
    int32_t speed;                // ticks per row
    int32_t bpm;                  // as last given to set_tempo
    int32_t row;
    int32_t order;
    int32_t pattern_delay_ticks;  // extra ticks of the current row (EE)
    int32_t next_row;             // -1: none pending
    int32_t next_order;           // -1: none pending
    int32_t elapsed_ms;           // audio rendered, written by the output stream only
    int32_t channel_notes[32];    // 1 when the current row gave the channel a note

    SongHook on_play_start;  // optional; the loader leaves it null
    SongHook on_tick;        // sequencer_tick once loaded
    SampleDataSource sample_data_source;  // optional
};

constexpr uint16_t SONG_LINEAR_FREQUENCIES = 1;

// Shared all-zero records standing for every missing sample or instrument.
extern Sample empty_sample;
extern Instrument empty_instrument;

// Null when the file cannot be opened or is refused. The caller owns the Song
// and releases it with song_free.
Song* song_load(const char* file_name, SampleDataSource sample_data_source);
// Stops the output stream first; false for a null song.
bool song_free(Song* song);
// The loader proper, on a fresh zero-filled Song. Leaves the file open and
// what it allocated in place on failure; song_load cleans up.
bool xm_load(Song* song, FileHandle* file);
