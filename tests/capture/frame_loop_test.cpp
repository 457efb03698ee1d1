// The frame loop in-process, on an offscreen context: which block each demo
// frame hears through the scenes' music functions, that no frame is left
// out, and where the loop ends. The snapshots are made up so that every
// block names itself by its row.
#include <gtest/gtest.h>

#include <vector>

#include "scenes/scene_sequencer.h"
#include "scenes/scenes.h"
#include "tools/capture/capture.h"
#include "tools/capture/offscreen_gl.h"

namespace {

constexpr int32_t BLOCK = 884;

// What draw_frame asked for, frame by frame.
struct Heard {
    SceneMusic capture;  // the capture's own functions, wrapped below
    std::vector<int32_t> orders;
    std::vector<int32_t> rows;
};

Heard heard;

int32_t heard_order() {
    int32_t order = heard.capture.order();
    heard.orders.push_back(order);
    return order;
}

int32_t heard_row() {
    int32_t row = heard.capture.row();
    heard.rows.push_back(row);
    return row;
}

// Block b: order b / 200, row b % 200, so that both name the block.
MusicPlan numbered_plan(int64_t blocks, int64_t end_block) {
    MusicPlan plan;
    for (int64_t b = 0; b < blocks; ++b) {
        korvanti_sync_snapshot snapshot = {};
        snapshot.order = static_cast<uint8_t>(b >= end_block ? DEMO_END_ORDER : b / 200);
        snapshot.row = static_cast<uint8_t>(b % 200);
        plan.snapshots.push_back(snapshot);
        plan.orders.push_back(snapshot.order);
    }
    plan.end_frame = -1;
    plan.end_ms = 0;
    plan.audio_frames = 0;
    plan.block_frames = BLOCK;
    plan.channel_count = 4;
    return plan;
}

class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(offscreen_open(&gl_, 64, 48, &error)) << error;
        offscreen_set_projection(&gl_);
        reset_scenes();
    }
    void TearDown() override {
        offscreen_close(&gl_);
        reset_scenes();
    }
    void listen(const MusicPlan* plan) {
        capture_music_install(plan);
        heard = Heard{scene_music, {}, {}};
        scene_music.order = heard_order;
        scene_music.row = heard_row;
    }
    OffscreenGl gl_{};
};

int64_t block_of_frame(int64_t k) {
    // 28 ms is 1234.8 audio frames: computed here in floating point.
    return static_cast<int64_t>(static_cast<double>(k) * 1234.8 / BLOCK + 1e-9);
}

TEST_F(FrameLoopTest, EveryDemoFrameHearsTheBlockOfItsTime) {
    MusicPlan plan = numbered_plan(1000, 1000);
    listen(&plan);
    FrameLoop loop{0, false};
    // Video frames at 25 fps skip demo frames; the loop draws them anyway.
    const FrameRate slow{25, 1};
    for (int64_t j = 0; j < 400; ++j) {
        draw_demo_frames(&loop, demo_frame_at_video_frame(j, slow), BLOCK);
        ASSERT_EQ(loop.drawn, demo_frame_at_video_frame(j, slow));
    }
    ASSERT_FALSE(loop.ended);
    ASSERT_EQ(heard.rows.size(), static_cast<size_t>(loop.drawn));
    ASSERT_EQ(heard.orders.size(), heard.rows.size());
    const int32_t first_blocks[] = {1, 2, 4, 5, 6, 8, 9, 11};  // frames 1..8
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(heard.rows[i], first_blocks[i]) << "demo frame " << i + 1;
    for (size_t i = 0; i < heard.rows.size(); ++i) {
        const int64_t block = block_of_frame(static_cast<int64_t>(i) + 1);
        ASSERT_EQ(heard.orders[i], block / 200) << "demo frame " << i + 1;
        ASSERT_EQ(heard.rows[i], block % 200) << "demo frame " << i + 1;
    }
}

TEST_F(FrameLoopTest, EndsAtTheFirstFrameThatHearsTheEndOrder) {
    // Frame 3 hears block 4; block 3 is heard by no frame.
    MusicPlan skipped = numbered_plan(20, 20);
    skipped.snapshots[3].order = DEMO_END_ORDER;
    listen(&skipped);
    FrameLoop loop{0, false};
    EXPECT_TRUE(draw_demo_frames(&loop, 8, BLOCK));
    EXPECT_FALSE(loop.ended) << "an end order in a block no frame hears is not the end";

    MusicPlan plan = numbered_plan(20, 4);
    listen(&plan);
    loop = FrameLoop{0, false};
    EXPECT_TRUE(draw_demo_frames(&loop, 2, BLOCK));
    EXPECT_FALSE(draw_demo_frames(&loop, 8, BLOCK));
    EXPECT_TRUE(loop.ended);
    EXPECT_EQ(loop.drawn, 3);
    EXPECT_FALSE(draw_demo_frames(&loop, 9, BLOCK)) << "nothing is drawn after the end";
    EXPECT_EQ(loop.drawn, 3);
}

}  // namespace
