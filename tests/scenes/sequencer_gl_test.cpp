// draw_frame against the orders it is given: which frames are drawn, what
// they return and what the fog does in GL.
#include <GL/gl.h>

#include <memory>

#include "scene_fixture.h"
#include "scenes/cube_grid.h"
#include "scenes/scene_sequencer.h"
#include "scenes/scenes.h"
#include "scenes/tunnel.h"
#include "scenes/wave_floor.h"

namespace {

using SequencerTest = SceneTest;

TEST_F(SequencerTest, EachSceneOrderDrawsAPictureWithoutGLErrorsAndReturnsOne) {
    auto frame = std::make_unique<Frame>();
    for (int32_t order = 0; order < 8; ++order) {
        SCOPED_TRACE(order);
        ASSERT_EQ(draw_at(order, 40), 1);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        read_frame(frame.get());
        EXPECT_GT(lit_fraction(*frame, 20), 0.005);
    }
}

TEST_F(SequencerTest, OrderEightClearsTheFrameDrawsNothingAndReturnsZero) {
    auto frame = std::make_unique<Frame>();
    ASSERT_EQ(draw_at(4, 40), 1);  // a tunnel frame left in the buffer
    read_frame(frame.get());
    ASSERT_GT(lit_fraction(*frame, 20), 0.5);

    const float spin = scene_state.spin_angle;
    const float tunnel = tunnel_state.tunnel_pos;
    const float cube_z = cube_grid_state.cube_z;
    const float phase = wave_floor_state.wave_phase;
    for (int32_t row : {0, 50, 127}) {
        EXPECT_EQ(draw_at(8, row), 0);
        read_frame(frame.get());
        EXPECT_EQ(lit_fraction(*frame, 0), 0.0);
    }
    EXPECT_EQ(scene_state.spin_angle, spin);
    EXPECT_EQ(tunnel_state.tunnel_pos, tunnel);
    EXPECT_EQ(cube_grid_state.cube_z, cube_z);
    EXPECT_EQ(wave_floor_state.wave_phase, phase);
}

TEST_F(SequencerTest, OrdersOutsideTheTableGiveABlackFrameAndReturnOne) {
    auto frame = std::make_unique<Frame>();
    for (int32_t order : {9, 10, 255, -1, -2147483647 - 1}) {
        SCOPED_TRACE(order);
        ASSERT_EQ(draw_at(4, 40), 1);
        EXPECT_EQ(draw_at(order, 3), 1);
        read_frame(frame.get());
        EXPECT_EQ(lit_fraction(*frame, 0), 0.0);
    }
}

TEST_F(SequencerTest, FogIsAppliedFromTheStateLeftByTheFrameBefore) {
    scene_state = SceneState{0.3f, true, 0.0f};
    ASSERT_FALSE(glIsEnabled(GL_FOG));
    draw_at(0, 0);
    GLfloat density = 0.0f;
    glGetFloatv(GL_FOG_DENSITY, &density);
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    EXPECT_FLOAT_EQ(density, 0.3f);  // applied before this frame's fade step
    GLint mode = 0;
    glGetIntegerv(GL_FOG_MODE, &mode);
    EXPECT_EQ(mode, GL_EXP);

    draw_at(0, 0);
    glGetFloatv(GL_FOG_DENSITY, &density);
    EXPECT_FLOAT_EQ(density, 0.292f);

    // Switched off by the fade-in: GL keeps fog on with the last density.
    draw_at(1, 10);
    draw_at(1, 10);
    glGetFloatv(GL_FOG_DENSITY, &density);
    EXPECT_TRUE(glIsEnabled(GL_FOG));
    EXPECT_FLOAT_EQ(density, 0.284f);
}

TEST_F(SequencerTest, ANegativeDensityIsRefusedByGLAndTheFogSwitchesOff) {
    scene_state = SceneState{0.004f, true, 0.0f};
    draw_at(0, 0);  // applies 0.004, steps to -0.004
    ASSERT_LT(scene_state.fog_density, 0.0f);
    while (glGetError() != GL_NO_ERROR) {
    }
    draw_at(0, 0);  // applies -0.004: refused
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_VALUE));
    GLfloat density = 0.0f;
    glGetFloatv(GL_FOG_DENSITY, &density);
    EXPECT_FLOAT_EQ(density, 0.004f);
    EXPECT_EQ(scene_state.fog_density, 0.0f);
    EXPECT_FALSE(scene_state.fog_enabled);

    draw_at(0, 0);  // nothing more is applied
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SequencerTest, FogDarkensTheSceneAsTheDensityRises) {
    auto frame = std::make_unique<Frame>();
    draw_at(4, 40);
    read_frame(frame.get());
    const double clear = mean_level(*frame);

    scene_state = SceneState{0.3f, true, scene_state.spin_angle};
    draw_at(4, 40);
    read_frame(frame.get());
    const double fogged = mean_level(*frame);
    EXPECT_LT(fogged, clear * 0.8) << clear << " " << fogged;
}

}  // namespace
