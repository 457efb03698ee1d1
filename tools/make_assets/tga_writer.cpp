#include "tools/make_assets/tga_writer.h"

#include <cstddef>

namespace {

constexpr uint8_t TYPE_UNCOMPRESSED = 2;
constexpr uint8_t TYPE_RUN_LENGTH = 10;
constexpr int32_t PACKET_MAX = 128;

void put_pixel(std::vector<uint8_t>& out, const uint8_t* rgb) {
    out.push_back(rgb[2]);
    out.push_back(rgb[1]);
    out.push_back(rgb[0]);
}

bool same_pixel(const uint8_t* a, const uint8_t* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

// One row as run packets (two or more equal pixels) and raw packets.
void encode_row(std::vector<uint8_t>& out, const uint8_t* row, int32_t width) {
    int32_t x = 0;
    while (x < width) {
        int32_t run = 1;
        while (x + run < width && run < PACKET_MAX && same_pixel(row + 3 * x, row + 3 * (x + run))) ++run;
        if (run >= 2) {
            out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
            put_pixel(out, row + 3 * x);
            x += run;
            continue;
        }
        // Raw: up to the next pair of equal pixels.
        int32_t count = 1;
        while (x + count < width && count < PACKET_MAX &&
               !(x + count + 1 < width && same_pixel(row + 3 * (x + count), row + 3 * (x + count + 1))))
            ++count;
        out.push_back(static_cast<uint8_t>(count - 1));
        for (int32_t i = 0; i < count; ++i) put_pixel(out, row + 3 * (x + i));
        x += count;
    }
}

}  // namespace

Image image_filled(int32_t width, int32_t height, uint8_t red, uint8_t green, uint8_t blue) {
    Image image{width, height, {}};
    image.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (size_t i = 0; i < image.rgb.size(); i += 3) {
        image.rgb[i] = red;
        image.rgb[i + 1] = green;
        image.rgb[i + 2] = blue;
    }
    return image;
}

std::vector<uint8_t> tga_encode(const Image& image, bool run_length) {
    std::vector<uint8_t> out(18, 0);
    out[2] = run_length ? TYPE_RUN_LENGTH : TYPE_UNCOMPRESSED;
    out[12] = static_cast<uint8_t>(image.width & 0xFF);
    out[13] = static_cast<uint8_t>(image.width >> 8);
    out[14] = static_cast<uint8_t>(image.height & 0xFF);
    out[15] = static_cast<uint8_t>(image.height >> 8);
    out[16] = 24;
    out[17] = 0;  // descriptor: no alpha bits; readers keep the stored row order
    const size_t row_bytes = static_cast<size_t>(image.width) * 3;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = image.rgb.data() + row_bytes * static_cast<size_t>(y);
        if (run_length) {
            encode_row(out, row, image.width);
        } else {
            for (int32_t x = 0; x < image.width; ++x) put_pixel(out, row + 3 * x);
        }
    }
    return out;
}
