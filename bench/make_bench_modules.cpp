// Writes the modules the xmplay speed comparison plays: every channel busy on
// every row (a new note, or an effect that keeps the voice moving), looping
// 16-bit samples at spread pitches, volume envelopes and the common effects.
// Usage: make_bench_modules OUT_DIR   (writes busy8.xm and busy32.xm)
#include <cmath>
#include <cstdio>
#include <string>

#include "tools/make_assets/xm_writer.h"

namespace {

// A small deterministic generator, so the modules are the same every time.
struct Random {
    uint32_t state;
};

uint32_t next_random(Random* random) {
    random->state = random->state * 1664525u + 1013904223u;
    return random->state >> 8;
}

XmSample looping_sample(int shape, uint32_t length) {
    XmSample sample;
    sample.type = 0x10 | (shape == 3 ? 2 : 1);  // 16-bit; the last one ping-pong
    sample.loop_start = length / 4;
    sample.loop_length = length - length / 4;
    sample.relative_note = static_cast<int8_t>(shape * 3 - 4);
    const double pi = 3.14159265358979323846;
    for (uint32_t i = 0; i < length; ++i) {
        double phase = static_cast<double>(i % 64) / 64.0;
        double value = shape == 0   ? std::sin(2.0 * pi * phase)
                       : shape == 1 ? 2.0 * phase - 1.0
                       : shape == 2 ? (phase < 0.5 ? 0.8 : -0.8)
                                    : std::sin(2.0 * pi * phase) * std::sin(pi * static_cast<double>(i) / length);
        sample.values.push_back(static_cast<int16_t>(value * 12000.0));
    }
    return sample;
}

XmInstrument bench_instrument(int shape) {
    XmInstrument instrument;
    instrument.name = "shape " + std::to_string(shape);
    instrument.samples.push_back(looping_sample(shape, 2048 + 512 * static_cast<uint32_t>(shape)));
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
        cell.volume = static_cast<uint8_t>(0x10 + 24 + next_random(random) % 40);
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
            for (int channel = 0; channel < channels; ++channel) pattern.cells.push_back(busy_cell(&random, channel));
        }
        module.patterns.push_back(pattern);
    }
    for (int shape = 0; shape < 4; ++shape) module.instruments.push_back(bench_instrument(shape));
    return module;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bench_modules OUT_DIR\n");
        return 2;
    }
    for (uint16_t channels : {8, 32}) {
        std::string path = std::string(argv[1]) + "/busy" + std::to_string(channels) + ".xm";
        if (!xm_write_file(busy_module(channels), path)) {
            std::fprintf(stderr, "make_bench_modules: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
