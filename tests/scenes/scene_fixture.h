// A GL test fixture: a fresh window and context per test, the scenes reset
// and initialised from the test pictures, and the music position set by the
// test through the scene sequencer's music table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "scene_assets.h"
#include "scene_window.h"

struct FakeMusic {
    int32_t order;
    int32_t row;
    int32_t channels[32];
    int32_t channel_count;  // entries channel_values writes; the rest it leaves alone
};

extern FakeMusic fake_music;

class SceneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;
    // Frames drawn by draw_frame at this order and row, without fog.
    int draw_at(int32_t order, int32_t row);
    void save_artifact(const Frame& frame, const std::string& name);

    SceneWindow window_{};
    static std::string asset_dir_;
};

// Fraction of the frame's pixels whose brightest channel exceeds `level`.
double lit_fraction(const Frame& frame, int level);
// Mean of all channels of all pixels, 0..255.
double mean_level(const Frame& frame);
// True when the pixel is within `tolerance` of the colour on every channel.
bool near_colour(const Rgb& pixel, const Rgb& colour, int tolerance);
