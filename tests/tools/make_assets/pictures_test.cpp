// The nine pictures: the file headers the TGA reader requires, the pixels it
// reads back, and the properties the scenes rely on.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "asset_files.h"
#include "image/tga.h"
#include "support/message_box_recording.h"
#include "tools/make_assets/images.h"

namespace {

const char* const SLOT_FILES[9] = {"Data/gul.tga",       "Data/mask_alpha.tga", "Data/mask_main.tga",
                                   "Data/mask2.tga",     "Data/vand.tga",       "Data/hud3_mask.tga",
                                   "Data/hud3.tga",      "Data/code_mask.tga",  "Data/code.tga"};

uint16_t u16_at(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

bool power_of_two(uint16_t value) { return value != 0 && (value & (value - 1)) == 0; }

TEST(Pictures, NineTrueColourFilesWithTheReaderSignature) {
    int uncompressed = 0, run_length = 0;
    for (const char* path : SLOT_FILES) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t>& bytes = generated_file(path).bytes;
        ASSERT_GE(bytes.size(), 18u);
        // ID length, colour-map type and specification, origin: all 0.
        for (size_t i : {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11}) EXPECT_EQ(bytes[i], 0) << "byte " << i;
        ASSERT_TRUE(bytes[2] == 2 || bytes[2] == 10);
        (bytes[2] == 2 ? uncompressed : run_length) += 1;
        uint16_t width = u16_at(bytes, 12), height = u16_at(bytes, 14);
        EXPECT_TRUE(power_of_two(width)) << width;
        EXPECT_TRUE(power_of_two(height)) << height;
        EXPECT_EQ(bytes[16], 24);
        if (bytes[2] == 2) {
            EXPECT_EQ(bytes.size(), 18u + size_t{width} * height * 3);
        }
    }
    EXPECT_GT(uncompressed, 0);
    EXPECT_GT(run_length, 0);
    // The drawn ones are full-size textures.
    for (const char* path : {"Data/gul.tga", "Data/vand.tga", "Data/hud3_mask.tga", "Data/hud3.tga"}) {
        const std::vector<uint8_t>& bytes = generated_file(path).bytes;
        EXPECT_EQ(u16_at(bytes, 12), 256) << path;
        EXPECT_EQ(u16_at(bytes, 14), 256) << path;
    }
}

TEST(Pictures, ReaderLoadsExactlyThePixelsDrawn) {
    std::string directory = make_temporary_directory("pictures");
    ASSERT_FALSE(directory.empty());
    ASSERT_TRUE(write_assets(directory));
    std::vector<NamedImage> images = build_images();
    ASSERT_EQ(images.size(), 9u);
    for (size_t slot = 0; slot < images.size(); ++slot) {
        SCOPED_TRACE(images[slot].path);
        EXPECT_STREQ(images[slot].path, SLOT_FILES[slot]);
        message_box_recording_reset();
        Texture texture{};
        ASSERT_TRUE(load_tga(&texture, (directory + "/" + images[slot].path).c_str()));
        EXPECT_EQ(message_box_recording.count, 0) << message_box_recording.boxes[0].text;
        ASSERT_NE(texture.pixels, nullptr);
        EXPECT_EQ(texture.bits_per_pixel, 24u);
        ASSERT_EQ(int32_t(texture.width), images[slot].image.width);
        ASSERT_EQ(int32_t(texture.height), images[slot].image.height);
        EXPECT_EQ(std::memcmp(texture.pixels, images[slot].image.rgb.data(), images[slot].image.rgb.size()), 0);
        tga_free_pixels(&texture);
        std::remove((directory + "/" + images[slot].path).c_str());
    }
    std::remove((directory + "/musik.xm").c_str());
    std::remove((directory + "/Data").c_str());
    std::remove(directory.c_str());
}

const Image& image_of(const std::vector<NamedImage>& images, const char* path) {
    for (const NamedImage& image : images)
        if (std::strcmp(image.path, path) == 0) return image.image;
    static const Image none{0, 0, {}};
    ADD_FAILURE() << "no image " << path;
    return none;
}

int pixel_difference(const Image& image, int x0, int y0, int x1, int y1) {
    const uint8_t* a = &image.rgb[(size_t(y0) * image.width + x0) * 3];
    const uint8_t* b = &image.rgb[(size_t(y1) * image.width + x1) * 3];
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

// The wave floor repeats the water 15 times along each strip: the step from
// the last column to the first (and last row to first) must look like any
// step between neighbours inside the picture.
TEST(Pictures, WaterTilesWithoutASeam) {
    std::vector<NamedImage> images = build_images();
    const Image& water = image_of(images, "Data/vand.tga");
    ASSERT_EQ(water.width, 256);
    ASSERT_EQ(water.height, 256);
    long inside_x = 0, inside_y = 0, wrap_x = 0, wrap_y = 0;
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b + 1 < 256; ++b) {
            inside_x += pixel_difference(water, b, a, b + 1, a);
            inside_y += pixel_difference(water, a, b, a, b + 1);
        }
        wrap_x += pixel_difference(water, 255, a, 0, a);
        wrap_y += pixel_difference(water, a, 255, a, 0);
    }
    // Means per step; a seam would be several times the inside mean.
    EXPECT_LE(wrap_x * 255, inside_x * 3 / 2);
    EXPECT_LE(wrap_y * 255, inside_y * 3 / 2);
}

int brightness(const Image& image, int x, int y) {
    const uint8_t* p = &image.rgb[(size_t(y) * image.width + x) * 3];
    return p[0] + p[1] + p[2];
}

// The overlay adds hud3 over the tunnel darkened by hud3_mask: wherever the
// mask lets the whole tunnel through the picture must add nothing, the view
// in the middle must be open, and the name must sit in the top band of the
// stored rows that reach the screen.
TEST(Pictures, OverlayPairFramesTheTunnelWithTheName) {
    std::vector<NamedImage> images = build_images();
    const Image& mask = image_of(images, "Data/hud3_mask.tga");
    const Image& picture = image_of(images, "Data/hud3.tga");
    ASSERT_EQ(mask.width, picture.width);
    ASSERT_EQ(mask.height, picture.height);
    int covered = 0;
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            if (brightness(mask, x, y) == 3 * 255) {
                EXPECT_EQ(brightness(picture, x, y), 0) << x << "," << y;
            } else {
                ++covered;
            }
        }
    EXPECT_GT(covered, 2000);

    // The middle of the visible window: mostly open.
    int middle_open = 0, middle = 0;
    for (int y = HUD_BOTTOM_ROW + 40; y <= HUD_TOP_ROW - 50; ++y)
        for (int x = 30; x < 226; ++x, ++middle) middle_open += brightness(mask, x, y) == 3 * 255 ? 1 : 0;
    EXPECT_GT(middle_open * 10, middle * 9);

    // The top of the screen (the stored rows just below HUD_TOP_ROW): covered,
    // with bright lettering in the middle third.
    int bright = 0;
    for (int y = HUD_TOP_ROW - 32; y <= HUD_TOP_ROW - 6; ++y)
        for (int x = 64; x < 192; ++x) {
            EXPECT_EQ(brightness(mask, x, y), 0) << x << "," << y;
            bright += brightness(picture, x, y) > 500 ? 1 : 0;
        }
    EXPECT_GT(bright, 300);
}

}  // namespace
