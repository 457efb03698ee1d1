// The tunnel: a textured tube under the masked overlay.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The tube drawn the plain way, one quad at a time from the summed points.
void draw_reference_tube(float tunnel_pos) {
    double circle[16][2];
    float path[601][2];
    for (int k = 0; k < 16; ++k) {
        circle[k][0] = std::cos(k * PI / 8.0);
        circle[k][1] = std::sin(k * PI / 8.0);
    }
    for (int j = 0; j <= 600; ++j) {
        path[j][0] = static_cast<float>(std::cos(j * PI / 15.0));
        path[j][1] = static_cast<float>(std::sin(j * PI / 15.0));
    }
    const double s = tunnel_pos * PI / 15.0 - 3.0;
    const double sx = std::cos(s), sy = std::sin(s);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture_set.textures[0].texture_name);
    for (int j = 0; j < 600; ++j) {
        const float z0 = tunnel_pos - j, z1 = tunnel_pos - j - 1;
        for (int k = 0; k < 16; ++k) {
            const int k1 = (k + 1) % 16;
            glBegin(GL_QUADS);
            glTexCoord2f(0, 0);
            glVertex3d(sx + path[j][0] + circle[k][0], sy + path[j][1] + circle[k][1], z0);
            glTexCoord2f(0, 1);
            glVertex3d(sx + path[j + 1][0] + circle[k][0], sy + path[j + 1][1] + circle[k][1], z1);
            glTexCoord2f(1, 1);
            glVertex3d(sx + path[j + 1][0] + circle[k1][0], sy + path[j + 1][1] + circle[k1][1], z1);
            glTexCoord2f(1, 0);
            glVertex3d(sx + path[j][0] + circle[k1][0], sy + path[j][1] + circle[k1][1], z0);
            glEnd();
        }
    }
    glDisable(GL_TEXTURE_2D);
    draw_masked_overlay(0.55f, -0.42f, -1.0f, 5);
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

struct FrameDifference {
    int64_t pixels;     // pixels differing in any channel
    int32_t max_level;  // largest difference of one channel
};

FrameDifference compare_frames(const Frame& a, const Frame& b) {
    FrameDifference difference{0, 0};
    for (int32_t y = 0; y < SCENE_HEIGHT; ++y) {
        for (int32_t x = 0; x < SCENE_WIDTH; ++x) {
            const Rgb& p = a.pixels[y][x];
            const Rgb& q = b.pixels[y][x];
            const int32_t level = std::max({std::abs(p.r - q.r), std::abs(p.g - q.g),
                                            std::abs(p.b - q.b)});
            difference.pixels += level > 0;
            difference.max_level = std::max(difference.max_level, level);
        }
    }
    return difference;
}

// The scene draws the tube as one compiled list under the frame's
// translation; the plain way sums sway, path and circle per vertex. The sums
// round differently in the last bit, and the software renderer splits
// immediate-mode batches wherever its buffer wraps, so a few texels of the
// far, minified rings may be sampled a hair apart: allow a handful of
// pixels off by a few levels, nothing a viewer could see.
TEST_F(TunnelTest, TheCompiledTubeGivesThePictureOfThePlainOne) {
    auto compiled = std::make_unique<Frame>();
    auto again = std::make_unique<Frame>();
    auto plain = std::make_unique<Frame>();
    for (float pos : {0.0f, 17.5f, 250.0f, 499.5f, 598.0f}) {
        SCOPED_TRACE(pos);
        tunnel_state.tunnel_pos = pos;
        draw_at(5, 0);
        read_frame(compiled.get());
        tunnel_state.tunnel_pos = pos;
        draw_at(5, 0);
        read_frame(again.get());
        EXPECT_EQ(compare_frames(*compiled, *again).pixels, 0);

        draw_reference_tube(pos);
        read_frame(plain.get());
        const FrameDifference difference = compare_frames(*compiled, *plain);
        std::printf("tunnel_pos %.1f: %lld pixels differ, by at most %d\n", pos,
                    static_cast<long long>(difference.pixels), difference.max_level);
        EXPECT_LE(difference.pixels, SCENE_WIDTH * SCENE_HEIGHT / 1000);
        EXPECT_LE(difference.max_level, 2);
    }
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
