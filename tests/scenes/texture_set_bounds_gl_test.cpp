// The texture set against image headers that ask for sizes the reader
// refuses: the refused size must not become a texture GL allocates.
#include <GL/gl.h>

#include <cstdio>
#include <vector>

#include "scene_fixture.h"
#include "scenes/scene_sequencer.h"
#include "scenes/scenes.h"
#include "scenes/texture_set.h"
#include "support/message_box_recording.h"

namespace {

class TextureSetBounds : public SceneTest {
protected:
    void TearDown() override {
        SceneTest::TearDown();
        EXPECT_TRUE(write_scene_assets());  // the next test sees the usual pictures
    }
};

// An 18-byte uncompressed header with the given size and depth, no pixels.
bool write_header_only(const char* path, uint16_t width, uint16_t height, uint8_t bits) {
    std::vector<uint8_t> bytes(18, 0);
    bytes[2] = 2;
    bytes[12] = uint8_t(width);
    bytes[13] = uint8_t(width >> 8);
    bytes[14] = uint8_t(height);
    bytes[15] = uint8_t(height >> 8);
    bytes[16] = bits;
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

void level_size(int32_t slot, GLint* width, GLint* height) {
    glBindTexture(GL_TEXTURE_2D, texture_set.textures[slot].texture_name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
}

}  // namespace

// 16000 x 16000 at 16 bits would be a gigabyte of texture storage from an
// 18-byte file; 9000 x 4 at 24 bits is past the reader's side limit. Both are
// refused by the reader and leave 0 x 0 textures. A refused depth at a size
// within the limit keeps the recorded size, as a cut file does.
TEST_F(TextureSetBounds, RefusedHeaderSizesGiveEmptyTextures) {
    ASSERT_TRUE(write_header_only("Data/gul.tga", 16000, 16000, 16));
    ASSERT_TRUE(write_header_only("Data/mask2.tga", 9000, 4, 24));
    ASSERT_TRUE(write_header_only("Data/vand.tga", 64, 32, 8));
    reset_scenes();
    message_box_recording_reset();
    init_scenes();
    ASSERT_EQ(message_box_recording.count, 3);
    for (int i = 0; i < 3; ++i) EXPECT_STREQ(message_box_recording.boxes[i].text, "Invalid texture information");
    GLint width = -1, height = -1;
    level_size(0, &width, &height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    level_size(3, &width, &height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    level_size(4, &width, &height);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 32);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    // The scenes still draw with them.
    EXPECT_EQ(draw_at(4, 40), 1);
}
