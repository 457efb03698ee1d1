// The records a loaded module lives in, and its load and release.
//
// Glossary. A sample value is one signed 16-bit number; a frame is one sample
// value of a Sample, or one left/right pair of the output. A tick is the
// replay's time step (frames_per_tick output frames); a row lasts speed +
// pattern_delay_ticks ticks; an order position is an index into `orders`.
//
// A Song is the module alone: the loader writes it and nothing changes it
// afterwards, so any number of players may read one Song at once. What a
// play changes (the position, the channels, the finetunes E5x sets) lives
// in the player's PlayState (player/replay/play_state.h).
#pragma once

#include <cstdint>

namespace korvanti {

struct FileHandle;
struct PlayState;

// One cell of a pattern, unpacked.
struct NoteCell {
    uint8_t note;        // NOTE_NONE, 1..96 notes (1 = C-0), NOTE_KEY_OFF
    uint8_t instrument;  // 0 none, 1..128 (values above 128 in the file become 0)
    uint8_t volume;      // volume-column byte, as stored: VolumeColumnCommand in the upper nibble
    uint8_t effect;      // EffectCode, as stored (unknown codes do nothing)
    uint8_t param;       // effect parameter, as stored
};

constexpr uint8_t NOTE_NONE = 0;
constexpr uint8_t NOTE_KEY_OFF = 255;  // stored as 97 in the file

// NoteCell::effect. The letters are the trackers' names for the codes above 9.
enum EffectCode : uint8_t {
    EFFECT_ARPEGGIO = 0x00,                       // 0xy
    EFFECT_PORTAMENTO_UP = 0x01,                  // 1xx
    EFFECT_PORTAMENTO_DOWN = 0x02,                // 2xx
    EFFECT_TONE_PORTAMENTO = 0x03,                // 3xx
    EFFECT_VIBRATO = 0x04,                        // 4xy
    EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE = 0x05,   // 5xy
    EFFECT_VIBRATO_VOLUME_SLIDE = 0x06,           // 6xy
    EFFECT_TREMOLO = 0x07,                        // 7xy
    EFFECT_SET_PANNING = 0x08,                    // 8xx
    EFFECT_SAMPLE_OFFSET = 0x09,                  // 9xx
    EFFECT_VOLUME_SLIDE = 0x0A,                   // Axy
    EFFECT_POSITION_JUMP = 0x0B,                  // Bxx
    EFFECT_SET_VOLUME = 0x0C,                     // Cxx
    EFFECT_PATTERN_BREAK = 0x0D,                  // Dxy
    EFFECT_EXTENDED = 0x0E,                       // Exy: ExtendedEffect x
    EFFECT_SET_SPEED_OR_BPM = 0x0F,               // Fxx: speed below 32, BPM from 32
    EFFECT_SET_GLOBAL_VOLUME = 0x10,              // Gxx
    EFFECT_GLOBAL_VOLUME_SLIDE = 0x11,            // Hxy
    EFFECT_KEY_OFF = 0x14,                        // Kxx
    EFFECT_SET_ENVELOPE_POSITION = 0x15,          // Lxx
    EFFECT_PANNING_SLIDE = 0x19,                  // Pxy
    EFFECT_MULTI_RETRIG = 0x1B,                   // Rxy
    EFFECT_TREMOR = 0x1D,                         // Txy
    EFFECT_EXTRA_FINE_PORTAMENTO = 0x21,          // X1y up, X2y down
};

// The upper nibble x of an Exy parameter.
enum ExtendedEffect : uint8_t {
    EXTENDED_FINE_PORTAMENTO_UP = 0x1,     // E1y
    EXTENDED_FINE_PORTAMENTO_DOWN = 0x2,   // E2y
    EXTENDED_GLISSANDO = 0x3,              // E3y, not supported
    EXTENDED_VIBRATO_WAVEFORM = 0x4,       // E4y
    EXTENDED_SET_FINETUNE = 0x5,           // E5y
    EXTENDED_PATTERN_LOOP = 0x6,           // E6y: y 0 marks the start, else loop y times
    EXTENDED_TREMOLO_WAVEFORM = 0x7,       // E7y
    EXTENDED_SET_PANNING = 0x8,            // E8y
    EXTENDED_RETRIGGER = 0x9,              // E9y
    EXTENDED_FINE_VOLUME_SLIDE_UP = 0xA,   // EAy
    EXTENDED_FINE_VOLUME_SLIDE_DOWN = 0xB, // EBy
    EXTENDED_NOTE_CUT = 0xC,               // ECy
    EXTENDED_NOTE_DELAY = 0xD,             // EDy
    EXTENDED_PATTERN_DELAY = 0xE,          // EEy
};

// A volume-column byte from 0x10 to 0x50 sets the volume 0..64; from 0x60 on
// its upper nibble is a command and its lower one the command's value y.
constexpr uint8_t VOLUME_COLUMN_SET_LOWEST = 0x10;
constexpr uint8_t VOLUME_COLUMN_SET_HIGHEST = 0x50;
enum VolumeColumnCommand : uint8_t {
    VOLUME_COLUMN_SLIDE_DOWN = 0x6,
    VOLUME_COLUMN_SLIDE_UP = 0x7,
    VOLUME_COLUMN_FINE_SLIDE_DOWN = 0x8,
    VOLUME_COLUMN_FINE_SLIDE_UP = 0x9,
    VOLUME_COLUMN_VIBRATO_SPEED = 0xA,
    VOLUME_COLUMN_VIBRATO = 0xB,           // sets the depth and vibrates
    VOLUME_COLUMN_SET_PANNING = 0xC,
    VOLUME_COLUMN_PANNING_SLIDE_LEFT = 0xD,
    VOLUME_COLUMN_PANNING_SLIDE_RIGHT = 0xE,
    VOLUME_COLUMN_TONE_PORTAMENTO = 0xF,
};

struct Pattern {
    int32_t row_count;  // rows, as stored (64 for a pattern the orders name but the file lacks)
    NoteCell* cells;    // row_count * channel_count cells, row-major; null when there are none
};

constexpr uint8_t LOOP_NONE = 1;
constexpr uint8_t LOOP_FORWARD = 2;
constexpr uint8_t LOOP_PINGPONG = 4;

struct Sample {
    int16_t* data;         // length + 8 frames, owned; null when length is 0
    uint32_t length;       // frames
    uint32_t loop_start;   // first frame of the loop
    uint32_t loop_length;  // frames in the loop; loop_start + loop_length <= length
    uint8_t volume;        // default volume, 0..64 in a well-formed file
    int8_t finetune;       // -128..127, 1/128 semitone, as stored; E5x changes the player's copy
    int32_t panning;       // default panning 0..255
    uint8_t bits;          // 16 once loaded
    uint8_t loop_type;     // LOOP_NONE, LOOP_FORWARD or LOOP_PINGPONG
    int8_t relative_note;  // semitones added to the played note
    uint8_t stored_bits;   // 8 or 16: the width of the data in the file
    int32_t number;        // 1..sample_total within its Song; 0 for the shared empty Sample
    uint32_t stored_length_bytes;  // the data's length as the header gives it, before any cut
    char name[22];         // as stored, zero-padded; not zero-terminated when all 22 are used
};

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
    const Sample* samples[16];          // slots from sample_count on: the shared empty Sample
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
    char name[22];     // as stored, zero-padded
};

// The tick routine and the optional start hook, called with the play that
// runs the song.
using SongHook = void (*)(PlayState* play);

// Optional supplier of sample data in place of the file's: writes byte_count
// bytes of plain (not delta-coded) values, signed bytes for bits 8, signed
// 16-bit values in host order for bits 16. Indices count from 0.
using SampleDataSource = void (*)(void* destination, int32_t byte_count, int32_t bits, int32_t instrument_index,
                                  int32_t sample_index);

constexpr int32_t MAX_INSTRUMENTS = 256;
constexpr int32_t MAX_SAMPLE_NUMBER = MAX_INSTRUMENTS * 16;  // Sample::number at most
constexpr int32_t MAX_WARNINGS = 4;
constexpr int32_t WARNING_LENGTH = 400;

struct Song {
    // Module data, written by the loader only.
    Pattern* patterns;        // pattern_count records, owned
    Instrument* instruments;  // instrument_count records, owned

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
    char name[20];            // as stored, zero-padded
    char tracker_name[20];    // as stored, zero-padded
    uint16_t format_version;  // as stored, 0x0104 for 1.04
    int32_t sample_total;     // samples of all instruments, numbered 1..sample_total
    int32_t stored_pattern_count;

    SongHook on_play_start;  // optional; the loader leaves it null
    SongHook on_tick;        // sequencer_tick once song_load has it
    SampleDataSource sample_data_source;  // optional

    // Damage the loader met and played through, one line each for a person.
    int32_t warning_count;
    char warnings[MAX_WARNINGS][WARNING_LENGTH];
};

constexpr uint16_t SONG_LINEAR_FREQUENCIES = 1;

// Shared all-zero records standing for every missing sample or instrument;
// never written.
extern const Sample empty_sample;
extern const Instrument empty_instrument;

// What song_load_module says about a module it could not load.
enum class LoadResult { LOADED, NO_MEMORY, NOT_XM, UNSUPPORTED };

// The module of the open file `file` on a fresh Song; null on failure, with
// the reason in *result. The Song is released with song_release.
Song* song_load_module(FileHandle* file, SampleDataSource sample_data_source, LoadResult* result);
// Releases the Song and all it owns. Null: nothing.
void song_release(Song* song);

}  // namespace korvanti
