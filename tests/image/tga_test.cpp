// The TGA reader against small files written by the tests: byte order, run
// decoding, every refusal with its message, and the buffer bounds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "image/tga.h"
#include "support/message_box_recording.h"
#include "support/scratch_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

// 18-byte header of the given type; the caller appends pixel data.
Bytes tga_header(uint8_t image_type, uint16_t width, uint16_t height, uint8_t bits) {
    Bytes bytes(18, 0);
    bytes[2] = image_type;
    bytes[12] = static_cast<uint8_t>(width & 0xFF);
    bytes[13] = static_cast<uint8_t>(width >> 8);
    bytes[14] = static_cast<uint8_t>(height & 0xFF);
    bytes[15] = static_cast<uint8_t>(height >> 8);
    bytes[16] = bits;
    return bytes;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class TgaReader : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = make_scratch_dir("tga_test");
        ASSERT_FALSE(directory_.empty());
        path_ = directory_ + "/image.tga";
        message_box_recording_reset();
        texture_ = Texture{};
    }
    void TearDown() override {
        tga_free_pixels(&texture_);
        remove_scratch_dir(directory_);
    }

    bool load(const Bytes& bytes) {
        FILE* file = fopen(path_.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
        return load_tga(&texture_, path_.c_str());
    }

    Bytes pixels(size_t count) const {
        return Bytes(texture_.pixels, texture_.pixels + count);
    }

    // Exactly one box, with this text and caption, OK button, no icon.
    void expect_one_box(const char* text, const char* caption = "ERROR") {
        ASSERT_EQ(message_box_recording.count, 1) << "first box: " << message_box_recording.boxes[0].text;
        const RecordedMessageBox& box = message_box_recording.boxes[0];
        EXPECT_STREQ(box.text, text);
        EXPECT_STREQ(box.caption, caption);
        EXPECT_EQ(box.icon, MessageBoxIcon::NONE);
        EXPECT_EQ(box.buttons, MessageBoxButtons::OK);
    }

    std::string directory_;
    std::string path_;
    Texture texture_;
};

TEST_F(TgaReader, UncompressedPixelsTurnFromBgrToRgbInFileRowOrder) {
    ASSERT_TRUE(load(concat(tga_header(2, 2, 1, 24), {1, 2, 3, 4, 5, 6})));
    EXPECT_EQ(message_box_recording.count, 0);
    ASSERT_NE(texture_.pixels, nullptr);
    EXPECT_EQ(pixels(6), (Bytes{3, 2, 1, 6, 5, 4}));
    EXPECT_EQ(texture_.width, 2u);
    EXPECT_EQ(texture_.height, 1u);
    EXPECT_EQ(texture_.bits_per_pixel, 24u);
    EXPECT_EQ(texture_.format, TGA_FORMAT_RGB);

    // Two rows: the first stored row stays first, whatever the descriptor says.
    tga_free_pixels(&texture_);
    Bytes two_rows = concat(tga_header(2, 1, 2, 24), {10, 20, 30, 40, 50, 60});
    two_rows[17] = 0x20;  // top-left origin bit
    ASSERT_TRUE(load(two_rows));
    EXPECT_EQ(pixels(6), (Bytes{30, 20, 10, 60, 50, 40}));
}

TEST_F(TgaReader, ThirtyTwoBitPixelsKeepAlphaLast) {
    ASSERT_TRUE(load(concat(tga_header(2, 2, 1, 32), {1, 2, 3, 4, 5, 6, 7, 8})));
    EXPECT_EQ(message_box_recording.count, 0);
    EXPECT_EQ(texture_.format, TGA_FORMAT_RGBA);
    EXPECT_EQ(pixels(8), (Bytes{3, 2, 1, 4, 7, 6, 5, 8}));

    tga_free_pixels(&texture_);
    ASSERT_TRUE(load(concat(tga_header(10, 3, 1, 32), {0x81, 1, 2, 3, 4, 0x00, 5, 6, 7, 8})));
    EXPECT_EQ(message_box_recording.count, 0);
    EXPECT_EQ(pixels(12), (Bytes{3, 2, 1, 4, 3, 2, 1, 4, 7, 6, 5, 8}));
}

TEST_F(TgaReader, RunLengthPacketsFillTheImage) {
    // One run packet of four pixels.
    ASSERT_TRUE(load(concat(tga_header(10, 2, 2, 24), {0x83, 7, 8, 9})));
    EXPECT_EQ(message_box_recording.count, 0);
    EXPECT_EQ(pixels(12), (Bytes{9, 8, 7, 9, 8, 7, 9, 8, 7, 9, 8, 7}));

    // Raw, then run, then raw; the file ends right after the last packet.
    tga_free_pixels(&texture_);
    ASSERT_TRUE(load(concat(tga_header(10, 5, 1, 24),
                            {0x01, 1, 2, 3, 4, 5, 6, 0x81, 7, 8, 9, 0x00, 10, 11, 12})));
    EXPECT_EQ(message_box_recording.count, 0);
    EXPECT_EQ(pixels(15), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7, 9, 8, 7, 12, 11, 10}));

    // A 128-pixel run (0xFF) and a 128-pixel raw packet (0x7F).
    tga_free_pixels(&texture_);
    Bytes big = concat(tga_header(10, 256, 1, 24), {0xFF, 1, 2, 3, 0x7F});
    for (int i = 0; i < 128; ++i) big.insert(big.end(), {0, 0, static_cast<uint8_t>(i)});
    ASSERT_TRUE(load(big));
    EXPECT_EQ(message_box_recording.count, 0);
    EXPECT_EQ(texture_.pixels[127 * 3], 3);
    EXPECT_EQ(texture_.pixels[128 * 3], 0);
    EXPECT_EQ(texture_.pixels[255 * 3], 127);
}

// The buffer is exactly width * height pixels: under AddressSanitizer any
// write past the 4th pixel stops the test.
TEST_F(TgaReader, PacketsRunningPastTheLastPixelAreRefused) {
    EXPECT_TRUE(load(concat(tga_header(10, 2, 2, 24), {0x84, 7, 8, 9})));
    expect_one_box("Too many pixels read");
    EXPECT_EQ(texture_.pixels, nullptr);

    message_box_recording_reset();
    EXPECT_TRUE(load(concat(tga_header(10, 2, 2, 24),
                            {0x02, 1, 1, 1, 2, 2, 2, 3, 3, 3, 0x01, 4, 4, 4, 5, 5, 5})));
    expect_one_box("Too many pixels read");
    EXPECT_EQ(texture_.pixels, nullptr);
}

TEST_F(TgaReader, ShortDataGivesTheMessageOfItsPlace) {
    struct Case {
        Bytes bytes;
        const char* message;
    };
    const Case cases[] = {
        {concat(tga_header(2, 2, 1, 24), {1, 2, 3, 4, 5}), "Could not read image data"},
        {tga_header(10, 2, 2, 24), "Could not read RLE header"},
        {concat(tga_header(10, 2, 2, 24), {0x81, 1, 2, 3}), "Could not read RLE header"},
        {concat(tga_header(10, 2, 2, 24), {0x01, 1, 2, 3, 4, 5}), "Could not read image data"},
        {concat(tga_header(10, 2, 2, 24), {0x83, 1, 2}), "Could not read from file"},
    };
    for (const Case& c : cases) {
        message_box_recording_reset();
        tga_free_pixels(&texture_);
        EXPECT_TRUE(load(c.bytes)) << c.message;  // the signature matched
        expect_one_box(c.message);
        EXPECT_EQ(texture_.pixels, nullptr) << c.message;
        EXPECT_EQ(texture_.width, 2u);
    }
}

TEST_F(TgaReader, HeadersOtherThanTheTwoSignaturesAreInvalidImages) {
    const int changed_byte[] = {0, 1, 3, 7, 8, 11};  // ID, colour map, origin
    for (int index : changed_byte) {
        for (uint8_t type : {uint8_t{2}, uint8_t{10}}) {
            message_box_recording_reset();
            Bytes bytes = concat(tga_header(type, 1, 1, 24), {1, 2, 3});
            bytes[index] = 1;
            EXPECT_FALSE(load(bytes)) << "byte " << index;
            expect_one_box("TGA file be type 2 or type 10 ", "Invalid Image");
            EXPECT_EQ(texture_.pixels, nullptr);
        }
    }
    for (uint8_t type : {uint8_t{1}, uint8_t{3}, uint8_t{9}, uint8_t{11}}) {
        message_box_recording_reset();
        EXPECT_FALSE(load(concat(tga_header(type, 1, 1, 24), {1, 2, 3})));
        expect_one_box("TGA file be type 2 or type 10 ", "Invalid Image");
    }
}

TEST_F(TgaReader, MissingFileAndShortHeaders) {
    EXPECT_FALSE(load_tga(&texture_, (directory_ + "/absent.tga").c_str()));
    expect_one_box("Could not open texture file");

    message_box_recording_reset();
    EXPECT_FALSE(load(Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
    expect_one_box("Could not read file header");

    message_box_recording_reset();
    EXPECT_FALSE(load(Bytes{}));
    expect_one_box("Could not read file header");

    message_box_recording_reset();
    Bytes short_info = tga_header(2, 1, 1, 24);
    short_info.resize(17);
    EXPECT_TRUE(load(short_info));
    expect_one_box("Could not read info header");
    EXPECT_EQ(texture_.pixels, nullptr);
}

TEST_F(TgaReader, SizesAndDepthsOutsideTheAcceptedRangeAreInvalid) {
    struct Case {
        uint16_t width, height;
        uint8_t bits;
    };
    const Case refused[] = {{1, 1, 8}, {1, 1, 16}, {1, 1, 15}, {1, 1, 0}, {0, 1, 24},
                            {1, 0, 32}, {8193, 1, 24}, {1, 8193, 32}, {65535, 65535, 32}};
    for (const Case& c : refused) {
        for (uint8_t type : {uint8_t{2}, uint8_t{10}}) {
            message_box_recording_reset();
            EXPECT_TRUE(load(concat(tga_header(type, c.width, c.height, c.bits), {0x80, 1, 2, 3, 4})));
            expect_one_box("Invalid texture information");
            EXPECT_EQ(texture_.pixels, nullptr);
            // The header's values stay in the record.
            EXPECT_EQ(texture_.width, c.width);
            EXPECT_EQ(texture_.height, c.height);
            EXPECT_EQ(texture_.bits_per_pixel, c.bits);
        }
    }

    // The largest side is still accepted: one 8192-pixel row in runs.
    message_box_recording_reset();
    Bytes row = tga_header(10, 8192, 1, 32);
    for (int i = 0; i < 64; ++i) row.insert(row.end(), {0xFF, 1, 2, 3, static_cast<uint8_t>(i)});
    EXPECT_TRUE(load(row));
    EXPECT_EQ(message_box_recording.count, 0);
    ASSERT_NE(texture_.pixels, nullptr);
    EXPECT_EQ(texture_.pixels[8191 * 4 + 3], 63);
}

}  // namespace
