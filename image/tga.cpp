// TGA reader. Two kinds of file only, told apart by their whole 12-byte
// header: anything with an image ID, a colour map or an origin is refused.
// Stored pixels are B, G, R(, A); the buffer gets R, G, B(, A), rows in the
// order the file stores them (the descriptor's origin bit is not looked at).
#include "image/tga.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr uint8_t UNCOMPRESSED_SIGNATURE[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t RUN_LENGTH_SIGNATURE[12] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};

void tga_error(const char* text, const char* caption = "ERROR") {
    show_message_box(text, caption, MessageBoxIcon::NONE, MessageBoxButtons::OK);
}

// Common start of both readers: the 6-byte info header and the buffer.
// Returns the bytes per pixel (3 or 4), or 0 after reporting and closing.
uint32_t tga_read_info(Texture* texture, FILE* file) {
    uint8_t info[6];
    if (fread(info, 1, sizeof info, file) != sizeof info) {
        tga_error("Could not read info header");
        fclose(file);
        return 0;
    }
    texture->width = info[0] + 256u * info[1];
    texture->height = info[2] + 256u * info[3];
    texture->bits_per_pixel = info[4];
    // The side limit keeps the buffer below 256 MiB whatever the header says.
    if (texture->width == 0 || texture->height == 0 || texture->width > TGA_MAX_SIDE ||
        texture->height > TGA_MAX_SIDE ||
        (texture->bits_per_pixel != 24 && texture->bits_per_pixel != 32)) {
        tga_error("Invalid texture information");
        fclose(file);
        return 0;
    }
    texture->format = texture->bits_per_pixel == 24 ? TGA_FORMAT_RGB : TGA_FORMAT_RGBA;
    uint32_t bytes_per_pixel = texture->bits_per_pixel / 8;
    size_t image_size = size_t{bytes_per_pixel} * texture->width * texture->height;
    texture->pixels = static_cast<uint8_t*>(malloc(image_size));
    if (texture->pixels == nullptr) {
        tga_error("Could not allocate memory for image");
        fclose(file);
        return 0;
    }
    return bytes_per_pixel;
}

// Ends a reader after a failure: the record keeps no half-read pixels.
bool tga_fail(Texture* texture, FILE* file, const char* text) {
    tga_error(text);
    fclose(file);
    tga_free_pixels(texture);
    return false;
}

bool tga_read_uncompressed(Texture* texture, FILE* file) {
    uint32_t bytes_per_pixel = tga_read_info(texture, file);
    if (bytes_per_pixel == 0) return false;
    size_t image_size = size_t{bytes_per_pixel} * texture->width * texture->height;
    if (fread(texture->pixels, 1, image_size, file) != image_size) {
        return tga_fail(texture, file, "Could not read image data");
    }
    for (size_t i = 0; i < image_size; i += bytes_per_pixel) {
        uint8_t blue = texture->pixels[i];
        texture->pixels[i] = texture->pixels[i + 2];
        texture->pixels[i + 2] = blue;
    }
    fclose(file);
    return true;
}

// Writes the scratch pixel (B, G, R, A) as R, G, B, A at pixel `index`.
void tga_store_pixel(Texture* texture, uint32_t index, const uint8_t* scratch,
                     uint32_t bytes_per_pixel) {
    uint8_t* out = texture->pixels + size_t{index} * bytes_per_pixel;
    out[0] = scratch[2];
    out[1] = scratch[1];
    out[2] = scratch[0];
    if (bytes_per_pixel == 4) out[3] = scratch[3];
}

bool tga_read_run_length(Texture* texture, FILE* file) {
    uint32_t bytes_per_pixel = tga_read_info(texture, file);
    if (bytes_per_pixel == 0) return false;
    uint32_t pixel_count = texture->width * texture->height;
    uint32_t current = 0;
    uint8_t scratch[4] = {};
    do {
        uint8_t header;
        if (fread(&header, 1, 1, file) != 1) {
            return tga_fail(texture, file, "Could not read RLE header");
        }
        if (header < 128) {
            // Raw packet: header + 1 stored pixels.
            for (uint32_t i = 0; i <= header; ++i) {
                if (fread(scratch, 1, bytes_per_pixel, file) != bytes_per_pixel) {
                    return tga_fail(texture, file, "Could not read image data");
                }
                if (current == pixel_count) {
                    return tga_fail(texture, file, "Too many pixels read");
                }
                tga_store_pixel(texture, current++, scratch, bytes_per_pixel);
            }
        } else {
            // Run packet: one stored pixel repeated header - 127 times.
            if (fread(scratch, 1, bytes_per_pixel, file) != bytes_per_pixel) {
                return tga_fail(texture, file, "Could not read from file");
            }
            for (uint32_t i = 0; i < header - 127u; ++i) {
                if (current == pixel_count) {
                    return tga_fail(texture, file, "Too many pixels read");
                }
                tga_store_pixel(texture, current++, scratch, bytes_per_pixel);
            }
        }
    } while (current < pixel_count);
    fclose(file);
    return true;
}

}  // namespace

bool load_tga(Texture* texture, const char* path) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        tga_error("Could not open texture file");
        return false;
    }
    uint8_t header[12];
    if (fread(header, 1, sizeof header, file) != sizeof header) {
        tga_error("Could not read file header");
        fclose(file);
        return false;
    }
    if (memcmp(header, UNCOMPRESSED_SIGNATURE, sizeof header) == 0) {
        tga_read_uncompressed(texture, file);
        return true;
    }
    if (memcmp(header, RUN_LENGTH_SIGNATURE, sizeof header) == 0) {
        tga_read_run_length(texture, file);
        return true;
    }
    tga_error("TGA file be type 2 or type 10 ", "Invalid Image");
    fclose(file);
    return false;
}

void tga_free_pixels(Texture* texture) {
    free(texture->pixels);
    texture->pixels = nullptr;
}
