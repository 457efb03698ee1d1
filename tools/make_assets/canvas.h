// Drawing on an Image in plain integer arithmetic: rectangles, discs, lines,
// blends and a small 5x7 pixel font, for the demo's pictures.
#pragma once

#include <cstdint>

#include "tools/make_assets/tga_writer.h"

struct Colour {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

// Out-of-range coordinates are ignored, so shapes may overlap the border.
void put_pixel(Image& image, int32_t x, int32_t y, Colour colour);
Colour get_pixel(const Image& image, int32_t x, int32_t y);  // black outside
// Mixes `colour` into the pixel with weight amount / 256 (0..256).
void blend_pixel(Image& image, int32_t x, int32_t y, Colour colour, int32_t amount);
Colour mix(Colour a, Colour b, int32_t amount);  // amount / 256 of b
Colour scaled(Colour colour, int32_t numerator, int32_t denominator);  // clamped to 255

void fill_rect(Image& image, int32_t x, int32_t y, int32_t width, int32_t height, Colour colour);
void blend_rect(Image& image, int32_t x, int32_t y, int32_t width, int32_t height, Colour colour,
                int32_t amount);
// A one-pixel outline.
void frame_rect(Image& image, int32_t x, int32_t y, int32_t width, int32_t height, Colour colour);
void fill_disc(Image& image, int32_t centre_x, int32_t centre_y, int32_t radius, Colour colour);
// Horizontal or vertical only.
void draw_line(Image& image, int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour colour);

// Width in pixels of `text` at the given scale (5 columns and a gap per glyph).
int32_t text_width(const char* text, int32_t scale);
// Lower-case letters, digits, space, '.', '-' and ':'; other characters draw
// nothing but take their place.
void draw_text(Image& image, int32_t x, int32_t y, const char* text, int32_t scale, Colour colour);
