// Writes the real-song-like bench set: real01.xm .. real24.xm, 60 s to 5 min
// each, made to load the mixer the way modules from real trackers do, which
// the modules of make_bench_modules (long loops, speeds 3 to 8, most
// instruments with steady levels) do not:
//
// - Short loops. A loop point ends a segment, so what counts is the frames
//   between loop points: chip instruments are single cycles of 16 to 512
//   frames looped whole, a quarter of them as ping-pong half cycles; chip
//   songs' noise drums loop 256 to 512 frames.
// - Levels that move every tick. Each change of a voice's level is a ramp:
//   volume envelopes (decays, plucks, sustains, tremolo-like loops on pads)
//   with fade-outs after every key off, panning envelopes on pads and a
//   quarter of the other tones, volume slides on chord stabs and held notes.
//   Songs converted from four-channel trackers have no envelopes: they fade
//   by volume slides.
// - Steps that change every tick: auto-vibrato, vibrato on held lead notes,
//   arpeggio on every row of the arpeggio channels, slides and portamento on
//   bass, lead and counter-melody.
// - Notes struck often: hats and bass every row or every other row, chord
//   stabs every beat, note retrigger (E9x, Rxy) in drum fills; so ramps are
//   many, and so are twin voices left behind at level 0.
// - A few loud channels (the first drums, bass and lead channels: volume
//   44..64) and many quiet ones (echoes of the lead, chords, pads,
//   counter-melodies, hats, further arpeggios: 8..32).
// - Speeds 2 to 6 at 125 to 180 BPM: speed 6 in 9 of the 24 songs, 5 in 3, 4
//   in 5, 3 in 5, 2 in 2; 125 BPM in 13, as trackers start out, the rest up
//   to 180. A tick is 613 to 882 frames at 44100 Hz, and every tick ends a
//   segment of every voice.
// - Three kinds of song: 8 chip songs (8-bit single-cycle instruments only),
//   5 like songs converted from four-channel trackers (8-bit recorded
//   samples, loops of 256 to 1984 frames, one-shot drums), 11 like later
//   trackers' songs (mostly 16-bit, a third of the tones on chip loops, the
//   rest on loops of 1536 to 19392 frames). 4 to 32 channels, 60 s to 5
//   minutes; three songs of 5 minutes with 32 channels, the heaviest a
//   player meets.
//
// Of the 459 instruments: 223 loop 16 to 512 frames, 126 loop longer, 110
// play once; 75 loops are ping-pong; 254 are 8-bit; 299 have a volume
// envelope and a fade-out, 81 a panning envelope, 116 auto-vibrato.
//
// The song's course is plain (orders in sequence, no jumps, no pattern
// loops), so every player agrees on where it ends.
//
// Usage: make_real_song_modules OUT_DIR
// Prints one line per module: its settings and how many instruments have each
// feature. Everything comes from a fixed generator, so the files are the same
// every run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/make_assets/xm_writer.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr uint8_t SAMPLE_FORWARD = 1;
constexpr uint8_t SAMPLE_PINGPONG = 2;
constexpr uint8_t SAMPLE_16_BIT = 0x10;
constexpr uint8_t KEY_OFF = 97;
constexpr uint8_t SET_VOLUME = 0x10;       // volume column 0x10..0x50: volume 0..64
constexpr uint8_t COLUMN_SLIDE_DOWN = 0x60;  // volume column 0x6y: slide down by y a tick
constexpr uint8_t COLUMN_VIBRATO = 0xB0;     // volume column 0xBy: vibrato of depth y
constexpr uint8_t ENVELOPE_ON = 1;
constexpr uint8_t ENVELOPE_SUSTAIN = 2;
constexpr uint8_t ENVELOPE_LOOP = 4;
constexpr int TICKS_PER_BEAT = 24;  // rows per beat = 24 / speed (4 at speed 6, 12 at speed 2)

struct Random {
    uint32_t state;
};

uint32_t next_random(Random* random) {
    random->state = random->state * 1664525u + 1013904223u;
    return random->state >> 8;
}

uint32_t random_below(Random* random, uint32_t n) { return n == 0 ? 0 : next_random(random) % n; }

// True with probability percent / 100.
bool chance(Random* random, uint32_t percent) { return random_below(random, 100) < percent; }

double random_unit(Random* random) { return static_cast<double>(random_below(random, 65536)) / 32768.0 - 1.0; }

enum class Era { CHIP, AMIGA, LATER };

struct SongPlan {
    uint16_t channels;  // 4..32
    uint16_t speed;     // 2..6 ticks per row
    uint16_t bpm;       // 125..180
    int32_t seconds;    // the song lasts at least this long
    Era era;
};

// Channels, speed, BPM, seconds, era.
constexpr SongPlan SONG_PLANS[] = {
    {4, 6, 125, 75, Era::AMIGA},    {4, 3, 150, 90, Era::CHIP},     {4, 6, 125, 150, Era::CHIP},
    {6, 5, 135, 70, Era::CHIP},     {6, 6, 125, 120, Era::AMIGA},   {8, 6, 125, 180, Era::AMIGA},
    {8, 4, 140, 100, Era::CHIP},    {8, 2, 125, 64, Era::CHIP},     {8, 6, 160, 90, Era::LATER},
    {10, 3, 125, 130, Era::CHIP},   {12, 6, 125, 200, Era::LATER},  {12, 4, 150, 80, Era::AMIGA},
    {14, 5, 125, 110, Era::LATER},  {16, 6, 125, 240, Era::LATER},  {16, 3, 170, 60, Era::CHIP},
    {16, 4, 140, 150, Era::LATER},  {18, 5, 125, 90, Era::AMIGA},   {20, 6, 180, 120, Era::LATER},
    {24, 2, 125, 75, Era::CHIP},    {24, 4, 130, 180, Era::LATER},  {28, 3, 145, 100, Era::LATER},
    {32, 6, 125, 300, Era::LATER},  {32, 4, 150, 300, Era::LATER},  {32, 3, 125, 300, Era::LATER},
};

// What a channel plays. Drums (kick and snare on one channel) stands in for
// both in four-channel songs.
enum Role { DRUMS, KICK, SNARE, HATS, BASS, LEAD, ARPEGGIO, ECHO, CHORD, PAD, COUNTER, ROLE_COUNT };

// Channel k of a song of 6 channels or more plays WIDE_ROLES[k % 16]; the
// first six are the loud ones and the rest are quiet.
constexpr Role NARROW_ROLES[4] = {DRUMS, BASS, LEAD, ARPEGGIO};
constexpr Role WIDE_ROLES[16] = {KICK, BASS, LEAD, SNARE, ARPEGGIO, HATS, ECHO, CHORD,
                                 CHORD, PAD, COUNTER, ECHO, CHORD, PAD, HATS, ARPEGGIO};

Role role_of(const SongPlan& plan, int channel) {
    return plan.channels < 6 ? NARROW_ROLES[channel % 4] : WIDE_ROLES[channel % 16];
}

bool loud(Role role) { return role == DRUMS || role == KICK || role == SNARE || role == BASS || role == LEAD; }

// ---------------------------------------------------------------------------
// Samples

// Values in -1..1 to the stored width.
XmSample sample_from(const std::vector<double>& shape, bool eight_bit, double peak) {
    XmSample sample;
    sample.type = eight_bit ? 0 : SAMPLE_16_BIT;
    double full = eight_bit ? 127.0 : 32767.0;
    for (double value : shape) {
        sample.values.push_back(static_cast<int16_t>(std::lround(std::clamp(value * peak, -1.0, 1.0) * full)));
    }
    return sample;
}

void set_loop(XmSample* sample, uint32_t start, uint32_t length, bool pingpong) {
    sample->type = static_cast<uint8_t>(sample->type | (pingpong ? SAMPLE_PINGPONG : SAMPLE_FORWARD));
    sample->loop_start = start;
    sample->loop_length = length;
}

// Semitones that make a cycle of `period` frames sound at the played note's
// pitch (32 frames a cycle: none).
int8_t relative_note_of(uint32_t period) {
    return static_cast<int8_t>(std::lround(12.0 * std::log2(static_cast<double>(period) / 32.0)));
}

enum Wave { SQUARE, PULSE, SAW, TRIANGLE, ORGAN };

double wave_value(Wave wave, double phase) {
    switch (wave) {
        case SQUARE: return phase < 0.5 ? 1.0 : -1.0;
        case PULSE: return phase < 0.25 ? 1.0 : -1.0;
        case SAW: return 2.0 * phase - 1.0;
        case TRIANGLE: return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
        default: return 0.6 * std::sin(2.0 * PI * phase) + 0.3 * std::sin(6.0 * PI * phase);
    }
}

// A chip instrument: one cycle of `period` frames looped whole, or as a
// ping-pong loop over the rising half of a triangle (the reflection makes
// the falling half).
XmSample chip_sample(Wave wave, uint32_t period, bool pingpong, bool eight_bit) {
    uint32_t length = pingpong ? period / 2 : period;
    std::vector<double> shape(length);
    for (uint32_t i = 0; i < length; ++i) {
        shape[i] = pingpong ? 2.0 * i / (length - 1) - 1.0 : wave_value(wave, static_cast<double>(i) / period);
    }
    XmSample sample = sample_from(shape, eight_bit, 0.7);
    set_loop(&sample, 0, length, pingpong);
    sample.relative_note = relative_note_of(period);
    return sample;
}

// Chip noise for drums: a short looped stretch of noise.
XmSample noise_sample(uint32_t length, Random* random) {
    std::vector<double> shape(length);
    for (double& value : shape) value = random_unit(random);
    XmSample sample = sample_from(shape, true, 0.6);
    set_loop(&sample, 0, length, false);
    sample.relative_note = 12;
    return sample;
}

// A recorded drum: a decaying tone or noise burst, played once.
XmSample drum_sample(Role role, bool eight_bit, Random* random) {
    uint32_t length = role == KICK ? 4200 + random_below(random, 2000)
                      : role == SNARE              ? 5000 + random_below(random, 3000)
                                                   : 1200 + random_below(random, 1800);
    std::vector<double> shape(length);
    double phase = 0.0;
    double previous = 0.0;
    for (uint32_t i = 0; i < length; ++i) {
        double t = static_cast<double>(i) / length;
        double decay = std::exp(-5.0 * t);
        double noise = random_unit(random);
        double high = noise - previous;
        previous = noise;
        phase += role == SNARE ? 0.009 : 0.013 * (1.0 - 0.8 * t);
        double tone = std::sin(2.0 * PI * phase);
        shape[i] = role == SNARE ? (0.4 * tone + 0.6 * noise) * decay * decay
                   : role == HATS ? 0.5 * high * decay * decay * decay
                                  : tone * decay;
    }
    XmSample sample = sample_from(shape, eight_bit, 0.9);
    sample.relative_note = 24;
    return sample;
}

// A recorded tone: an attack, then a loop of `loop_length` frames over the
// decayed part, 64 frames a cycle.
XmSample recorded_sample(uint32_t loop_length, bool pingpong, bool eight_bit, Random* random) {
    uint32_t attack = 500 + random_below(random, 3000);
    uint32_t length = attack + loop_length;
    std::vector<double> shape(length);
    double wobble = 0.0;
    for (uint32_t i = 0; i < length; ++i) {
        double phase = static_cast<double>(i % 64) / 64.0;
        wobble += 0.0007 + 0.0001 * random_unit(random);
        double body = std::sin(2.0 * PI * phase) + 0.35 * std::sin(6.0 * PI * phase + wobble) +
                      0.15 * std::sin(10.0 * PI * phase);
        double level = i < attack ? 1.0 - 0.4 * i / attack : 0.6;
        shape[i] = 0.55 * body * level;
    }
    XmSample sample = sample_from(shape, eight_bit, 0.9);
    set_loop(&sample, attack, loop_length, pingpong);
    sample.relative_note = 12;
    return sample;
}

// ---------------------------------------------------------------------------
// Instruments

XmEnvelope envelope(std::vector<std::array<uint16_t, 2>> points, uint8_t flags, uint8_t sustain = 0,
                    uint8_t loop_start = 0, uint8_t loop_end = 0) {
    XmEnvelope result;
    result.points = std::move(points);
    result.flags = flags;
    result.sustain_point = sustain;
    result.loop_start = loop_start;
    result.loop_end = loop_end;
    return result;
}

// Volume envelopes, each moving the level on most ticks while it runs.
XmEnvelope volume_envelope_of(Role role, Random* random) {
    uint16_t stretch = static_cast<uint16_t>(1 + random_below(random, 3));
    switch (role) {
        case DRUMS:
        case KICK:
        case SNARE:
        case HATS:  // a fast decay
            return envelope({{0, 64}, {2, 40}, {static_cast<uint16_t>(6 * stretch), 12}, {24, 0}}, ENVELOPE_ON);
        case CHORD:  // a pluck dying away by itself; the voice then loops on at level 0
            return envelope({{0, 64}, {4, 44}, {static_cast<uint16_t>(20 * stretch), 16}, {96, 0}}, ENVELOPE_ON);
        case PAD:  // slow attack, then a tremolo-like loop that never rests
            return envelope({{0, 0}, {static_cast<uint16_t>(12 * stretch), 48}, {40, 64}, {52, 44}, {64, 64}},
                            ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP, 4, 2, 4);
        default:  // attack, decay, sustain until key off
            return envelope({{0, 16}, {2, 64}, {static_cast<uint16_t>(8 * stretch), 44}, {40, 36}},
                            ENVELOPE_ON | ENVELOPE_SUSTAIN, 3);
    }
}

XmEnvelope panning_envelope_of(Random* random) {
    uint16_t period = static_cast<uint16_t>(16 + random_below(random, 48));
    return envelope({{0, 16}, {period, 48}, {static_cast<uint16_t>(2 * period), 16}}, ENVELOPE_ON | ENVELOPE_LOOP,
                    0, 0, 2);
}

// What the instruments of a song hold, for the report.
struct Features {
    int instruments = 0;
    int short_loops = 0;   // 16..512 frames
    int long_loops = 0;
    int pingpong = 0;
    int one_shots = 0;
    int eight_bit = 0;
    int volume_envelopes = 0;
    int panning_envelopes = 0;
    int fadeouts = 0;
    int auto_vibrato = 0;
};

// The tone sample of an instrument of `role`.
XmSample tone_sample(Role role, Era era, Random* random) {
    bool eight_bit = era != Era::LATER || chance(random, 20);
    bool chip = era == Era::CHIP || (era == Era::LATER && chance(random, 33)) || role == ARPEGGIO;
    if (chip) {
        static const uint32_t periods[] = {16, 32, 32, 64, 64, 128, 256, 512};
        uint32_t period = periods[random_below(random, 8)];
        if (role == BASS) period = std::max<uint32_t>(period, 64);
        bool pingpong = chance(random, 25);
        return chip_sample(static_cast<Wave>(random_below(random, 5)), period, pingpong, eight_bit);
    }
    // Recorded tones: medium loops in the converted songs, long ones later;
    // pads and a few others ping-pong.
    uint32_t cycles = era == Era::AMIGA ? 4 + random_below(random, 28) : 24 + random_below(random, 280);
    bool pingpong = role == PAD || chance(random, 15);
    return recorded_sample(64 * cycles, pingpong, eight_bit, random);
}

XmInstrument song_instrument(Role role, int variant, Era era, Random* random, Features* features) {
    static const char* const names[ROLE_COUNT] = {"drums", "kick", "snare", "hats", "bass", "lead",
                                                  "arpeggio", "echo", "chord", "pad", "counter"};
    XmInstrument instrument;
    instrument.name = std::string(names[role]) + " " + std::to_string(variant + 1);
    bool drum = role == DRUMS || role == KICK || role == SNARE || role == HATS;
    // The drums channel of small songs alternates kick and snare instruments.
    Role sound = role == DRUMS ? (variant % 2 ? SNARE : KICK) : role;
    XmSample sample;
    if (drum && era == Era::CHIP) {
        sample = sound == KICK ? chip_sample(SQUARE, 64, false, true)
                               : noise_sample(256 + 64 * random_below(random, 5), random);
    } else if (drum) {
        sample = drum_sample(sound, era != Era::LATER, random);
    } else {
        sample = tone_sample(role, era, random);
    }
    bool envelopes = era != Era::AMIGA && (!drum || era == Era::CHIP);
    if (envelopes) {
        instrument.volume_envelope = volume_envelope_of(role, random);
        instrument.fadeout = static_cast<uint16_t>(drum ? 2048 : 256 + 128 * random_below(random, 12));
    }
    if (envelopes && (role == PAD || (!drum && chance(random, 25)))) {
        instrument.panning_envelope = panning_envelope_of(random);
    }
    if (!drum && era != Era::AMIGA && (role == PAD || role == LEAD || chance(random, 20))) {
        instrument.vibrato_type = static_cast<uint8_t>(random_below(random, 2));
        instrument.vibrato_sweep = static_cast<uint8_t>(random_below(random, 40));
        instrument.vibrato_depth = static_cast<uint8_t>(2 + random_below(random, 7));
        instrument.vibrato_rate = static_cast<uint8_t>(4 + random_below(random, 16));
    }
    bool looped = (sample.type & (SAMPLE_FORWARD | SAMPLE_PINGPONG)) != 0;
    features->instruments += 1;
    features->short_loops += looped && sample.loop_length <= 512;
    features->long_loops += looped && sample.loop_length > 512;
    features->pingpong += (sample.type & SAMPLE_PINGPONG) != 0;
    features->one_shots += !looped;
    features->eight_bit += (sample.type & SAMPLE_16_BIT) == 0;
    features->volume_envelopes += instrument.volume_envelope.flags != 0;
    features->panning_envelopes += instrument.panning_envelope.flags != 0;
    features->fadeouts += instrument.fadeout != 0;
    features->auto_vibrato += instrument.vibrato_depth != 0;
    instrument.samples.push_back(sample);
    return instrument;
}

// Instruments per role: 1 for echo (it plays the lead's), 2 or 3 for the rest
// (songs change sound between sections). first_instrument[role] is the
// 1-based number of the role's first one.
struct InstrumentBank {
    int first_instrument[ROLE_COUNT] = {};
    int variants[ROLE_COUNT] = {};
};

InstrumentBank make_instruments(const SongPlan& plan, Random* random, XmModule* module, Features* features) {
    InstrumentBank bank;
    bool used[ROLE_COUNT] = {};
    for (int channel = 0; channel < plan.channels; ++channel) used[role_of(plan, channel)] = true;
    for (int role = 0; role < ROLE_COUNT; ++role) {
        if (!used[role] || role == ECHO) continue;
        bank.first_instrument[role] = static_cast<int>(module->instruments.size()) + 1;
        bank.variants[role] = 2 + static_cast<int>(random_below(random, 2));
        for (int k = 0; k < bank.variants[role]; ++k) {
            module->instruments.push_back(
                song_instrument(static_cast<Role>(role), k, plan.era, random, features));
        }
    }
    bank.first_instrument[ECHO] = bank.first_instrument[LEAD];
    bank.variants[ECHO] = bank.variants[LEAD];
    return bank;
}

// ---------------------------------------------------------------------------
// Patterns

constexpr int SCALE[7] = {0, 2, 3, 5, 7, 8, 10};
constexpr int PROGRESSIONS[4][4] = {{0, 5, 2, 6}, {0, 3, 4, 0}, {5, 6, 0, 0}, {3, 4, 5, 4}};

// XM note (1 = C-0) of scale degree `degree` above the key's C in `octave`.
uint8_t scale_note(int key, int octave, int degree) {
    int wrapped = ((degree % 7) + 7) % 7;
    int octaves = (degree - wrapped) / 7;
    return static_cast<uint8_t>(1 + key + 12 * (octave + octaves) + SCALE[wrapped]);
}

// One pattern: four bars of four beats.
struct PatternPlan {
    int key;
    int progression;
    int intensity;      // 0 intro, 1 verse, 2 chorus
    int variant;        // which of a role's instruments plays
    int rows_per_beat;  // 24 / speed
    int rows;
};

int chord_root(const PatternPlan& plan, int row) { return PROGRESSIONS[plan.progression][row * 4 / plan.rows]; }

XmCell note_cell(uint8_t note, int instrument, int volume) {
    XmCell cell;
    cell.note = note;
    cell.instrument = static_cast<uint8_t>(instrument);
    cell.volume = static_cast<uint8_t>(SET_VOLUME + std::clamp(volume, 0, 64));
    return cell;
}

// A key off alone: the volume column stays empty, so the envelope and the
// fade-out take the note down.
XmCell key_off_cell() {
    XmCell cell;
    cell.note = KEY_OFF;
    return cell;
}

XmCell effect_cell(uint8_t effect, uint8_t param) {
    XmCell cell;
    cell.effect = effect;
    cell.param = param;
    return cell;
}

int instrument_for(const InstrumentBank& bank, Role role, const PatternPlan& plan) {
    return bank.first_instrument[role] + plan.variant % std::max(1, bank.variants[role]);
}

XmCell drum_cell(Role role, int row, const PatternPlan& plan, const InstrumentBank& bank, int volume,
                 Random* random) {
    int beat_rows = plan.rows_per_beat;
    bool on_beat = row % beat_rows == 0;
    int beat = row / beat_rows % 4;
    bool fill = row >= plan.rows - beat_rows && plan.intensity > 0;
    int instrument = instrument_for(bank, role, plan);
    switch (role) {
        case DRUMS:
            if (on_beat) {
                bool kick = beat % 2 == 0;
                // Kick and snare share the channel: the role's first instrument is a
                // kick, its second a snare.
                int which = bank.first_instrument[DRUMS] + (kick ? 0 : 1) % std::max(1, bank.variants[DRUMS]);
                return note_cell(kick ? 37 : 49, which, volume);
            }
            break;
        case KICK:
            if (on_beat && (beat % 2 == 0 || plan.intensity == 2)) return note_cell(37, instrument, volume);
            break;
        case SNARE:
            if (fill && row % (beat_rows / 2 > 0 ? beat_rows / 2 : 1) == 0) {
                XmCell cell = note_cell(49, instrument, volume - 8);
                // Retrigger in fills: E9x every 2 or 3 ticks, or Rxy with a fade.
                cell.effect = chance(random, 50) ? 0x0E : 0x1B;
                cell.param = cell.effect == 0x0E ? static_cast<uint8_t>(0x92 + random_below(random, 2)) : 0x82;
                return cell;
            }
            if (on_beat && beat % 2 == 1) return note_cell(49, instrument, volume);
            break;
        default: {  // HATS: every row or every other one, accents on the off-beats
            int every = beat_rows >= 8 ? 2 : 1;
            if (plan.intensity > 0 && row % every == 0) {
                bool accent = row % beat_rows == beat_rows / 2;
                XmCell cell = note_cell(static_cast<uint8_t>(accent ? 61 : 56 + random_below(random, 3)),
                                        instrument, accent ? volume : volume * 2 / 3);
                if (chance(random, 8)) {
                    cell.effect = 0x0E;
                    cell.param = 0x93;
                }
                return cell;
            }
            break;
        }
    }
    return XmCell{};
}

XmCell bass_cell(int row, const PatternPlan& plan, const InstrumentBank& bank, int volume, Random* random) {
    int every = std::max(1, plan.rows_per_beat / (plan.intensity == 2 ? 4 : 2));
    uint8_t root = scale_note(plan.key, 2, chord_root(plan, row));
    if (row % every == 0) {
        XmCell cell = note_cell(static_cast<uint8_t>(row % (2 * every) == every && chance(random, 40) ? root + 12
                                                                                                       : root),
                                instrument_for(bank, BASS, plan), volume);
        if (chance(random, 12)) {  // 3xx: slide into the note
            cell.instrument = 0;
            cell.effect = 0x03;
            cell.param = 0x30;
        }
        return cell;
    }
    if (chance(random, 15)) return effect_cell(chance(random, 50) ? 0x01 : 0x02, 0x06);
    if (row % every == every - 1 && chance(random, 20)) return key_off_cell();
    return XmCell{};
}

// The lead: notes on beats and half beats, held notes with vibrato (the
// step changes every tick), some tone portamento, some fades and key offs.
XmCell lead_cell(int row, const PatternPlan& plan, const InstrumentBank& bank, int volume, Random* random,
                 bool* sounding) {
    if (plan.intensity == 0) return XmCell{};
    int half = std::max(1, plan.rows_per_beat / 2);
    uint32_t roll = random_below(random, 100);
    if (row % half == 0 && roll < 55) {
        int degree = chord_root(plan, row) + static_cast<int>(random_below(random, 5));
        XmCell cell = note_cell(scale_note(plan.key, 4, degree), instrument_for(bank, LEAD, plan),
                                volume - static_cast<int>(random_below(random, 12)));
        if (*sounding && roll < 8) {  // 3xx: glide to the new note
            cell.instrument = 0;
            cell.volume = 0;
            cell.effect = 0x03;
            cell.param = 0x20;
        }
        *sounding = true;
        return cell;
    }
    if (!*sounding) return XmCell{};
    if (roll < 80) return effect_cell(0x04, static_cast<uint8_t>(0x40 + 0x10 * random_below(random, 4) + 2 +
                                                                 random_below(random, 4)));
    if (roll < 86) {
        XmCell cell;
        cell.volume = static_cast<uint8_t>(COLUMN_VIBRATO + 3);
        return cell;
    }
    if (roll < 93) return effect_cell(0x0A, 0x02);
    if (roll < 96) {
        *sounding = false;
        return key_off_cell();
    }
    return XmCell{};
}

// The arpeggio: a note every beat or two, 0xy on every row in between.
XmCell arpeggio_cell(int row, const PatternPlan& plan, const InstrumentBank& bank, int volume) {
    if (plan.intensity == 0) return XmCell{};
    int every = plan.rows_per_beat * (plan.intensity == 2 ? 1 : 2);
    uint8_t param = row / plan.rows_per_beat % 2 ? 0x47 : 0x37;
    if (row % every == 0) {
        XmCell cell = note_cell(scale_note(plan.key, 5, chord_root(plan, row)), instrument_for(bank, ARPEGGIO, plan),
                                volume);
        cell.param = param;
        return cell;
    }
    return effect_cell(0x00, param);
}

// Chord stabs on every beat (every other one in verses), fading out by a
// volume slide.
XmCell chord_cell(int row, const PatternPlan& plan, const InstrumentBank& bank, int voice, int volume) {
    int every = plan.rows_per_beat * (plan.intensity == 2 ? 1 : 2);
    if (row % every == 0) {
        int degree = chord_root(plan, row) + 2 * (voice % 3);
        return note_cell(scale_note(plan.key, 3 + voice / 3 % 2, degree), instrument_for(bank, CHORD, plan), volume);
    }
    if (row % every == 1) {
        XmCell cell;
        cell.volume = static_cast<uint8_t>(COLUMN_SLIDE_DOWN + 1);
        return cell;
    }
    return XmCell{};
}

// Pads: one note a bar, key off before the next.
XmCell pad_cell(int row, const PatternPlan& plan, const InstrumentBank& bank, int voice, int volume) {
    int bar = plan.rows / 4;
    if (row % bar == 0) {
        int degree = chord_root(plan, row) + 4 * (voice % 2);
        XmCell cell = note_cell(scale_note(plan.key, 3, degree), instrument_for(bank, PAD, plan), volume);
        cell.effect = 0x08;
        cell.param = static_cast<uint8_t>(voice % 2 ? 0x50 : 0xB0);
        return cell;
    }
    if (row % bar == bar - plan.rows_per_beat / 2) return key_off_cell();
    return XmCell{};
}

// A slower second melody with portamento slides and vibrato.
XmCell counter_cell(int row, const PatternPlan& plan, const InstrumentBank& bank, int volume, Random* random) {
    if (plan.intensity == 0) return XmCell{};
    if (row % plan.rows_per_beat == 0 && chance(random, 60)) {
        int degree = chord_root(plan, row) + 2 + static_cast<int>(random_below(random, 3));
        return note_cell(scale_note(plan.key, 4, degree), instrument_for(bank, COUNTER, plan), volume);
    }
    uint32_t roll = random_below(random, 10);
    if (roll < 3) return effect_cell(0x04, 0x34);
    if (roll < 4) return effect_cell(chance(random, 50) ? 0x01 : 0x02, 0x03);
    return XmCell{};
}

XmPattern song_pattern(const SongPlan& song, const PatternPlan& plan, const InstrumentBank& bank,
                       const std::vector<int>& volumes, Random* random) {
    XmPattern pattern;
    pattern.rows = static_cast<uint16_t>(plan.rows);
    pattern.cells.assign(static_cast<size_t>(plan.rows) * song.channels, XmCell{});
    std::vector<XmCell> lead(plan.rows);
    bool sounding = false;
    int lead_volume = 56;
    for (int row = 0; row < plan.rows; ++row) {
        lead[row] = lead_cell(row, plan, bank, lead_volume, random, &sounding);
    }
    // The echo repeats the lead three quarters of a beat later.
    int echo_delay = std::max(1, plan.rows_per_beat * 3 / 4);
    for (int channel = 0; channel < song.channels; ++channel) {
        Role role = role_of(song, channel);
        int voice = channel / 16 * 3 + channel % 3;
        int volume = volumes[channel];
        for (int row = 0; row < plan.rows; ++row) {
            XmCell cell;
            switch (role) {
                case BASS: cell = bass_cell(row, plan, bank, volume, random); break;
                case LEAD:
                    cell = lead[row];
                    if (cell.volume >= SET_VOLUME && cell.volume <= SET_VOLUME + 64) {
                        cell.volume = static_cast<uint8_t>(SET_VOLUME + std::min(64, volume));
                    }
                    break;
                case ECHO:
                    if (row >= echo_delay) cell = lead[row - echo_delay];
                    if (cell.volume >= SET_VOLUME && cell.volume <= SET_VOLUME + 64) {
                        cell.volume = static_cast<uint8_t>(SET_VOLUME + volume);
                    }
                    if (row == 0) cell = effect_cell(0x08, channel % 2 ? 0x30 : 0xD0);
                    break;
                case ARPEGGIO: cell = arpeggio_cell(row, plan, bank, volume); break;
                case CHORD: cell = chord_cell(row, plan, bank, voice, volume); break;
                case PAD: cell = pad_cell(row, plan, bank, voice, volume); break;
                case COUNTER: cell = counter_cell(row, plan, bank, volume, random); break;
                default: cell = drum_cell(role, row, plan, bank, volume, random); break;
            }
            pattern.cells[static_cast<size_t>(row) * song.channels + channel] = cell;
        }
    }
    return pattern;
}

// Each channel's volume: the first channel of each loud part at 44..64, the
// rest at 8..32.
std::vector<int> channel_volumes(const SongPlan& song, Random* random) {
    std::vector<int> volumes;
    bool loud_taken[ROLE_COUNT] = {};
    for (int channel = 0; channel < song.channels; ++channel) {
        Role role = role_of(song, channel);
        bool is_loud = loud(role) && !loud_taken[role];
        loud_taken[role] = true;
        int volume = is_loud ? 44 + static_cast<int>(random_below(random, 21))
                             : 8 + static_cast<int>(random_below(random, 25));
        volumes.push_back(volume);
    }
    return volumes;
}

double pattern_seconds(const SongPlan& song, int rows) {
    double tick_frames = std::floor(5.0 * 44100.0 / (2.0 * song.bpm));
    return rows * song.speed * tick_frames / 44100.0;
}

// Eight patterns: an intro, then verses and choruses.
XmModule song_module(const SongPlan& song, uint32_t seed, int number, Features* features) {
    XmModule module;
    module.name = "real " + std::to_string(number);
    module.channel_count = song.channels;
    module.default_tempo = song.speed;
    module.default_bpm = song.bpm;
    Random random{seed};
    int key = static_cast<int>(random_below(&random, 12));
    InstrumentBank bank = make_instruments(song, &random, &module, features);
    std::vector<int> volumes = channel_volumes(song, &random);
    int rows_per_beat = TICKS_PER_BEAT / song.speed;
    int rows = 16 * rows_per_beat;
    for (int p = 0; p < 8; ++p) {
        PatternPlan plan{key, p % 4, p == 0 ? 0 : p % 2 + 1, p / 2, rows_per_beat, rows};
        module.patterns.push_back(song_pattern(song, plan, bank, volumes, &random));
    }
    static const uint8_t sections[] = {0, 1, 2, 3, 4, 1, 2, 5, 6, 3, 4, 7, 6, 7};
    int orders = static_cast<int>(std::ceil(song.seconds / pattern_seconds(song, rows)));
    for (int k = 0; k < orders; ++k) module.orders.push_back(sections[k % 14]);
    module.song_length = static_cast<uint16_t>(orders);
    return module;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_real_song_modules OUT_DIR\n");
        return 2;
    }
    std::string directory = argv[1];
    std::printf("module  ch speed bpm  secs era   | instr short long pingpong oneshot 8bit venv penv fade autovib\n");
    int number = 1;
    for (const SongPlan& song : SONG_PLANS) {
        char name[32];
        std::snprintf(name, sizeof name, "/real%02d.xm", number);
        Features features;
        XmModule module = song_module(song, 7000003u * static_cast<uint32_t>(number), number, &features);
        if (!xm_write_file(module, directory + name)) {
            std::fprintf(stderr, "make_real_song_modules: cannot write %s%s\n", directory.c_str(), name);
            return 1;
        }
        static const char* const eras[] = {"chip", "amiga", "later"};
        std::printf("real%02d %3d %5d %3d %5d %-5s | %5d %5d %4d %8d %7d %4d %4d %4d %4d %7d\n", number, song.channels,
                    song.speed, song.bpm, song.seconds, eras[static_cast<int>(song.era)], features.instruments,
                    features.short_loops, features.long_loops, features.pingpong, features.one_shots,
                    features.eight_bit, features.volume_envelopes, features.panning_envelopes, features.fadeouts,
                    features.auto_vibrato);
        ++number;
    }
    return 0;
}
