// The fog fade over frames: pure state, no GL.
#include <gtest/gtest.h>

#include "scenes/scene_sequencer.h"

namespace {

SceneState start_state() { return SceneState{0.3f, true, 0.0f}; }

TEST(FogFadeOut, FromStartTakes38FramesToReachZeroAndA39thToSwitchOff) {
    SceneState state = start_state();
    for (int frame = 1; frame <= 37; ++frame) {
        update_fog(&state, 0, 0);
        ASSERT_GT(state.fog_density, 0.0f) << "frame " << frame;
        ASSERT_TRUE(state.fog_enabled);
    }
    update_fog(&state, 0, 0);
    EXPECT_LE(state.fog_density, 0.0f);
    EXPECT_LT(state.fog_density, -0.003f);  // 0.3 - 38 * 0.008 = -0.004
    EXPECT_TRUE(state.fog_enabled);
    update_fog(&state, 0, 0);
    EXPECT_EQ(state.fog_density, 0.0f);
    EXPECT_FALSE(state.fog_enabled);
    // Once off it stays off at exactly zero.
    update_fog(&state, 0, 5);
    EXPECT_EQ(state.fog_density, 0.0f);
    EXPECT_FALSE(state.fog_enabled);
}

TEST(FogFadeOut, StepsAreFloat32Subtractions) {
    SceneState state = start_state();
    volatile float expected = 0.3f;
    for (int frame = 0; frame < 10; ++frame) {
        update_fog(&state, 2, 27);
        expected = expected - 0.008f;
        ASSERT_EQ(state.fog_density, expected) << "frame " << frame;
    }
}

TEST(FogFadeOut, RunsOnlyUpToTheOrdersRowLimit) {
    struct Case {
        int32_t order;
        int32_t last_row;  // the fade runs while row <= last_row
        float step;
    };
    const Case cases[] = {{0, 27, 0.008f}, {2, 27, 0.008f}, {4, 20, 0.01f}, {6, 20, 0.01f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.order);
        SceneState state = start_state();
        update_fog(&state, c.order, c.last_row);
        EXPECT_NEAR(state.fog_density, 0.3f - c.step, 1e-6f);

        for (bool enabled : {true, false}) {
            SceneState held = {0.2f, enabled, 0.0f};
            update_fog(&held, c.order, c.last_row + 1);
            update_fog(&held, c.order, 63);
            EXPECT_EQ(held.fog_density, 0.2f);
            EXPECT_EQ(held.fog_enabled, enabled);
        }
    }
}

TEST(FogFadeIn, OffBeforeRow107ThenRisesByAHundredthAFrameWithoutBound) {
    for (int32_t order : {1, 3, 5, 7}) {
        SCOPED_TRACE(order);
        SceneState state = {0.25f, true, 0.0f};
        update_fog(&state, order, 0);
        EXPECT_FALSE(state.fog_enabled);
        update_fog(&state, order, 106);
        EXPECT_FALSE(state.fog_enabled);
        EXPECT_EQ(state.fog_density, 0.25f);

        update_fog(&state, order, 107);
        EXPECT_TRUE(state.fog_enabled);
        EXPECT_NEAR(state.fog_density, 0.26f, 1e-6f);
        for (int frame = 0; frame < 200; ++frame) update_fog(&state, order, 127);
        EXPECT_NEAR(state.fog_density, 2.26f, 1e-4f);
        EXPECT_TRUE(state.fog_enabled);
    }
}

TEST(FogFadeIn, TheDensityReachedIsWhereTheNextFadeOutStarts) {
    SceneState state = {0.0f, false, 0.0f};
    for (int frame = 0; frame < 5; ++frame) update_fog(&state, 1, 110);
    const float reached = state.fog_density;
    EXPECT_NEAR(reached, 0.05f, 1e-6f);
    update_fog(&state, 2, 0);
    EXPECT_NEAR(state.fog_density, reached - 0.008f, 1e-6f);
    EXPECT_TRUE(state.fog_enabled);
}

TEST(FogRules, OrdersWithoutAFadeLeaveTheFogAlone) {
    for (int32_t order : {8, 9, 100, -1, -100}) {
        SCOPED_TRACE(order);
        SceneState state = {0.17f, true, 3.0f};
        update_fog(&state, order, 0);
        update_fog(&state, order, 120);
        EXPECT_EQ(state.fog_density, 0.17f);
        EXPECT_TRUE(state.fog_enabled);
        EXPECT_EQ(state.spin_angle, 3.0f);
    }
}

}  // namespace
