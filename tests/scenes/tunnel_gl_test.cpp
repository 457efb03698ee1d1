// The tunnel: a textured tube under the masked overlay.
#include <GL/gl.h>

#include <cmath>
#include <memory>

#include "scene_fixture.h"
#include "scenes/scene_sequencer.h"
#include "scenes/texture_set.h"
#include "scenes/tunnel.h"

namespace {

using TunnelTest = SceneTest;

constexpr double PI = 3.14159265358979323846;

// Where a pixel's centre meets the overlay quad, in texture coordinates.
void overlay_coordinates(int32_t px, int32_t py, double* s, double* t) {
    const double half_height = std::tan(22.5 * PI / 180.0);
    const double half_width = half_height * SCENE_WIDTH / SCENE_HEIGHT;
    const double ndc_x = (px + 0.5) / SCENE_WIDTH * 2.0 - 1.0;
    const double ndc_y = (SCENE_HEIGHT - py - 0.5) / SCENE_HEIGHT * 2.0 - 1.0;
    const double x = ndc_x * half_width - 0.55;  // the quad is 1 unit away, at (0.55, -0.42)
    const double y = ndc_y * half_height + 0.42;
    *s = (x + 1.1) / 2.2 * 2.0;
    *t = (y + 1.1) / 2.2 * 2.0;
}

TEST_F(TunnelTest, TheTubeIsTexturedAndTheOverlayShowsWhereTheMaskIsBlack) {
    auto frame = std::make_unique<Frame>();
    ASSERT_EQ(draw_at(4, 40), 1);
    read_frame(frame.get());
    save_artifact(*frame, "tunnel");

    int64_t image_pixels = 0, image_right = 0, tube_pixels = 0, tube_lit = 0;
    int64_t light = 0, dark = 0;
    const double band_first = static_cast<double>(BAND_FIRST) / PICTURE_SIZE;
    const double band_end = static_cast<double>(BAND_LAST + 1) / PICTURE_SIZE;
    const double margin = 0.04;  // keep clear of texel edges, where linear filtering blends
    for (int32_t py = 0; py < SCENE_HEIGHT; ++py) {
        for (int32_t px = 0; px < SCENE_WIDTH; ++px) {
            double s = 0.0, t = 0.0;
            overlay_coordinates(px, py, &s, &t);
            if (s < 0.0) continue;  // the sliver left of the quad
            const double fs = s - std::floor(s), ft = t - std::floor(t);
            const Rgb& p = frame->pixels[py][px];
            if (fs > 0.06 && fs < 0.44) {
                const bool top = ft > margin && ft < 0.5 - margin;
                const bool bottom = ft > 0.5 + margin && ft < 1.0 - margin;
                if (!top && !bottom) continue;
                ++image_pixels;
                image_right += near_colour(p, top ? IMAGE_TOP : IMAGE_BOTTOM, 2);
            } else if (fs > 0.56 && fs < 0.94) {
                if (ft > band_first + margin / 2 && ft < band_end - margin / 2) {
                    ++image_pixels;
                    image_right += near_colour(p, IMAGE_BAND, 2);
                } else if (ft < band_first - margin / 2 || ft > band_end + margin / 2) {
                    ++tube_pixels;
                    tube_lit += (p.r > 20 || p.g > 20 || p.b > 20);
                    light += near_colour(p, WALL_LIGHT, 40);
                    dark += near_colour(p, WALL_DARK, 40);
                }
            }
        }
    }
    ASSERT_GT(image_pixels, 20000);
    ASSERT_GT(tube_pixels, 20000);
    EXPECT_EQ(image_right, image_pixels);
    EXPECT_GT(tube_lit, tube_pixels * 95 / 100);
    EXPECT_GT(light, tube_pixels / 5);
    EXPECT_GT(dark, tube_pixels / 5);
}

TEST_F(TunnelTest, MovesHalfARingAFrameAndTurnsTheSharedAngleByATenth) {
    scene_state.spin_angle = 100.0f;
    for (int32_t frame = 0; frame < 7; ++frame) draw_at(5, 0);
    EXPECT_EQ(tunnel_state.tunnel_pos, 3.5f);
    EXPECT_NEAR(scene_state.spin_angle, 100.7f, 1e-4f);
}

TEST_F(TunnelTest, AfterTwelveHundredFramesOnlyTheOverlayRemains) {
    auto frame = std::make_unique<Frame>();
    tunnel_state.tunnel_pos = 600.0f;
    draw_at(5, 0);
    read_frame(frame.get());
    for (int32_t py = 0; py < SCENE_HEIGHT; ++py) {
        for (int32_t px = 0; px < SCENE_WIDTH; ++px) {
            double s = 0.0, t = 0.0;
            overlay_coordinates(px, py, &s, &t);
            const double fs = s - std::floor(s);
            const double ft = t - std::floor(t);
            const bool band = ft * PICTURE_SIZE > BAND_FIRST - 2 && ft * PICTURE_SIZE < BAND_LAST + 3;
            if (s >= 0.0 && fs > 0.56 && fs < 0.94 && !band) {
                const Rgb& p = frame->pixels[py][px];
                ASSERT_TRUE(p.r == 0 && p.g == 0 && p.b == 0) << px << "," << py;
            }
        }
    }
}

}  // namespace
