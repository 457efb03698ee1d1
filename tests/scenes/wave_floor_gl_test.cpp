// The wave floor: a lit textured floor and three lit spheres riding on it.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "scene_fixture.h"
#include "scenes/scene_sequencer.h"
#include "scenes/wave_floor.h"

namespace {

using WaveFloorTest = SceneTest;

// Screen position (row 0 at the top) of a point of the floor's turned frame.
bool floor_point_on_screen(float spin, double x, double y, double z, int32_t* px, int32_t* py) {
    GLdouble model[16], projection[16];
    GLint viewport[4];
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(10.0f, -5.0f, -25.0f);
    glRotatef(spin + 20.0f, 0.0f, 1.0f, 0.0f);
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glPopMatrix();
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    double wx = 0.0, wy = 0.0, wz = 0.0;
    if (gluProject(x, y, z, model, projection, viewport, &wx, &wy, &wz) != GL_TRUE) return false;
    *px = static_cast<int32_t>(wx);
    *py = SCENE_HEIGHT - 1 - static_cast<int32_t>(wy);
    return *px >= 0 && *px < SCENE_WIDTH && *py >= 0 && *py < SCENE_HEIGHT;
}

bool is_grey(const Rgb& p) {
    return p.r > 25 && std::abs(p.r - p.g) <= 3 && p.b < p.g + 3 && p.g - p.b < 40;
}

TEST_F(WaveFloorTest, ShowsTheLitTexturedFloorAndThreeGreySpheres) {
    auto frame = std::make_unique<Frame>();
    for (float spin : {0.0f, 40.0f}) {
        SCOPED_TRACE(spin);
        scene_state.spin_angle = spin;
        ASSERT_EQ(draw_at(6, 40), 1);
        read_frame(frame.get());
        save_artifact(*frame, spin == 0.0f ? "wave_floor" : "wave_floor_40");
        const float* h = wave_floor_state.wave_heights;

        // Sphere centres, from the translations that add up.
        const double centres[3][3] = {
            {-10.0, h[2] + 1.4, -10.0},
            {1.0, h[2] + 1.4 - h[0], -14.0},
            {20.0, h[2] + 1.4 - 0.1, -18.0},
        };
        // A sphere may sink into a wave crest, but a grey cap of it shows.
        for (const auto& c : centres) {
            int32_t px = 0, py = 0;
            ASSERT_TRUE(floor_point_on_screen(spin, c[0], c[1], c[2], &px, &py));
            int32_t grey = 0;
            for (int32_t y = std::max(0, py - 12); y < std::min(SCENE_HEIGHT, py + 13); ++y) {
                for (int32_t x = std::max(0, px - 12); x < std::min(SCENE_WIDTH, px + 13); ++x) {
                    grey += is_grey(frame->pixels[y][x]);
                }
            }
            EXPECT_GT(grey, 60) << "sphere at " << c[0] << " seen at " << px << "," << py;
        }

        // Floor points between the spheres: lit, textured (blue over red).
        int32_t floor_seen = 0, floor_blue = 0;
        for (double x = -8.5; x < 26.0; x += 3.0) {
            for (double z = -2.5; z > -38.0; z -= 3.0) {
                int32_t px = 0, py = 0;
                const int32_t m = static_cast<int32_t>(x + 12.0);
                const double y = (h[m] + h[m + 1]) / 2.0;
                if (!floor_point_on_screen(spin, x, y, z, &px, &py)) continue;
                const Rgb& p = frame->pixels[py][px];
                if (is_grey(p)) continue;  // a sphere in front
                ++floor_seen;
                floor_blue += p.b > p.r + 15 && p.b > 20;
            }
        }
        EXPECT_GT(floor_blue, floor_seen * 85 / 100);
        EXPECT_GT(floor_seen, 40);
    }
}

TEST_F(WaveFloorTest, HeightsFollowTheCosineAndTheLastEdgeStaysZero) {
    draw_at(7, 0);
    for (int32_t i = 0; i < 39; ++i) {
        EXPECT_FLOAT_EQ(wave_floor_state.wave_heights[i],
                        static_cast<float>(std::cos((i + 1) * 3.14159265358979323846 / 5.0)));
    }
    EXPECT_EQ(wave_floor_state.wave_heights[39], 0.0f);
    EXPECT_FLOAT_EQ(wave_floor_state.wave_phase, 0.06f);
    draw_at(7, 0);
    EXPECT_FLOAT_EQ(wave_floor_state.wave_heights[0],
                    static_cast<float>(std::cos(1.06 * 3.14159265358979323846 / 5.0)));
    EXPECT_EQ(wave_floor_state.wave_heights[39], 0.0f);
}

TEST_F(WaveFloorTest, TheLightStaysPutInEyeSpaceWhileTheFloorTurns) {
    for (float spin : {0.0f, 90.0f}) {
        scene_state.spin_angle = spin;
        draw_at(6, 40);
        GLfloat position[4] = {};
        glGetLightfv(GL_LIGHT1, GL_POSITION, position);
        EXPECT_FLOAT_EQ(position[0], 10.0f);
        EXPECT_FLOAT_EQ(position[1], 15.0f);
        EXPECT_FLOAT_EQ(position[2], -25.0f);
        EXPECT_FLOAT_EQ(position[3], 1.0f);
        EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
        EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    }
    EXPECT_NEAR(scene_state.spin_angle, 90.07f, 1e-4f);
}

}  // namespace
