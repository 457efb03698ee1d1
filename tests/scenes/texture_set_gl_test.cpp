// The texture set: what load_textures leaves in the nine slots and in GL,
// with good, odd and missing files.
#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <memory>
#include <vector>

#include "scene_fixture.h"
#include "scenes/scene_sequencer.h"
#include "scenes/scenes.h"
#include "scenes/texture_set.h"
#include "support/message_box_recording.h"

namespace {

class TextureSetTest : public SceneTest {
protected:
    void TearDown() override {
        SceneTest::TearDown();
        EXPECT_TRUE(write_scene_assets());  // the next test sees the usual pictures
    }
    // Loads the set again from the files as they are now.
    void reload() {
        reset_scenes();
        message_box_recording_reset();
        init_scenes();
        scene_state.fog_enabled = false;
    }
};

// GL's copy of a slot's texture level 0 as RGB bytes.
std::vector<uint8_t> texture_contents(int32_t slot, GLint* width, GLint* height) {
    glBindTexture(GL_TEXTURE_2D, texture_set.textures[slot].texture_name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
    std::vector<uint8_t> bytes(static_cast<size_t>(*width) * static_cast<size_t>(*height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!bytes.empty()) glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, bytes.data());
    return bytes;
}

TEST_F(TextureSetTest, SlotsZeroToSixBecomeLinearTexturesAndSevenAndEightKeepTheirPixels) {
    for (int32_t slot = 0; slot < 7; ++slot) {
        SCOPED_TRACE(slot);
        const Texture& texture = texture_set.textures[slot];
        EXPECT_NE(texture.texture_name, 0u);
        EXPECT_EQ(texture.pixels, nullptr);
        EXPECT_TRUE(glIsTexture(texture.texture_name));
        for (int32_t other = 0; other < slot; ++other) {
            EXPECT_NE(texture_set.textures[other].texture_name, texture.texture_name);
        }
        glBindTexture(GL_TEXTURE_2D, texture.texture_name);
        GLint min_filter = 0, mag_filter = 0, internal_format = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min_filter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag_filter);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal_format);
        EXPECT_EQ(min_filter, GL_LINEAR);
        EXPECT_EQ(mag_filter, GL_LINEAR);
        EXPECT_EQ(internal_format, 3);  // three components, as requested
    }
    for (int32_t slot = 7; slot < 9; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_NE(texture_set.textures[slot].pixels, nullptr);
        EXPECT_EQ(texture_set.textures[slot].texture_name, 0u);
        EXPECT_EQ(texture_set.textures[slot].width, 16u);
    }
    EXPECT_EQ(texture_set.textures[8].bits_per_pixel, 32u);
    EXPECT_EQ(message_box_recording.count, 0);

    // The wall's texels arrive in GL as stored, first stored row first.
    GLint width = 0, height = 0;
    const std::vector<uint8_t> wall = texture_contents(0, &width, &height);
    ASSERT_EQ(width, PICTURE_SIZE);
    ASSERT_EQ(height, PICTURE_SIZE);
    for (int32_t y = 0; y < PICTURE_SIZE; ++y) {
        for (int32_t x = 0; x < PICTURE_SIZE; ++x) {
            const uint8_t* p = &wall[static_cast<size_t>((y * PICTURE_SIZE + x) * 3)];
            const Rgb expected = wall_texel(x, y);
            ASSERT_TRUE(p[0] == expected.r && p[1] == expected.g && p[2] == expected.b)
                << x << "," << y;
        }
    }
}

TEST_F(TextureSetTest, ThirtyTwoBitAndOddWidthImagesUploadWithoutMisreadingRows) {
    const auto gradient = [](int32_t x, int32_t y) {
        return Rgb{static_cast<uint8_t>(x * 40), static_cast<uint8_t>(y * 60),
                   static_cast<uint8_t>(200 - x * 10 - y)};
    };
    ASSERT_TRUE(write_tga("Data/vand.tga", 6, 4, 32, gradient, 7));
    ASSERT_TRUE(write_tga("Data/mask_alpha.tga", 5, 3, 24, gradient));
    reload();
    for (int32_t slot : {4, 1}) {
        SCOPED_TRACE(slot);
        GLint width = 0, height = 0;
        const std::vector<uint8_t> bytes = texture_contents(slot, &width, &height);
        ASSERT_EQ(width, slot == 4 ? 6 : 5);
        ASSERT_EQ(height, slot == 4 ? 4 : 3);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = &bytes[static_cast<size_t>((y * width + x) * 3)];
                const Rgb expected = gradient(x, y);
                EXPECT_TRUE(p[0] == expected.r && p[1] == expected.g && p[2] == expected.b)
                    << x << "," << y;
            }
        }
    }
}

TEST_F(TextureSetTest, AMissingFileIsReportedAndItsSlotStillGetsATexture) {
    ASSERT_EQ(std::remove("Data/code.tga"), 0);
    ASSERT_EQ(std::remove("Data/gul.tga"), 0);
    reload();
    ASSERT_EQ(message_box_recording.count, 2);
    EXPECT_STREQ(message_box_recording.boxes[0].text, "Could not open texture file");
    EXPECT_STREQ(message_box_recording.boxes[1].text, "Could not open texture file");
    EXPECT_EQ(texture_set.textures[8].pixels, nullptr);
    EXPECT_NE(texture_set.textures[7].pixels, nullptr);
    EXPECT_NE(texture_set.textures[0].texture_name, 0u);

    // The tunnel still draws: the wall is whatever the empty texture gives,
    // the overlay is there.
    auto frame = std::make_unique<Frame>();
    EXPECT_EQ(draw_at(4, 40), 1);
    read_frame(frame.get());
    EXPECT_GT(lit_fraction(*frame, 200), 0.3);
}

TEST_F(TextureSetTest, ATruncatedImageLeavesATextureOfItsSizeWithoutPixels) {
    const auto white = [](int32_t, int32_t) { return Rgb{255, 255, 255}; };
    ASSERT_TRUE(write_tga("Data/mask2.tga", 32, 32, 24, white));
    FILE* file = std::fopen("Data/mask2.tga", "r+b");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(ftruncate(fileno(file), 18 + 100), 0);
    std::fclose(file);
    reload();
    ASSERT_EQ(message_box_recording.count, 1);
    EXPECT_STREQ(message_box_recording.boxes[0].text, "Could not read image data");
    EXPECT_EQ(texture_set.textures[3].pixels, nullptr);
    GLint width = 0, height = 0;
    glBindTexture(GL_TEXTURE_2D, texture_set.textures[3].texture_name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(width, 32);
    EXPECT_EQ(height, 32);
}

}  // namespace
