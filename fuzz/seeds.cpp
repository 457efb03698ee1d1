// Writes the seed corpus for fuzz_xm_play: small modules, each exercising a
// family of effects on looping and one-shot samples of both widths, or a
// structural edge of the format; with --tga, small images for fuzz_tga.
//   fuzz_seeds OUT_DIR
//   fuzz_seeds --tga OUT_DIR
#include <cstdint>
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

// Modules at the edges of what the header, patterns and instruments allow:
// one each, all small. The loader may refuse some; the fuzzer starts from
// their bytes either way.
static XmModule structure_module(int variant) {
    XmModule module = effect_module(uint8_t(0x0E), variant % 2 == 0);
    module.song_length = 4;
    module.orders = {0, 1, 0, 1};
    switch (variant) {
        case 0:  // one channel, one-row patterns
            module.channel_count = 1;
            for (XmPattern& pattern : module.patterns) pattern.rows = 1;
            break;
        case 1:  // 32 channels, a 256-row pattern
            module.channel_count = 32;
            module.patterns[0].rows = 256;
            module.patterns[0].cells.resize(256 * 32);
            for (size_t i = 0; i < module.patterns[0].cells.size(); i += 37)
                module.patterns[0].cells[i] = {uint8_t(1 + i % 96), uint8_t(1 + i % 3), 0x40, 0x0E, uint8_t(0x60 + i % 16)};
            break;
        case 2:  // orders naming a pattern that is not stored, restart past the end
            module.orders = {0, 5, 1, 200};
            module.restart_position = 9;
            break;
        case 3:  // an empty stored pattern and a raw, short packed one
            module.patterns.push_back(XmPattern{});
            module.patterns.back().rows = 16;
            module.patterns[1].raw_data = std::vector<uint8_t>{0x80, 0x9F, 0x31, 0x01, 0x40, 0x0F};
            module.orders = {2, 1, 0, 2};
            break;
        case 4:  // tempo and BPM at their extremes
            module.default_tempo = 31;
            module.default_bpm = 32;
            module.patterns[0].cells[0] = {49, 1, 0x40, 0x0F, 0xFF};
            module.patterns[0].cells[4] = {49, 1, 0x40, 0x0F, 0x01};
            break;
        case 5:  // instruments without samples and with 16 samples
            module.instruments[0].samples.clear();
            for (int i = 0; i < 15; ++i) module.instruments[1].samples.push_back(seed_sample(i & 1, uint8_t(i % 3), 40));
            for (int k = 0; k < 96; ++k) module.instruments[1].keymap[size_t(k)] = uint8_t(k % 16);
            break;
        case 6:  // sample lengths and loops in bytes that do not fit the data
            module.instruments[0].samples[0].length_bytes = 100000;
            module.instruments[1].samples[0].loop_start_bytes = 7;
            module.instruments[1].samples[0].loop_length_bytes = 0xFFFFFFF0;
            module.instruments[2].samples[1].length_bytes = 33;  // odd bytes of 16-bit data
            break;
        case 7:  // envelopes with twelve points, sustain and loop points out of range
            for (XmInstrument& instrument : module.instruments) {
                instrument.volume_envelope.points.clear();
                for (uint16_t k = 0; k < 12; ++k) instrument.volume_envelope.points.push_back({uint16_t(k * 3), uint16_t(64 - k * 5)});
                instrument.volume_envelope.sustain_point = 11;
                instrument.volume_envelope.loop_start = 13;
                instrument.volume_envelope.loop_end = 2;
                instrument.volume_envelope.flags = 7;
                instrument.panning_envelope.point_count = 40;
                instrument.panning_envelope.flags = 7;
            }
            break;
        case 8:  // header sizes cut short and padded
            module.header_size = 20;
            module.instruments[0].header_size = 29;
            module.instruments[1].header_size = 400;
            break;
        case 9:  // pattern loops, delays, jumps and breaks past the pattern
            for (size_t i = 0; i < module.patterns[0].cells.size(); ++i) {
                static const XmCell flow[] = {{0, 0, 0, 0x0E, 0x60}, {0, 0, 0, 0x0E, 0x63}, {0, 0, 0, 0x0E, 0xE5},
                                              {0, 0, 0, 0x0B, 0x03}, {0, 0, 0, 0x0D, 0x99}, {0, 0, 0, 0x0E, 0x6F}};
                module.patterns[0].cells[i] = flow[i % 6];
            }
            break;
    }
    return module;
}

// Small TGA files for fuzz_tga beside the demo's large pictures: both kinds
// at both depths, raw and run packets, odd sizes.
static bool write_tga_seeds(const std::string& directory) {
    struct TgaSeed {
        const char* name;
        uint8_t type;
        uint16_t width, height;
        uint8_t bits;
        std::vector<uint8_t> data;
    };
    const TgaSeed seeds[] = {
        {"raw24_2x1", 2, 2, 1, 24, {1, 2, 3, 4, 5, 6}},
        {"raw32_3x1", 2, 3, 1, 32, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {"rle24_2x2_run", 10, 2, 2, 24, {0x83, 9, 8, 7}},
        {"rle32_3x3_mixed", 10, 3, 3, 32, {0x01, 1, 2, 3, 4, 5, 6, 7, 8, 0x86, 9, 9, 9, 9}},
        {"rle24_5x1_raw", 10, 5, 1, 24, {0x04, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5}},
    };
    for (const TgaSeed& seed : seeds) {
        std::vector<uint8_t> bytes(18, 0);
        bytes[2] = seed.type;
        bytes[12] = uint8_t(seed.width);
        bytes[13] = uint8_t(seed.width >> 8);
        bytes[14] = uint8_t(seed.height);
        bytes[15] = uint8_t(seed.height >> 8);
        bytes[16] = seed.bits;
        bytes.insert(bytes.end(), seed.data.begin(), seed.data.end());
        std::string path = directory + "/" + seed.name + ".tga";
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return false;
        bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (std::fclose(file) != 0 || !written) return false;
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--tga") {
        if (!write_tga_seeds(argv[2])) {
            std::fprintf(stderr, "fuzz_seeds: cannot write to %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUT_DIR | fuzz_seeds --tga OUT_DIR\n");
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
    for (int variant = 0; variant < 10; ++variant) {
        std::string path = std::string(argv[1]) + "/structure_" + std::to_string(variant) + ".xm";
        if (!xm_write_file(structure_module(variant), path)) {
            std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
        ++written;
    }
    std::printf("%d seed modules\n", written);
    return 0;
}
