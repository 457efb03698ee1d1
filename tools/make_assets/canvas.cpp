#include "tools/make_assets/canvas.h"

#include <algorithm>
#include <cstring>

namespace {

struct Glyph {
    char character;
    const char* rows[7];  // '#' set
};

constexpr Glyph FONT[] = {
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'b', {"#....", "#....", "####.", "#...#", "#...#", "#...#", "####."}},
    {'c', {".....", ".....", ".####", "#....", "#....", "#....", ".####"}},
    {'d', {"....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'i', {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."}},
    {'k', {"#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#."}},
    {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
    {'p', {".....", ".....", "####.", "#...#", "####.", "#....", "#...."}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {'s', {".....", ".....", ".####", "#....", ".###.", "....#", "####."}},
    {'t', {".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."}},
    {'u', {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
    {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'y', {".....", ".....", "#...#", "#...#", ".####", "....#", ".###."}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "..##.", ".#...", "#....", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {'-', {".....", ".....", ".....", "####.", ".....", ".....", "....."}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
};

const Glyph* glyph_for(char character) {
    for (const Glyph& glyph : FONT)
        if (glyph.character == character) return &glyph;
    return nullptr;
}

bool inside(const Image& image, int32_t x, int32_t y) {
    return x >= 0 && y >= 0 && x < image.width && y < image.height;
}

size_t offset_of(const Image& image, int32_t x, int32_t y) {
    return (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * 3;
}

uint8_t channel_mix(uint8_t a, uint8_t b, int32_t amount) {
    return static_cast<uint8_t>((a * (256 - amount) + b * amount) / 256);
}

}  // namespace

void put_pixel(Image& image, int32_t x, int32_t y, Colour colour) {
    if (!inside(image, x, y)) return;
    size_t at = offset_of(image, x, y);
    image.rgb[at] = colour.red;
    image.rgb[at + 1] = colour.green;
    image.rgb[at + 2] = colour.blue;
}

Colour get_pixel(const Image& image, int32_t x, int32_t y) {
    if (!inside(image, x, y)) return Colour{0, 0, 0};
    size_t at = offset_of(image, x, y);
    return Colour{image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
}

Colour mix(Colour a, Colour b, int32_t amount) {
    amount = std::clamp(amount, 0, 256);
    return Colour{channel_mix(a.red, b.red, amount), channel_mix(a.green, b.green, amount),
                  channel_mix(a.blue, b.blue, amount)};
}

Colour scaled(Colour colour, int32_t numerator, int32_t denominator) {
    auto scale = [&](uint8_t value) {
        return static_cast<uint8_t>(std::clamp(value * numerator / denominator, 0, 255));
    };
    return Colour{scale(colour.red), scale(colour.green), scale(colour.blue)};
}

void blend_pixel(Image& image, int32_t x, int32_t y, Colour colour, int32_t amount) {
    if (!inside(image, x, y)) return;
    put_pixel(image, x, y, mix(get_pixel(image, x, y), colour, amount));
}

void fill_rect(Image& image, int32_t x, int32_t y, int32_t width, int32_t height, Colour colour) {
    for (int32_t row = y; row < y + height; ++row)
        for (int32_t column = x; column < x + width; ++column) put_pixel(image, column, row, colour);
}

void blend_rect(Image& image, int32_t x, int32_t y, int32_t width, int32_t height, Colour colour,
                int32_t amount) {
    for (int32_t row = y; row < y + height; ++row)
        for (int32_t column = x; column < x + width; ++column) blend_pixel(image, column, row, colour, amount);
}

void frame_rect(Image& image, int32_t x, int32_t y, int32_t width, int32_t height, Colour colour) {
    draw_line(image, x, y, x + width - 1, y, colour);
    draw_line(image, x, y + height - 1, x + width - 1, y + height - 1, colour);
    draw_line(image, x, y, x, y + height - 1, colour);
    draw_line(image, x + width - 1, y, x + width - 1, y + height - 1, colour);
}

void fill_disc(Image& image, int32_t centre_x, int32_t centre_y, int32_t radius, Colour colour) {
    for (int32_t dy = -radius; dy <= radius; ++dy)
        for (int32_t dx = -radius; dx <= radius; ++dx)
            if (dx * dx + dy * dy <= radius * radius) put_pixel(image, centre_x + dx, centre_y + dy, colour);
}

void draw_line(Image& image, int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour colour) {
    if (y0 == y1) {
        for (int32_t x = std::min(x0, x1); x <= std::max(x0, x1); ++x) put_pixel(image, x, y0, colour);
    } else if (x0 == x1) {
        for (int32_t y = std::min(y0, y1); y <= std::max(y0, y1); ++y) put_pixel(image, x0, y, colour);
    }
}

int32_t text_width(const char* text, int32_t scale) {
    int32_t count = static_cast<int32_t>(std::strlen(text));
    return count == 0 ? 0 : (count * 6 - 1) * scale;
}

void draw_text(Image& image, int32_t x, int32_t y, const char* text, int32_t scale, Colour colour) {
    for (int32_t index = 0; text[index] != '\0'; ++index) {
        const Glyph* glyph = glyph_for(text[index]);
        int32_t left = x + index * 6 * scale;
        if (glyph == nullptr) continue;
        for (int32_t row = 0; row < 7; ++row)
            for (int32_t column = 0; column < 5; ++column)
                if (glyph->rows[row][column] == '#') fill_rect(image, left + column * scale, y + row * scale, scale, scale, colour);
    }
}
