// Writes the modules the xmplay speed comparison plays.
//
// song01.xm .. song20.xm are made like real songs: 4 to 32 channels with the
// parts a tracker song has (drums, bass, chords, lead and its echo, arpeggios,
// pads), mostly sparse rows, drums as one-shot samples, tones as short chip
// loops or long recorded-style loops (forward and ping-pong), 8-bit samples in
// some songs and 16-bit in others, envelopes with sustain and fade-out, key
// offs, slides, vibrato, portamento, retrigger and sample offsets, at speeds
// 3 to 8 and 90 to 180 BPM, each 60 s or longer. busy8.xm and busy32.xm keep
// every channel busy on every row: the mixer's worst case. large.xm is a big
// module as real ones come: a 5-minute song on 32 channels with 48 patterns
// and over a megabyte of 16-bit samples (what loading and --info cost, seeks
// late in a long song).
//
// Usage: make_bench_modules OUT_DIR
// Everything comes from a fixed generator, so the files are the same every run.
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
constexpr uint8_t SET_VOLUME = 0x10;  // volume column 0x10..0x50: volume 0..64
constexpr int32_t TICK_FRAMES_NUMERATOR = 5 * 44100;  // frames per tick = 5 * 44100 / (2 * BPM)

// A small deterministic generator, so the modules are the same every time.
struct Random {
    uint32_t state;
};

uint32_t next_random(Random* random) {
    random->state = random->state * 1664525u + 1013904223u;
    return random->state >> 8;
}

uint32_t random_below(Random* random, uint32_t n) { return n == 0 ? 0 : next_random(random) % n; }

// Noise in -1..1.
double random_unit(Random* random) { return static_cast<double>(random_below(random, 65536)) / 32768.0 - 1.0; }

// ---------------------------------------------------------------------------
// The busy modules

XmSample busy_sample(int shape, uint32_t length) {
    XmSample sample;
    sample.type = SAMPLE_16_BIT | (shape == 3 ? SAMPLE_PINGPONG : SAMPLE_FORWARD);
    sample.loop_start = length / 4;
    sample.loop_length = length - length / 4;
    sample.relative_note = static_cast<int8_t>(shape * 3 - 4);
    for (uint32_t i = 0; i < length; ++i) {
        double phase = static_cast<double>(i % 64) / 64.0;
        double value = shape == 0   ? std::sin(2.0 * PI * phase)
                       : shape == 1 ? 2.0 * phase - 1.0
                       : shape == 2 ? (phase < 0.5 ? 0.8 : -0.8)
                                    : std::sin(2.0 * PI * phase) * std::sin(PI * static_cast<double>(i) / length);
        sample.values.push_back(static_cast<int16_t>(value * 12000.0));
    }
    return sample;
}

XmInstrument busy_instrument(int shape) {
    XmInstrument instrument;
    instrument.name = "shape " + std::to_string(shape);
    instrument.samples.push_back(busy_sample(shape, 2048 + 512 * static_cast<uint32_t>(shape)));
    instrument.volume_envelope.points = {{0, 64}, {8, 48}, {40, 32}, {120, 0}};
    instrument.volume_envelope.sustain_point = 2;
    instrument.volume_envelope.flags = shape % 2 == 0 ? 3 : 0;
    instrument.fadeout = 512;
    instrument.vibrato_type = static_cast<uint8_t>(shape % 4);
    instrument.vibrato_depth = shape == 1 ? 4 : 0;
    instrument.vibrato_rate = 8;
    return instrument;
}

// A cell that keeps its channel busy: mostly new notes, some effects on the
// running note.
XmCell busy_cell(Random* random, int channel) {
    XmCell cell;
    uint32_t roll = next_random(random) % 16;
    if (roll < 11) {
        cell.note = static_cast<uint8_t>(25 + (channel * 5 + static_cast<int>(next_random(random) % 36)) % 60);
        cell.instrument = static_cast<uint8_t>(1 + (channel + static_cast<int>(roll)) % 4);
        cell.volume = static_cast<uint8_t>(SET_VOLUME + 24 + next_random(random) % 40);
    }
    static const uint8_t effects[] = {0x00, 0x04, 0x0A, 0x01, 0x02, 0x08, 0x07, 0x03};
    uint32_t effect = next_random(random) % 8;
    cell.effect = effects[effect];
    cell.param = static_cast<uint8_t>(effect == 0 ? 0x37 : effect == 2 ? 0x02 : effect == 5 ? 0x80 : 0x24);
    if (effect == 7 && cell.note == 0) cell.effect = 0x04;  // tone portamento only with a target
    return cell;
}

XmModule busy_module(uint16_t channels) {
    XmModule module;
    module.name = "busy " + std::to_string(channels);
    module.channel_count = channels;
    module.song_length = 8;
    Random random{channels * 7919u};
    for (uint8_t order = 0; order < 8; ++order) module.orders.push_back(order);
    for (int p = 0; p < 8; ++p) {
        XmPattern pattern;
        pattern.rows = 64;
        for (int row = 0; row < 64; ++row) {
            for (int channel = 0; channel < channels; ++channel) {
                pattern.cells.push_back(busy_cell(&random, channel));
            }
        }
        module.patterns.push_back(pattern);
    }
    for (int shape = 0; shape < 4; ++shape) module.instruments.push_back(busy_instrument(shape));
    return module;
}

// ---------------------------------------------------------------------------
// The song-like modules

// One song's settings.
struct SongStyle {
    uint16_t channels;  // 4..32
    uint16_t speed;     // ticks per row, 3..8
    uint16_t bpm;       // 90..180
    uint16_t rows;      // rows per pattern
    bool eight_bit;     // samples stored as 8-bit, as older trackers wrote them
    bool chip;          // tones as short single-cycle loops rather than long loops
    int32_t seconds;    // the song lasts at least this long
};

// Parts a channel plays; channel k plays PART_ORDER[k % 16].
enum Part { KICK, SNARE, HAT, BASS, LEAD, CHORD, ECHO, ARPEGGIO, PAD, TOM, PART_COUNT };
constexpr Part PART_ORDER[16] = {KICK, BASS, SNARE, LEAD, HAT, CHORD, CHORD, ECHO,
                                 PAD, ARPEGGIO, CHORD, TOM, PAD, LEAD, HAT, ECHO};

// Instrument number (1-based) of each part.
uint8_t instrument_of(Part part) { return static_cast<uint8_t>(part + 1); }

// Values in -1..1 to sample values of the song's width, quieter in songs of
// many channels (as their authors keep them) so that they seldom clip.
XmSample sample_from(const std::vector<double>& shape, const SongStyle& style, double peak) {
    XmSample sample;
    sample.type = style.eight_bit ? 0 : SAMPLE_16_BIT;
    double full = style.eight_bit ? 127.0 : 32767.0;
    if (style.channels > 8) peak *= std::sqrt(8.0 / style.channels);
    for (double value : shape) {
        double scaled = std::clamp(value * peak, -1.0, 1.0) * full;
        sample.values.push_back(static_cast<int16_t>(std::lround(scaled)));
    }
    return sample;
}

void set_loop(XmSample* sample, uint32_t start, uint32_t length, bool pingpong) {
    sample->type = static_cast<uint8_t>(sample->type | (pingpong ? SAMPLE_PINGPONG : SAMPLE_FORWARD));
    sample->loop_start = start;
    sample->loop_length = length;
}

// Drums: one-shot decaying tones and noise, made at about 33 kHz (played at C-4
// with relative note 24).
XmSample drum_sample(Part part, Random* random, const SongStyle& style) {
    uint32_t length = part == KICK ? 5200 : part == SNARE ? 6400 : part == HAT ? 1800 : 7000;
    std::vector<double> shape(length);
    double phase = 0.0;
    double previous_noise = 0.0;
    for (uint32_t i = 0; i < length; ++i) {
        double t = static_cast<double>(i) / length;
        double decay = std::exp(-5.0 * t);
        double noise = random_unit(random);
        double high = noise - previous_noise;  // a crude high-pass for the hat
        previous_noise = noise;
        double pitch = part == KICK ? 0.012 * (1.0 - 0.8 * t) : part == TOM ? 0.006 * (1.0 - 0.3 * t) : 0.009;
        phase += pitch;
        double tone = std::sin(2.0 * PI * phase);
        shape[i] = part == KICK ? tone * decay
                   : part == SNARE ? (0.4 * tone + 0.6 * noise) * decay * decay
                   : part == HAT   ? 0.5 * high * decay * decay * decay
                                   : tone * decay;
    }
    XmSample sample = sample_from(shape, style, 0.9);
    sample.relative_note = 24;
    return sample;
}

// A tone of `cycles` periods of `period` frames, looped whole.
XmSample cycle_sample(Part part, uint32_t period, uint32_t cycles, const SongStyle& style, Random* random) {
    std::vector<double> shape(period * cycles);
    double detune = 1.0 + 0.002 * static_cast<double>(random_below(random, 5));
    for (size_t i = 0; i < shape.size(); ++i) {
        double phase = static_cast<double>(i % period) / period;
        double slow = static_cast<double>(i) / static_cast<double>(shape.size());
        shape[i] = part == BASS       ? 2.0 * phase - 1.0
                   : part == ARPEGGIO ? (phase < 0.25 ? 0.8 : -0.8)
                   : part == LEAD     ? (phase < 0.5 ? 0.7 : -0.7)
                                      : 0.5 * std::sin(2.0 * PI * phase) +
                                        0.3 * std::sin(2.0 * PI * (phase * detune * 2.0 + slow * cycles * 0.01));
    }
    XmSample sample = sample_from(shape, style, 0.8);
    set_loop(&sample, 0, static_cast<uint32_t>(shape.size()), false);
    return sample;
}

// A recorded-style tone: an attack, then a long loop over the decayed part
// (ping-pong for pads, forward for the rest).
XmSample long_sample(Part part, const SongStyle& style, Random* random) {
    uint32_t length = part == PAD ? 16000 : part == CHORD ? 9000 : 6000;
    uint32_t period = part == BASS ? 128 : 64;
    std::vector<double> shape(length);
    double wobble = 0.0;
    for (uint32_t i = 0; i < length; ++i) {
        double phase = static_cast<double>(i % period) / period;
        double t = static_cast<double>(i) / length;
        wobble += 0.0007 + 0.0001 * random_unit(random);
        double body = std::sin(2.0 * PI * phase) + 0.35 * std::sin(6.0 * PI * phase + wobble) +
                      0.15 * std::sin(10.0 * PI * phase);
        double level = part == PAD ? 0.5 + 0.2 * std::sin(2.0 * PI * t * 3.0) : 1.0 - 0.5 * t;
        shape[i] = 0.55 * body * level;
    }
    XmSample sample = sample_from(shape, style, 0.9);
    uint32_t loop_start = length / 3;
    set_loop(&sample, loop_start, length - loop_start, part == PAD);
    sample.relative_note = static_cast<int8_t>(part == BASS ? 24 : 12);
    return sample;
}

XmSample tone_sample(Part part, const SongStyle& style, Random* random) {
    if (style.chip && part != PAD && part != CHORD) {
        uint32_t period = part == BASS ? 64 : part == ARPEGGIO ? 16 : 32;
        XmSample sample = cycle_sample(part, period, 1, style, random);
        sample.relative_note = static_cast<int8_t>(part == BASS ? 12 : part == ARPEGGIO ? -12 : 0);
        return sample;
    }
    if (part == ARPEGGIO || part == LEAD) {
        XmSample sample = cycle_sample(part, 32, 64, style, random);
        sample.relative_note = 0;
        return sample;
    }
    return long_sample(part, style, random);
}

XmEnvelope volume_envelope(Part part) {
    XmEnvelope envelope;
    switch (part) {
        case BASS:
        case ARPEGGIO:
            envelope.points = {{0, 64}, {6, 50}, {20, 44}, {60, 0}};
            envelope.sustain_point = 2;
            envelope.flags = 3;
            break;
        case LEAD:
        case ECHO:
            envelope.points = {{0, 0}, {3, 64}, {12, 48}, {40, 40}, {90, 0}};
            envelope.sustain_point = 3;
            envelope.flags = 3;
            break;
        case CHORD:  // a pluck that dies away by itself: the voice loops on at level 0
            envelope.points = {{0, 64}, {10, 40}, {60, 12}, {160, 0}};
            envelope.flags = 1;
            break;
        case PAD:
            envelope.points = {{0, 0}, {40, 48}, {80, 64}, {120, 40}, {200, 48}};
            envelope.sustain_point = 4;
            envelope.loop_start = 2;
            envelope.loop_end = 4;
            envelope.flags = 7;
            break;
        default:
            break;  // drums: the sample's own decay
    }
    return envelope;
}

XmInstrument song_instrument(Part part, const SongStyle& style, Random* random) {
    static const char* const names[PART_COUNT] = {"kick", "snare", "hat", "bass", "lead",
                                                  "chord", "echo", "arpeggio", "pad", "tom"};
    XmInstrument instrument;
    instrument.name = names[part];
    bool drum = part == KICK || part == SNARE || part == HAT || part == TOM;
    Part tone = part == ECHO ? LEAD : part;
    instrument.samples.push_back(drum ? drum_sample(part, random, style) : tone_sample(tone, style, random));
    instrument.volume_envelope = volume_envelope(part);
    if (part == PAD) {
        instrument.panning_envelope.points = {{0, 16}, {50, 48}, {100, 16}};
        instrument.panning_envelope.loop_start = 0;
        instrument.panning_envelope.loop_end = 2;
        instrument.panning_envelope.flags = 5;
    }
    instrument.fadeout = static_cast<uint16_t>(drum ? 0 : part == PAD ? 300 : 1200);
    if (part == LEAD || part == PAD) {
        instrument.vibrato_type = 0;
        instrument.vibrato_sweep = 20;
        instrument.vibrato_depth = 3;
        instrument.vibrato_rate = 10;
    }
    return instrument;
}

// Notes: a minor scale, chords built on degrees of it.
constexpr int SCALE[7] = {0, 2, 3, 5, 7, 8, 10};
constexpr int PROGRESSIONS[4][4] = {{0, 5, 2, 6}, {0, 3, 4, 0}, {5, 6, 0, 0}, {3, 4, 5, 4}};

// XM note (1 = C-0) of scale degree `degree` (may exceed 6) above the key's C in `octave`.
uint8_t scale_note(int key, int octave, int degree) {
    int wrapped = ((degree % 7) + 7) % 7;
    int octaves = (degree - wrapped) / 7;
    return static_cast<uint8_t>(1 + key + 12 * (octave + octaves) + SCALE[wrapped]);
}

// Everything one pattern's cells are made from.
struct PatternPlan {
    int key;           // semitones above C
    int progression;   // row of PROGRESSIONS
    int intensity;     // 0 intro, 1 verse, 2 chorus
    uint16_t rows;
};

int chord_root(const PatternPlan& plan, int row) {
    int quarter = row * 4 / plan.rows;
    return PROGRESSIONS[plan.progression][quarter];
}

XmCell note_cell(uint8_t note, Part part, uint8_t volume) {
    XmCell cell;
    cell.note = note;
    cell.instrument = instrument_of(part);
    cell.volume = static_cast<uint8_t>(SET_VOLUME + std::min<int>(volume, 64));
    return cell;
}

XmCell effect_cell(uint8_t effect, uint8_t param) {
    XmCell cell;
    cell.effect = effect;
    cell.param = param;
    return cell;
}

XmCell drum_cell(Part part, int row, const PatternPlan& plan, Random* random) {
    int beat = row % 16;
    bool fill = row >= plan.rows - 4 && plan.intensity == 2;
    switch (part) {
        case KICK:
            if (beat == 0 || beat == 8 || (plan.intensity > 0 && beat == 10 && random_below(random, 2)))
                return note_cell(49, KICK, 64);
            break;
        case SNARE:
            if (fill) {
                XmCell cell = note_cell(49, SNARE, static_cast<uint8_t>(30 + 8 * (row % 4)));
                if (row % 2) cell = effect_cell(0x0E, 0x93);  // E93: retrigger every 3 ticks
                return cell;
            }
            if (beat == 4 || beat == 12) return note_cell(49, SNARE, 56);
            break;
        case HAT:
            if (plan.intensity > 0 && row % 2 == 0) {
                return note_cell(static_cast<uint8_t>(beat % 4 == 2 ? 56 : 61), HAT,
                                 static_cast<uint8_t>(beat % 4 == 2 ? 40 : 24));
            }
            break;
        default:  // TOM: an occasional fill, started part way into the sample
            if (fill || random_below(random, 24) == 0) {
                XmCell cell = note_cell(static_cast<uint8_t>(37 + 3 * (row % 3)), TOM, 48);
                cell.effect = 0x09;
                cell.param = static_cast<uint8_t>(random_below(random, 8));  // 9xx: from xx * 256 frames
                return cell;
            }
            break;
    }
    return XmCell{};
}

XmCell bass_cell(int row, const PatternPlan& plan, Random* random) {
    int step = plan.intensity == 0 ? 8 : plan.intensity == 1 ? 4 : 2;
    uint8_t root = scale_note(plan.key, 2, chord_root(plan, row));
    if (row % step == 0) {
        XmCell cell = note_cell(static_cast<uint8_t>(row % 8 == 6 ? root + 12 : root), BASS, 52);
        if (random_below(random, 6) == 0) {  // 320: slide in from the last note
            cell.effect = 0x03;
            cell.param = 0x20;
        }
        return cell;
    }
    if (row % step == step - 1 && random_below(random, 3) == 0) return note_cell(KEY_OFF, BASS, 0);
    if (random_below(random, 10) == 0) return effect_cell(random_below(random, 2) ? 0x01 : 0x02, 0x04);
    return XmCell{};
}

// The lead's melody: notes on the chord with passing tones; held notes get
// vibrato, some end in a volume slide or a key off.
XmCell lead_cell(int row, const PatternPlan& plan, Random* random, int* last_note) {
    if (plan.intensity == 0) return XmCell{};
    uint32_t roll = random_below(random, 16);
    if (row % 2 == 0 && roll < 9) {
        int degree = chord_root(plan, row) + static_cast<int>(random_below(random, 5)) * (roll % 2 ? 2 : 1);
        uint8_t note = scale_note(plan.key, 4, degree);
        XmCell cell = note_cell(note, LEAD, static_cast<uint8_t>(44 + random_below(random, 20)));
        if (*last_note != 0 && roll == 1) {
            cell.instrument = 0;  // tone portamento towards the new note
            cell.volume = 0;
            cell.effect = 0x03;
            cell.param = 0x18;
        }
        *last_note = note;
        return cell;
    }
    if (roll < 12) {  // 4xy: vibrato
        return effect_cell(0x04, static_cast<uint8_t>(0x40 + random_below(random, 4) + 0x20 * (roll % 2)));
    }
    if (roll < 14) return effect_cell(0x0A, 0x02);
    if (roll == 14) return note_cell(KEY_OFF, LEAD, 0);
    return XmCell{};
}

XmCell chord_cell(int row, const PatternPlan& plan, int voice, Random* random) {
    int stab = plan.intensity == 2 ? 4 : 16;
    if (row % stab == 0) {
        int degree = chord_root(plan, row) + 2 * (voice % 3);
        return note_cell(scale_note(plan.key, 3 + voice / 3 % 2, degree), CHORD,
                         static_cast<uint8_t>(34 + random_below(random, 10)));
    }
    if (row % stab == stab - 2 && plan.intensity == 2) return effect_cell(0x0A, 0x04);
    if (row % 16 == 15 && random_below(random, 2)) return note_cell(KEY_OFF, CHORD, 0);
    return XmCell{};
}

XmCell arpeggio_cell(int row, const PatternPlan& plan) {
    if (plan.intensity == 0) return XmCell{};
    if (row % 8 == 0) {
        XmCell cell = note_cell(scale_note(plan.key, 5, chord_root(plan, row)), ARPEGGIO, 36);
        cell.effect = 0x00;
        cell.param = 0x37;
        return cell;
    }
    if (row % 8 == 7) return note_cell(KEY_OFF, ARPEGGIO, 0);
    return effect_cell(0x00, row % 16 < 8 ? 0x37 : 0x47);  // 0xy: arpeggio
}

XmCell pad_cell(int row, const PatternPlan& plan, int voice) {
    int half = plan.rows / 2;
    if (row % half == 0) {
        int degree = chord_root(plan, row) + 4 * (voice % 2);
        XmCell cell = note_cell(scale_note(plan.key, 3, degree), PAD, 40);
        cell.effect = 0x08;
        cell.param = static_cast<uint8_t>(voice % 2 ? 0x50 : 0xB0);  // 8xx: panning
        return cell;
    }
    if (row % half == half - 2) return note_cell(KEY_OFF, PAD, 0);
    return XmCell{};
}

// The pattern: every channel's cells row by row. Echo channels repeat the
// lead three rows later, quieter and panned away.
XmPattern song_pattern(const SongStyle& style, const PatternPlan& plan, Random* random) {
    XmPattern pattern;
    pattern.rows = plan.rows;
    pattern.cells.assign(static_cast<size_t>(plan.rows) * style.channels, XmCell{});
    std::vector<XmCell> lead(plan.rows);
    int last_note = 0;
    for (int row = 0; row < plan.rows; ++row) lead[row] = lead_cell(row, plan, random, &last_note);
    for (int channel = 0; channel < style.channels; ++channel) {
        Part part = PART_ORDER[channel % 16];
        int voice = channel / 16 * 3 + channel % 3;
        for (int row = 0; row < plan.rows; ++row) {
            XmCell cell;
            switch (part) {
                case BASS: cell = bass_cell(row, plan, random); break;
                case LEAD: cell = lead[row]; break;
                case CHORD: cell = chord_cell(row, plan, voice, random); break;
                case ARPEGGIO: cell = arpeggio_cell(row, plan); break;
                case PAD: cell = pad_cell(row, plan, voice); break;
                case ECHO:
                    if (row >= 3) cell = lead[row - 3];
                    if (cell.instrument != 0) cell.instrument = instrument_of(ECHO);
                    if (cell.volume >= SET_VOLUME) {
                        cell.volume = static_cast<uint8_t>(SET_VOLUME + (cell.volume - SET_VOLUME) / 2);
                    }
                    if (row == 3) {  // 8D0: panned away from the lead
                        cell.effect = 0x08;
                        cell.param = 0xD0;
                    }
                    break;
                default: cell = drum_cell(part, row, plan, random); break;
            }
            pattern.cells[static_cast<size_t>(row) * style.channels + channel] = cell;
        }
    }
    return pattern;
}

double pattern_seconds(const SongStyle& style) {
    double tick_frames = std::floor(static_cast<double>(TICK_FRAMES_NUMERATOR) / (2.0 * style.bpm));
    return style.rows * style.speed * tick_frames / 44100.0;
}

// Intro, then verses and choruses over six patterns, until the song is long enough.
XmModule song_module(const SongStyle& style, uint32_t seed, int number) {
    XmModule module;
    module.name = "song " + std::to_string(number);
    module.channel_count = style.channels;
    module.default_tempo = style.speed;
    module.default_bpm = style.bpm;
    Random random{seed};
    int key = static_cast<int>(random_below(&random, 12));
    for (int p = 0; p < 6; ++p) {
        PatternPlan plan{key, p % 4, p == 0 ? 0 : p % 2 + 1, style.rows};
        module.patterns.push_back(song_pattern(style, plan, &random));
    }
    for (int part = 0; part < PART_COUNT; ++part) {
        module.instruments.push_back(song_instrument(static_cast<Part>(part), style, &random));
    }
    static const uint8_t sections[] = {0, 1, 2, 1, 2, 3, 4, 3, 4, 5, 1, 2, 3, 4, 5};
    int orders = static_cast<int>(std::ceil(style.seconds / pattern_seconds(style)));
    for (int k = 0; k < orders; ++k) module.orders.push_back(sections[k % 15]);
    module.song_length = static_cast<uint16_t>(orders);
    return module;
}

// Channels, speed, BPM, rows, 8-bit, chip, seconds.
constexpr SongStyle SONG_STYLES[] = {
    {4, 6, 125, 64, true, true, 64},      {4, 3, 150, 64, true, false, 95},
    {6, 5, 140, 64, false, true, 72},     {8, 6, 125, 64, true, false, 130},
    {8, 4, 110, 64, false, false, 66},    {8, 6, 170, 128, true, true, 180},
    {8, 7, 100, 64, false, false, 88},    {10, 6, 125, 64, false, true, 110},
    {12, 3, 90, 64, true, false, 75},     {12, 6, 135, 96, false, false, 150},
    {14, 5, 125, 64, true, true, 62},     {16, 6, 125, 64, false, false, 120},
    {16, 8, 180, 64, false, true, 100},   {18, 4, 120, 64, true, false, 90},
    {20, 6, 130, 64, false, false, 140},  {24, 6, 125, 64, false, false, 80},
    {24, 5, 145, 128, true, true, 200},   {28, 6, 115, 64, false, false, 70},
    {32, 6, 125, 64, false, false, 105},  {32, 4, 160, 64, true, false, 160},
};

// The song's samples made long: each 16-bit tone goes on repeating its loop
// up to `frames`, as recorded samples do, and the loop covers what was added.
void lengthen_samples(XmModule* module, uint32_t frames) {
    for (XmInstrument& instrument : module->instruments) {
        for (XmSample& sample : instrument.samples) {
            if ((sample.type & SAMPLE_16_BIT) == 0 || (sample.type & 3) == 0 || sample.loop_length == 0) continue;
            std::vector<int16_t> loop(sample.values.begin() + sample.loop_start,
                                      sample.values.begin() + sample.loop_start + sample.loop_length);
            while (sample.values.size() < frames) sample.values.insert(sample.values.end(), loop.begin(), loop.end());
            sample.loop_length = static_cast<uint32_t>(sample.values.size()) - sample.loop_start;
        }
    }
}

XmModule large_module() {
    const SongStyle style = {32, 6, 125, 64, false, false, 300};
    XmModule module = song_module(style, 7777777u, 21);
    module.name = "large";
    Random random{4242u};
    module.patterns.clear();
    for (int p = 0; p < 48; ++p) {
        PatternPlan plan{(p / 12) * 5 % 12, p % 4, p == 0 ? 0 : p % 2 + 1, style.rows};
        module.patterns.push_back(song_pattern(style, plan, &random));
    }
    for (size_t k = 0; k < module.orders.size(); ++k) module.orders[k] = static_cast<uint8_t>(k % 48);
    lengthen_samples(&module, 80000);
    return module;
}

bool write_module(const XmModule& module, const std::string& path) {
    if (xm_write_file(module, path)) return true;
    std::fprintf(stderr, "make_bench_modules: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bench_modules OUT_DIR\n");
        return 2;
    }
    std::string directory = argv[1];
    for (uint16_t channels : {8, 32}) {
        std::string path = directory + "/busy" + std::to_string(channels) + ".xm";
        if (!write_module(busy_module(channels), path)) return 1;
    }
    if (!write_module(large_module(), directory + "/large.xm")) return 1;
    int number = 1;
    for (const SongStyle& style : SONG_STYLES) {
        char name[32];
        std::snprintf(name, sizeof name, "/song%02d.xm", number);
        if (!write_module(song_module(style, 1000003u * static_cast<uint32_t>(number), number), directory + name)) {
            return 1;
        }
        ++number;
    }
    return 0;
}
