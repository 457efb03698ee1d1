// make_assets as a program of the build: the same bytes on every run, files
// where the demo looks for them, and the encoders behind them.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "asset_files.h"
#include "image/tga.h"
#include "support/message_box_recording.h"
#include "tools/make_assets/composition.h"
#include "tools/make_assets/synth.h"
#include "tools/make_assets/tga_writer.h"

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void remove_assets(const std::string& directory) {
    for (const AssetFile& file : generated_assets()) std::remove((directory + "/" + file.path).c_str());
    std::remove((directory + "/Data").c_str());
    std::remove(directory.c_str());
}

TEST(Generator, WritesTheSameTenFilesOnEveryRun) {
    const std::vector<AssetFile>& first = generated_assets();
    ASSERT_EQ(first.size(), 10u);
    EXPECT_EQ(first[0].path, "musik.xm");
    std::vector<AssetFile> second = build_assets();
    ASSERT_EQ(second.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(second[i].path, first[i].path);
        EXPECT_TRUE(second[i].bytes == first[i].bytes) << first[i].path;
    }
    // Through the files, into two directories.
    std::string one = make_temporary_directory("assets_a"), two = make_temporary_directory("assets_b");
    ASSERT_TRUE(write_assets(one));
    ASSERT_TRUE(write_assets(two));
    for (const AssetFile& file : first) {
        std::vector<uint8_t> a = read_file(one + "/" + file.path), b = read_file(two + "/" + file.path);
        EXPECT_FALSE(a.empty()) << file.path;
        EXPECT_TRUE(a == file.bytes) << file.path;
        EXPECT_TRUE(b == file.bytes) << file.path;
    }
    remove_assets(one);
    remove_assets(two);
}

// The build step ran and is current: the demo's run directory holds exactly
// what the generator makes now.
TEST(Generator, BuildFilledTheRunDirectory) {
    for (const AssetFile& file : generated_assets()) {
        std::vector<uint8_t> bytes = read_file(std::string(KORVANTI_RUNDIR) + "/" + file.path);
        EXPECT_FALSE(bytes.empty()) << file.path;
        EXPECT_TRUE(bytes == file.bytes) << file.path;
    }
}

TEST(Generator, ReportsADirectoryItCannotWrite) {
    std::string directory = make_temporary_directory("assets_blocked");
    ASSERT_FALSE(directory.empty());
    // "Data" exists as a file, so nothing can go under it.
    std::ofstream(directory + "/Data") << "x";
    EXPECT_FALSE(write_assets(directory));
    std::remove((directory + "/musik.xm").c_str());
    std::remove((directory + "/Data").c_str());
    std::remove(directory.c_str());
}

TEST(Synth, SineIsWithinOneUnitEverywhere) {
    int32_t worst = 0;
    for (uint32_t step = 0; step < 65536; ++step) {
        uint32_t phase = step << 16 | (step * 40503u & 0xFFFF);  // spread over the low bits too
        double exact = 32767.0 * std::sin(double(phase) * 2.0 * M_PI / 4294967296.0);
        worst = std::max(worst, int32_t(std::lround(std::fabs(exact - sine_q15(phase)))));
    }
    EXPECT_LE(worst, 1);
    EXPECT_EQ(sine_q15(0), 0);
    EXPECT_EQ(sine_q15(0x40000000u), 32767);
    EXPECT_EQ(sine_q15(0xC0000000u), -32767);
}

TEST(Composition, NoteNamesMapToTrackerNotes) {
    EXPECT_EQ(note_named("C0"), 1);
    EXPECT_EQ(note_named("C4"), 49);
    EXPECT_EQ(note_named("A4"), 58);
    EXPECT_EQ(note_named("G#3"), 45);
    EXPECT_EQ(note_named("B7"), 96);
    for (const char* bad : {"", "H2", "C8", "A", "C#", "Cb4", "A44"}) EXPECT_EQ(note_named(bad), 0) << bad;
}

// Both encodings read back through our TGA reader, across packet limits: runs
// longer than one packet, raw stretches longer than one packet, single pixels
// between runs, and rows that end inside a run.
TEST(TgaWriter, BothEncodingsReadBackAcrossPacketLimits) {
    Image image = image_filled(300, 4, 10, 20, 30);
    Noise noise = noise_seeded(7);
    for (int x = 0; x < 300; ++x) {
        uint8_t* raw = &image.rgb[(300 + x) * 3];  // row 1: all different
        raw[0] = uint8_t(noise_next(noise));
        raw[1] = uint8_t(x);
        raw[2] = uint8_t(x >> 8);
        uint8_t* mixed = &image.rgb[(600 + x) * 3];  // row 2: pairs and singles
        mixed[0] = uint8_t((x / 3) * 7);
        mixed[1] = uint8_t(x % 5 == 0 ? 200 : 100);
    }
    std::string directory = make_temporary_directory("tga");
    ASSERT_FALSE(directory.empty());
    for (bool run_length : {false, true}) {
        SCOPED_TRACE(run_length ? "run-length" : "uncompressed");
        std::vector<uint8_t> bytes = tga_encode(image, run_length);
        if (!run_length) {
            EXPECT_EQ(bytes.size(), 18u + 300 * 4 * 3);
        }
        std::string path = directory + "/image.tga";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        message_box_recording_reset();
        Texture texture{};
        ASSERT_TRUE(load_tga(&texture, path.c_str()));
        EXPECT_EQ(message_box_recording.count, 0);
        ASSERT_NE(texture.pixels, nullptr);
        ASSERT_EQ(texture.width, 300u);
        ASSERT_EQ(texture.height, 4u);
        EXPECT_EQ(std::memcmp(texture.pixels, image.rgb.data(), image.rgb.size()), 0);
        tga_free_pixels(&texture);
        std::remove(path.c_str());
    }
    std::remove(directory.c_str());
}

}  // namespace
