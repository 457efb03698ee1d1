// Writes the seed corpus for fuzz_xm_play: small modules, each exercising a
// family of effects on looping and one-shot samples of both widths.
//   fuzz_seeds OUT_DIR
#include <cstdio>
#include <string>

#include "tools/make_assets/xm_writer.h"

static XmSample seed_sample(bool sixteen_bit, uint8_t loop_bits, uint32_t length) {
    XmSample sample;
    sample.type = uint8_t(loop_bits | (sixteen_bit ? 0x10 : 0));
    for (uint32_t i = 0; i < length; ++i) {
        int value = int((i * 37) % 200) - 100;
        sample.values.push_back(int16_t(sixteen_bit ? value * 200 : value));
    }
    if (loop_bits) {
        sample.loop_start = length / 4;
        sample.loop_length = length / 2;
    }
    return sample;
}

static XmInstrument seed_instrument(int variant) {
    XmInstrument instrument;
    instrument.samples.push_back(seed_sample(variant & 1, uint8_t(variant % 3), 64 + 16 * uint32_t(variant)));
    instrument.samples.push_back(seed_sample(!(variant & 1), 2, 48));
    for (int k = 0; k < 96; ++k) instrument.keymap[size_t(k)] = uint8_t(k >= 48 ? 1 : 0);
    instrument.volume_envelope.points = {{0, 64}, {8, 32}, {20, 48}, {40, 0}};
    instrument.volume_envelope.sustain_point = 1;
    instrument.volume_envelope.loop_start = 1;
    instrument.volume_envelope.loop_end = 2;
    instrument.volume_envelope.flags = uint8_t(1 | (variant & 2) | (variant & 4));
    instrument.panning_envelope.points = {{0, 0}, {10, 64}, {20, 32}};
    instrument.panning_envelope.flags = 1;
    instrument.vibrato_type = uint8_t(variant % 4);
    instrument.vibrato_sweep = 4;
    instrument.vibrato_depth = 8;
    instrument.vibrato_rate = 20;
    instrument.fadeout = 800;
    return instrument;
}

// One module per effect number: every channel plays notes with that effect
// and a spread of parameters, the volume column cycling through its commands.
static XmModule effect_module(uint8_t effect, bool linear) {
    XmModule module;
    module.channel_count = 4;
    module.flags = linear ? 1 : 0;
    module.song_length = 2;
    module.orders = {0, 1};
    for (int p = 0; p < 2; ++p) {
        XmPattern pattern;
        pattern.rows = 32;
        pattern.cells.resize(32 * 4);
        for (int row = 0; row < 32; ++row) {
            for (int channel = 0; channel < 4; ++channel) {
                XmCell& cell = pattern.cells[size_t(row * 4 + channel)];
                if ((row + channel) % 4 == 0) {
                    cell.note = uint8_t(1 + (row * 7 + channel * 13 + p * 5) % 96);
                    cell.instrument = uint8_t(1 + (row + channel) % 3);
                }
                if (row % 8 == 7) cell.note = 97;
                cell.volume = uint8_t(0x10 + ((row * 16 + channel * 48) % 0xF0));
                cell.effect = effect;
                cell.param = uint8_t((row * 29 + channel * 71 + p * 3) % 256);
            }
        }
        module.patterns.push_back(pattern);
    }
    for (int i = 0; i < 3; ++i) module.instruments.push_back(seed_instrument(i + effect));
    return module;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUT_DIR\n");
        return 2;
    }
    int written = 0;
    for (int effect = 0; effect <= 0x21; ++effect) {
        for (int linear = 0; linear < 2; ++linear) {
            std::string path = std::string(argv[1]) + "/effect_" + std::to_string(effect) +
                               (linear ? "_linear" : "_amiga") + ".xm";
            if (!xm_write_file(effect_module(uint8_t(effect), linear != 0), path)) {
                std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
                return 1;
            }
            ++written;
        }
    }
    std::printf("%d seed modules\n", written);
    return 0;
}
