// Writes XM (Extended Module) files from plain records. make_assets composes
// musik.xm with it, and the tests build small modules in memory with it; the
// optional fields let a test write what a well-formed module would not.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct XmCell {
    uint8_t note = 0;  // 0 none, 1..96, 97 key off
    uint8_t instrument = 0;
    uint8_t volume = 0;
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct XmPattern {
    uint16_t rows = 64;
    std::vector<XmCell> cells;  // rows * channels, row-major; missing cells are empty
    // Written instead of the packed cells when set (packed size = its length).
    std::optional<std::vector<uint8_t>> raw_data;
};

struct XmEnvelope {
    std::vector<std::array<uint16_t, 2>> points;  // (x, y); at most 12 are written
    uint8_t sustain_point = 0;
    uint8_t loop_start = 0;
    uint8_t loop_end = 0;
    uint8_t flags = 0;  // bit 0 on, bit 1 sustain, bit 2 loop
    std::optional<uint8_t> point_count;  // written instead of points.size()
};

struct XmSample {
    std::vector<int16_t> values;  // in the stored width: -128..127 for 8-bit samples
    uint8_t type = 0;             // bit 0 forward loop, bit 1 ping-pong, bit 4 16-bit
    uint32_t loop_start = 0;      // frames
    uint32_t loop_length = 0;     // frames
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relative_note = 0;
    std::string name;
    // Written instead of the values computed from the fields above when set.
    std::optional<uint32_t> length_bytes;
    std::optional<uint32_t> loop_start_bytes;
    std::optional<uint32_t> loop_length_bytes;
    std::optional<std::vector<uint8_t>> raw_data;  // instead of the delta-coded values
};

struct XmInstrument {
    std::string name;
    std::array<uint8_t, 96> keymap{};  // sample slot per note
    XmEnvelope volume_envelope;
    XmEnvelope panning_envelope;
    uint8_t vibrato_type = 0;
    uint8_t vibrato_sweep = 0;
    uint8_t vibrato_depth = 0;
    uint8_t vibrato_rate = 0;
    uint16_t fadeout = 0;  // as stored in the file
    std::vector<XmSample> samples;
    // Default 263 with samples, 29 without; the header is cut or zero-padded
    // to the size written. The keymap, envelopes and the rest are written
    // when the written sample count or `samples` is non-zero.
    std::optional<uint32_t> header_size;
    std::optional<uint16_t> sample_count;  // written instead of samples.size()
};

struct XmModule {
    std::string name;
    std::string tracker = "korvanti";
    uint16_t song_length = 1;
    uint16_t restart_position = 0;
    uint16_t channel_count = 4;
    uint16_t flags = 1;  // bit 0: linear frequency table
    uint16_t default_tempo = 6;
    uint16_t default_bpm = 125;
    std::vector<uint8_t> orders;  // up to 256 entries; the rest is written as 0
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
    uint32_t header_size = 276;  // from offset 60; the header is cut or zero-padded to it
    std::optional<uint16_t> pattern_count;     // written instead of patterns.size()
    std::optional<uint16_t> instrument_count;  // written instead of instruments.size()
};

// The whole file, little-endian, with packed patterns and delta-coded samples.
std::vector<uint8_t> xm_write(const XmModule& module);
// False when the file cannot be written.
bool xm_write_file(const XmModule& module, const std::string& path);
