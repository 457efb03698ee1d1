// The texture set: nine TGA slots, seven of them GL textures, and the
// two-pass masked overlay.
#include "scenes/texture_set.h"

#include <GL/gl.h>

#include <cstdlib>

TextureSet texture_set = {};

const char* const texture_file_names[TEXTURE_SLOT_COUNT] = {
    "Data/gul.tga",       "Data/mask_alpha.tga", "Data/mask_main.tga",
    "Data/mask2.tga",     "Data/vand.tga",       "Data/hud3_mask.tga",
    "Data/hud3.tga",      "Data/code_mask.tga",  "Data/code.tga",
};

namespace {

void upload_slot(Texture* texture) {
    GLuint name = 0;
    glGenTextures(1, &name);
    texture->texture_name = name;
    glBindTexture(GL_TEXTURE_2D, name);
    // A 32-bit image is passed as RGBA so its rows are not misread. A record
    // without pixels gets storage of its recorded size and undefined contents,
    // unless that size is one the reader refuses: a broken 18-byte header
    // must not make GL allocate a gigabyte of texture, so it gets 0 x 0.
    const GLenum format = (texture->pixels && texture->format == TGA_FORMAT_RGBA) ? GL_RGBA : GL_RGB;
    GLsizei width = static_cast<GLsizei>(texture->width);
    GLsizei height = static_cast<GLsizei>(texture->height);
    if (!texture->pixels && (texture->width > TGA_MAX_SIDE || texture->height > TGA_MAX_SIDE)) {
        width = 0;
        height = 0;
    }
    glTexImage2D(GL_TEXTURE_2D, 0, 3, width, height, 0, format, GL_UNSIGNED_BYTE, texture->pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    std::free(texture->pixels);
    texture->pixels = nullptr;
}

// The overlay quad: 2.2 units square, texture repeated twice each way.
void draw_overlay_quad() {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.1f, -1.1f, 0.0f);
    glTexCoord2f(2.0f, 0.0f);
    glVertex3f(1.1f, -1.1f, 0.0f);
    glTexCoord2f(2.0f, 2.0f);
    glVertex3f(1.1f, 1.1f, 0.0f);
    glTexCoord2f(0.0f, 2.0f);
    glVertex3f(-1.1f, 1.1f, 0.0f);
    glEnd();
}

}  // namespace

bool load_textures() {
    for (int32_t slot = 0; slot < TEXTURE_SLOT_COUNT; ++slot) {
        load_tga(&texture_set.textures[slot], texture_file_names[slot]);
    }
    // Pixel rows are packed: the reader stores width * bytes-per-pixel bytes a
    // row, so GL must not assume 4-byte row padding and read past the buffer.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int32_t slot = 0; slot < UPLOADED_SLOT_COUNT; ++slot) {
        upload_slot(&texture_set.textures[slot]);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    return true;
}

void draw_masked_overlay(float x, float y, float z, int32_t slot) {
    if (slot < 0 || slot + 1 >= UPLOADED_SLOT_COUNT) return;
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glLoadIdentity();
    glTranslatef(x, y, z);

    // Multiply by the mask: black parts blacken the frame, white leave it.
    glPushMatrix();
    glBindTexture(GL_TEXTURE_2D, texture_set.textures[slot].texture_name);
    draw_overlay_quad();
    glPopMatrix();

    // Add the image on top.
    glBlendFunc(GL_ONE, GL_ONE);
    glPushMatrix();
    glBindTexture(GL_TEXTURE_2D, texture_set.textures[slot + 1].texture_name);
    draw_overlay_quad();
    glPopMatrix();

    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}

void reset_texture_set() {
    for (Texture& texture : texture_set.textures) std::free(texture.pixels);
    texture_set = TextureSet{};
}
