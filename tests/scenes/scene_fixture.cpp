#include "scene_fixture.h"

#include <GL/gl.h>

#include <cstdlib>
#include <filesystem>

#include "scenes/music.h"
#include "scenes/scene_sequencer.h"
#include "scenes/scenes.h"
#include "support/message_box_recording.h"

FakeMusic fake_music;
std::string SceneTest::asset_dir_;

namespace {

int32_t fake_order() { return fake_music.order; }
int32_t fake_row() { return fake_music.row; }
int32_t fake_channel_values(int32_t* out) {
    for (int32_t c = 0; c < fake_music.channel_count; ++c) out[c] = fake_music.channels[c];
    return fake_music.channel_count;
}

}  // namespace

void SceneTest::SetUpTestSuite() {
    if (asset_dir_.empty()) asset_dir_ = enter_scene_asset_dir();
}

void SceneTest::TearDownTestSuite() {
    leave_scene_asset_dir(asset_dir_);
    asset_dir_.clear();
}

void SceneTest::SetUp() {
    ASSERT_FALSE(asset_dir_.empty()) << "could not write the test pictures";
    ASSERT_EQ(std::filesystem::current_path().string(), asset_dir_);
    std::string error;
    ASSERT_TRUE(open_scene_window(&window_, &error)) << "needs an X display: " << error;
    message_box_recording_reset();
    fake_music = FakeMusic{};
    fake_music.channel_count = 32;
    scene_music = SceneMusic{fake_order, fake_row, fake_channel_values};
    reset_scenes();
    init_scenes();
    scene_state.fog_enabled = false;  // fog is tested on its own; pictures are drawn without it
}

void SceneTest::TearDown() {
    scene_music = SceneMusic{music_order, music_row, music_channel_values};
    reset_scenes();
    close_scene_window(&window_);
}

int SceneTest::draw_at(int32_t order, int32_t row) {
    fake_music.order = order;
    fake_music.row = row;
    return draw_frame();
}

void SceneTest::save_artifact(const Frame& frame, const std::string& name) {
    std::error_code error;
    std::filesystem::create_directories(SCENES_ARTIFACT_DIR, error);
    const std::string path = std::string(SCENES_ARTIFACT_DIR) + "/" + name + ".png";
    EXPECT_TRUE(write_png(frame, path)) << path;
}

double lit_fraction(const Frame& frame, int level) {
    int64_t lit = 0;
    for (const auto& row : frame.pixels) {
        for (const Rgb& p : row) {
            if (p.r > level || p.g > level || p.b > level) ++lit;
        }
    }
    return static_cast<double>(lit) / (SCENE_WIDTH * SCENE_HEIGHT);
}

bool near_colour(const Rgb& pixel, const Rgb& colour, int tolerance) {
    return std::abs(pixel.r - colour.r) <= tolerance && std::abs(pixel.g - colour.g) <= tolerance &&
           std::abs(pixel.b - colour.b) <= tolerance;
}

double mean_level(const Frame& frame) {
    int64_t sum = 0;
    for (const auto& row : frame.pixels) {
        for (const Rgb& p : row) sum += p.r + p.g + p.b;
    }
    return static_cast<double>(sum) / (3.0 * SCENE_WIDTH * SCENE_HEIGHT);
}
