// The pictures, drawn in integer arithmetic. Periodic patterns use whole
// numbers of cycles across the image so that the textures tile without seams.
#include "tools/make_assets/images.h"

#include <algorithm>
#include <cstdlib>

#include "tools/make_assets/canvas.h"
#include "tools/make_assets/synth.h"

namespace {

constexpr int32_t SIDE = 256;

// Phase of a wave with `cycles` cycles over the 256 pixels of a side.
uint32_t tile_phase(int32_t cycles, int32_t position) {
    return static_cast<uint32_t>(cycles * position) << 24;
}

// --- Tunnel wall: a riveted amber panel with a band of light across it ------

Colour wall_base(int32_t x, int32_t y, Noise& grain) {
    // Brushed metal: noise that changes slowly along a row.
    int32_t streak = sine_q15(tile_phase(3, y) + tile_phase(1, x)) / 4096;
    int32_t speck = noise_next(grain) / 8192;
    int32_t shade = 200 + streak + speck;
    return scaled(Colour{236, 178, 44}, shade, 220);
}

void wall_bevel(Image& image) {
    const Colour light{255, 226, 120};
    const Colour dark{122, 78, 8};
    for (int32_t i = 0; i < 6; ++i) {
        draw_line(image, i, i, SIDE - 1 - i, i, mix(light, get_pixel(image, 128, 8), i * 30));
        draw_line(image, i, i, i, SIDE - 1 - i, mix(light, get_pixel(image, 8, 128), i * 30));
        draw_line(image, i, SIDE - 1 - i, SIDE - 1 - i, SIDE - 1 - i, dark);
        draw_line(image, SIDE - 1 - i, i, SIDE - 1 - i, SIDE - 1 - i, dark);
    }
    // A groove just inside the bevel.
    frame_rect(image, 12, 12, SIDE - 24, SIDE - 24, Colour{150, 100, 16});
    frame_rect(image, 13, 13, SIDE - 26, SIDE - 26, Colour{255, 214, 104});
}

void rivet(Image& image, int32_t x, int32_t y) {
    fill_disc(image, x + 1, y + 1, 6, Colour{110, 70, 10});
    fill_disc(image, x, y, 5, Colour{210, 160, 60});
    fill_disc(image, x - 1, y - 1, 3, Colour{245, 210, 120});
    fill_disc(image, x - 2, y - 2, 1, Colour{255, 250, 220});
}

// A glowing strip across the panel: around the tube it becomes a ring of light.
void light_band(Image& image) {
    for (int32_t y = 96; y < 160; ++y) {
        int32_t distance = std::abs(y * 2 - 255);  // 1 at the centre rows
        int32_t glow = std::max(0, 256 - distance * distance / 16);
        for (int32_t x = 14; x < SIDE - 14; ++x) blend_pixel(image, x, y, Colour{255, 248, 200}, glow);
    }
    draw_line(image, 14, 112, SIDE - 15, 112, Colour{160, 110, 20});
    draw_line(image, 14, 143, SIDE - 15, 143, Colour{160, 110, 20});
}

void vent_slots(Image& image, int32_t y) {
    for (int32_t x = 40; x < 216; x += 22) {
        fill_rect(image, x, y, 14, 5, Colour{70, 42, 4});
        draw_line(image, x, y + 5, x + 13, y + 5, Colour{255, 220, 120});
    }
}

Image tunnel_wall() {
    Image image = image_filled(SIDE, SIDE, 0, 0, 0);
    Noise grain = noise_seeded(0x47554C21);
    for (int32_t y = 0; y < SIDE; ++y)
        for (int32_t x = 0; x < SIDE; ++x) put_pixel(image, x, y, wall_base(x, y, grain));
    wall_bevel(image);
    light_band(image);
    vent_slots(image, 56);
    vent_slots(image, 196);
    for (int32_t y : {28, 228})
        for (int32_t x : {28, 128, 228}) rivet(image, x, y);
    return image;
}

// --- Water: warped waves with a net of caustic light -------------------------

int32_t ridge(uint32_t phase) {
    // Bright only near the zero crossings of the wave: (1 - |sin|)^3.
    int64_t edge = 32767 - std::abs(sine_q15(phase));
    return static_cast<int32_t>(edge * edge / 32767 * edge / 32767);
}

Colour water_at(int32_t x, int32_t y) {
    // Large swell, then two warped wave trains whose crossings form the net.
    int32_t swell = sine_q15(tile_phase(1, x) + tile_phase(2, y)) / 2 + sine_q15(tile_phase(3, x) - tile_phase(1, y)) / 2;
    uint32_t warp = static_cast<uint32_t>(sine_q15(tile_phase(2, x) + tile_phase(3, y)) * 40000 +
                                          sine_q15(tile_phase(5, x) - tile_phase(1, y)) * 12000);
    uint32_t warp2 = static_cast<uint32_t>(sine_q15(tile_phase(1, x) - tile_phase(2, y)) * 44000 +
                                           sine_q15(tile_phase(3, x) + tile_phase(4, y)) * 12000);
    int32_t light = ridge(tile_phase(3, x) + tile_phase(2, y) + warp) / 2 +
                    ridge(tile_phase(-2, x) + tile_phase(3, y) + warp2) / 2;
    // Bright enough to read under the floor's light, which about halves it.
    Colour deep{24, 92, 168};
    Colour shallow{60, 164, 222};
    Colour water = mix(deep, shallow, 128 + swell / 256);
    return mix(water, Colour{225, 250, 255}, light / 140);
}

Image water() {
    Image image = image_filled(SIDE, SIDE, 0, 0, 0);
    for (int32_t y = 0; y < SIDE; ++y)
        for (int32_t x = 0; x < SIDE; ++x) put_pixel(image, x, y, water_at(x, y));
    return image;
}

// --- The overlay pair --------------------------------------------------------
//
// Drawn on a screen-shaped canvas (row 0 at the top of the screen), then
// turned upside down into the stored rows that the screen shows.

constexpr int32_t HUD_HEIGHT = HUD_TOP_ROW - HUD_BOTTOM_ROW + 1;
constexpr uint8_t MASK_SOLID = 0;  // overlay covers the tunnel
constexpr uint8_t MASK_GLASS = 100;  // tinted, the tunnel shows dimmed

const Colour HUD_DARK{10, 26, 38};
const Colour HUD_EDGE{70, 190, 230};
const Colour HUD_BRIGHT{170, 245, 255};
const Colour HUD_ACCENT{255, 144, 32};

struct Hud {
    Image picture;  // what is added over the darkened frame
    Image mask;     // what the frame is multiplied by
};

void hud_fill(Hud& hud, int32_t x, int32_t y, int32_t width, int32_t height, Colour colour, uint8_t mask) {
    fill_rect(hud.picture, x, y, width, height, colour);
    fill_rect(hud.mask, x, y, width, height, Colour{mask, mask, mask});
}

void hud_line(Hud& hud, int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour colour) {
    draw_line(hud.picture, x0, y0, x1, y1, colour);
    draw_line(hud.mask, x0, y0, x1, y1, Colour{MASK_SOLID, MASK_SOLID, MASK_SOLID});
}

// The title tab: a full-width strip with a wider tab in the middle whose lower
// corners are cut at 45 degrees, carrying the name.
void hud_title(Hud& hud) {
    hud_fill(hud, 0, 0, SIDE, 6, HUD_DARK, MASK_SOLID);
    hud_line(hud, 0, 5, SIDE - 1, 5, HUD_EDGE);
    for (int32_t y = 6; y < 38; ++y) {
        int32_t inset = std::max(0, y - 27);
        hud_fill(hud, 34 + inset, y, SIDE - 68 - 2 * inset, 1, HUD_DARK, MASK_SOLID);
        put_pixel(hud.picture, 34 + inset, y, HUD_EDGE);
        put_pixel(hud.picture, SIDE - 35 - inset, y, HUD_EDGE);
    }
    hud_line(hud, 44, 37, SIDE - 45, 37, HUD_EDGE);
    const char* name = "korvanti";
    int32_t width = text_width(name, 3);
    int32_t x = (SIDE - width) / 2;
    draw_text(hud.picture, x + 1, 10, name, 3, Colour{0, 70, 100});
    draw_text(hud.picture, x, 9, name, 3, HUD_BRIGHT);
    hud_line(hud, x, 32, x + width - 1, 32, HUD_ACCENT);
    // Status lights either side of the tab.
    for (int32_t i = 0; i < 3; ++i) {
        hud_fill(hud, 6 + i * 8, 1, 5, 3, i == 0 ? HUD_ACCENT : HUD_EDGE, MASK_SOLID);
        hud_fill(hud, SIDE - 11 - i * 8, 1, 5, 3, i == 0 ? HUD_ACCENT : HUD_EDGE, MASK_SOLID);
    }
}

// Side rails with tick marks, and corner brackets around the view.
void hud_frame(Hud& hud) {
    for (int32_t x : {0, SIDE - 5}) {
        hud_fill(hud, x, 6, 5, HUD_HEIGHT - 28, HUD_DARK, MASK_SOLID);
        hud_line(hud, x == 0 ? 4 : x, 6, x == 0 ? 4 : x, HUD_HEIGHT - 23, HUD_EDGE);
    }
    for (int32_t y = 24; y < HUD_HEIGHT - 24; y += 12) {
        int32_t length = (y % 36 == 0) ? 6 : 3;
        hud_line(hud, 5, y, 4 + length, y, HUD_EDGE);
        hud_line(hud, SIDE - 5 - length, y, SIDE - 6, y, HUD_EDGE);
    }
    const int32_t left = 16, right = SIDE - 17, top = 46, bottom = HUD_HEIGHT - 34;
    for (int32_t thickness = 0; thickness < 2; ++thickness) {
        hud_line(hud, left, top + thickness, left + 14, top + thickness, HUD_BRIGHT);
        hud_line(hud, left + thickness, top, left + thickness, top + 14, HUD_BRIGHT);
        hud_line(hud, right - 14, top + thickness, right, top + thickness, HUD_BRIGHT);
        hud_line(hud, right - thickness, top, right - thickness, top + 14, HUD_BRIGHT);
        hud_line(hud, left, bottom - thickness, left + 14, bottom - thickness, HUD_BRIGHT);
        hud_line(hud, left + thickness, bottom - 14, left + thickness, bottom, HUD_BRIGHT);
        hud_line(hud, right - 14, bottom - thickness, right, bottom - thickness, HUD_BRIGHT);
        hud_line(hud, right - thickness, bottom - 14, right - thickness, bottom, HUD_BRIGHT);
    }
}

// A small reticle in the middle of the view: a broken ring and four ticks.
void hud_reticle(Hud& hud) {
    const int32_t cx = SIDE / 2, cy = HUD_HEIGHT / 2 + 4;
    for (int32_t dy = -11; dy <= 11; ++dy)
        for (int32_t dx = -11; dx <= 11; ++dx) {
            int32_t d2 = dx * dx + dy * dy;
            bool on_ring = d2 >= 81 && d2 <= 110;
            bool in_gap = std::abs(dx) < 3 || std::abs(dy) < 3;
            if (on_ring && !in_gap) hud_line(hud, cx + dx, cy + dy, cx + dx, cy + dy, HUD_EDGE);
        }
    hud_line(hud, cx - 20, cy, cx - 14, cy, HUD_BRIGHT);
    hud_line(hud, cx + 14, cy, cx + 20, cy, HUD_BRIGHT);
    hud_line(hud, cx, cy - 20, cx, cy - 14, HUD_BRIGHT);
    hud_line(hud, cx, cy + 14, cx, cy + 20, HUD_BRIGHT);
    hud_line(hud, cx, cy, cx, cy, HUD_ACCENT);
}

// The bottom console: a dark strip with a glass window holding a level meter
// and the tempo read-out.
void hud_console(Hud& hud) {
    const int32_t top = HUD_HEIGHT - 23;
    hud_fill(hud, 0, top, SIDE, 23, HUD_DARK, MASK_SOLID);
    hud_line(hud, 0, top, SIDE - 1, top, HUD_EDGE);
    hud_fill(hud, 10, top + 5, 100, 13, Colour{8, 40, 52}, MASK_GLASS);
    frame_rect(hud.picture, 10, top + 5, 100, 13, HUD_EDGE);
    for (int32_t segment = 0; segment < 12; ++segment) {
        Colour colour = segment < 8 ? HUD_EDGE : (segment < 10 ? HUD_BRIGHT : HUD_ACCENT);
        hud_fill(hud, 14 + segment * 8, top + 8, 6, 7, segment < 10 ? colour : scaled(colour, 1, 2), MASK_SOLID);
    }
    hud_fill(hud, SIDE - 96, top + 5, 86, 13, Colour{8, 40, 52}, MASK_GLASS);
    frame_rect(hud.picture, SIDE - 96, top + 5, 86, 13, HUD_EDGE);
    draw_text(hud.picture, SIDE - 90, top + 8, "129 bpm", 1, HUD_BRIGHT);
    for (int32_t i = 0; i < 5; ++i) hud_fill(hud, 124 + i * 4, top + 10, 2, 2, HUD_ACCENT, MASK_SOLID);
}

// Canvas row y (0 = top of the screen) goes to stored row HUD_TOP_ROW - y;
// the rows the screen never shows repeat the nearest shown row.
Image stored_rows(const Image& canvas) {
    Image image = image_filled(SIDE, SIDE, 0, 0, 0);
    for (int32_t row = 0; row < SIDE; ++row) {
        int32_t y = std::clamp(HUD_TOP_ROW - row, 0, HUD_HEIGHT - 1);
        for (int32_t x = 0; x < SIDE; ++x) put_pixel(image, x, row, get_pixel(canvas, x, y));
    }
    return image;
}

Hud overlay() {
    Hud hud{image_filled(SIDE, HUD_HEIGHT, 0, 0, 0), image_filled(SIDE, HUD_HEIGHT, 255, 255, 255)};
    hud_title(hud);
    hud_frame(hud);
    hud_reticle(hud);
    hud_console(hud);
    return Hud{stored_rows(hud.picture), stored_rows(hud.mask)};
}

// --- The unused masks and plate ---------------------------------------------

// A soft round spot in eight grey levels.
Image soft_spot(int32_t side) {
    Image image = image_filled(side, side, 0, 0, 0);
    int32_t centre = side / 2, radius = side / 2 - 4;
    for (int32_t y = 0; y < side; ++y)
        for (int32_t x = 0; x < side; ++x) {
            int32_t dx = x - centre, dy = y - centre;
            int32_t level = 255 - (dx * dx + dy * dy) * 255 / (radius * radius);
            level = std::max(0, level) / 32 * 36;
            level = std::min(level, 255);
            put_pixel(image, x, y, Colour{uint8_t(level), uint8_t(level), uint8_t(level)});
        }
    return image;
}

// A white window with cut corners on black, like the overlay's panels.
Image window_mask(int32_t side, int32_t margin) {
    Image image = image_filled(side, side, 0, 0, 0);
    for (int32_t y = margin; y < side - margin; ++y) {
        int32_t edge = std::min(y - margin, side - 1 - margin - y);
        int32_t inset = std::max(0, 12 - edge);
        fill_rect(image, margin + inset, y, side - 2 * margin - 2 * inset, 1, Colour{255, 255, 255});
    }
    return image;
}

Image ring_mask(int32_t side) {
    Image image = image_filled(side, side, 0, 0, 0);
    int32_t centre = side / 2;
    for (int32_t y = 0; y < side; ++y)
        for (int32_t x = 0; x < side; ++x) {
            int32_t d2 = (x - centre) * (x - centre) + (y - centre) * (y - centre);
            if (d2 >= 18 * 18 && d2 <= 27 * 27) put_pixel(image, x, y, Colour{255, 255, 255});
        }
    return image;
}

// The production's plate: name and caption on a dark panel with scan lines.
Image code_plate(int32_t side) {
    Image image = window_mask(side, 8);
    for (int32_t y = 0; y < side; ++y)
        for (int32_t x = 0; x < side; ++x)
            if (get_pixel(image, x, y).red != 0) put_pixel(image, x, y, y % 3 == 0 ? Colour{6, 18, 28} : HUD_DARK);
    frame_rect(image, 14, 14, side - 28, side - 28, HUD_EDGE);
    draw_text(image, (side - text_width("korvanti", 2)) / 2, 40, "korvanti", 2, HUD_BRIGHT);
    draw_line(image, 24, 58, side - 25, 58, HUD_ACCENT);
    draw_text(image, (side - text_width("code", 1)) / 2, 66, "code", 1, HUD_EDGE);
    draw_text(image, (side - text_width("129 bpm", 1)) / 2, 80, "129 bpm", 1, HUD_EDGE);
    return image;
}

}  // namespace

std::vector<NamedImage> build_images() {
    Hud hud = overlay();
    std::vector<NamedImage> images;
    images.push_back({"Data/gul.tga", tunnel_wall(), false});
    images.push_back({"Data/mask_alpha.tga", soft_spot(128), true});
    images.push_back({"Data/mask_main.tga", window_mask(128, 4), false});
    images.push_back({"Data/mask2.tga", ring_mask(64), true});
    images.push_back({"Data/vand.tga", water(), false});
    images.push_back({"Data/hud3_mask.tga", hud.mask, true});
    images.push_back({"Data/hud3.tga", hud.picture, true});
    images.push_back({"Data/code_mask.tga", window_mask(128, 8), true});
    images.push_back({"Data/code.tga", code_plate(128), false});
    return images;
}
