// The capture's own PNG and WAV writers, read back by an independent reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "png_check.h"
#include "tools/capture/capture.h"

namespace {

std::string temp_path(const char* name) {
    return ::testing::TempDir() + "capture_files_" + std::to_string(getpid()) + "_" + name;
}

TEST(PngFile, PicturesReadBackExactly) {
    // An odd width catches row-stride mistakes; the pattern leaves no two rows alike.
    std::vector<uint8_t> scratch;
    const int32_t sizes[][2] = {{37, 23}, {1, 1}, {640, 2}};
    for (const auto& size : sizes) {
        const int32_t width = size[0];
        const int32_t height = size[1];
        std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
        for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7 + i / 3 * 13);
        const std::string path = temp_path("picture.png");
        ASSERT_TRUE(write_png(path, rgb.data(), width, height, &scratch));
        PngPicture picture;
        std::string why;
        ASSERT_TRUE(decode_png(read_file(path), &picture, &why)) << why;
        EXPECT_EQ(picture.width, width);
        EXPECT_EQ(picture.height, height);
        EXPECT_EQ(picture.rgb, rgb) << width << "x" << height;
        std::remove(path.c_str());
    }
    // A black frame is compressed, not stored.
    std::vector<uint8_t> black(640 * 480 * 3, 0);
    const std::string path = temp_path("black.png");
    ASSERT_TRUE(write_png(path, black.data(), 640, 480, &scratch));
    EXPECT_LT(read_file(path).size(), black.size() / 50);
    std::remove(path.c_str());
    // A file that cannot be created is reported.
    EXPECT_FALSE(write_png("/nonexistent-directory/x.png", black.data(), 640, 480, &scratch));
}

TEST(WavFile, HeaderAndLittleEndianSamples) {
    const std::string path = temp_path("sound.wav");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    uint8_t header[WAV_HEADER_BYTES];
    wav_header(header, 44100, 12);
    ASSERT_EQ(std::fwrite(header, 1, sizeof header, file), sizeof header);
    const int16_t pcm[6] = {1, -2, 32767, -32768, 256, -256};
    ASSERT_TRUE(wav_write_pcm(file, pcm, 3));
    std::fclose(file);
    const std::string bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 44u + 12u);
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
    };
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(u32(4), 36u + 12u);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(u32(24), 44100u);      // frames a second
    EXPECT_EQ(u32(28), 44100u * 4);  // bytes a second
    EXPECT_EQ(bytes[22], 2);         // channels
    EXPECT_EQ(bytes[34], 16);        // bits
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(u32(40), 12u);
    const uint8_t expected[12] = {0x01, 0x00, 0xFE, 0xFF, 0xFF, 0x7F, 0x00, 0x80, 0x00, 0x01, 0x00, 0xFF};
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(static_cast<uint8_t>(bytes[44 + i]), expected[i]) << i;
    std::remove(path.c_str());
}

}  // namespace
