// The capture's clocks: which block each demo frame hears, which demo frame
// each video frame shows, where the capture ends, and the command line and
// frame sizes that feed them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/capture/capture.h"

namespace {

constexpr int32_t BLOCK = 884;  // block_frames at 44100 Hz

TEST(Timeline, DemoFramesHearTheBlockThatHoldsTheirTime) {
    // 28 ms is 1234.8 audio frames: frame 1 lies in block 1, frame 2 at
    // 2469.6 frames in block 2, frame 3 at 3704.4 frames in block 4.
    EXPECT_EQ(audible_block_at_ms(demo_frame_ms(1), BLOCK), 1);
    EXPECT_EQ(audible_block_at_ms(demo_frame_ms(2), BLOCK), 2);
    EXPECT_EQ(audible_block_at_ms(demo_frame_ms(3), BLOCK), 4);
    // 28 s = 1234800 frames = 1396 whole blocks and 736 frames.
    EXPECT_EQ(audible_block_at_ms(demo_frame_ms(1000), BLOCK), 1396);
    // An hour in: 158760000 frames, 179592.76 blocks. Floating point loses
    // nothing here either, but a 32-bit product would have overflowed.
    EXPECT_EQ(audible_block_at_ms(3600000, BLOCK), 179592);
    // A frame (28 ms) is longer than a block (20.04 ms) and shorter than two:
    // from frame to frame the block heard moves on by one or two.
    for (int64_t k = 1; k < 20000; ++k) {
        int64_t step = audible_block_at_ms(demo_frame_ms(k + 1), BLOCK) - audible_block_at_ms(demo_frame_ms(k), BLOCK);
        ASSERT_TRUE(step == 1 || step == 2) << "frame " << k << " step " << step;
    }
}

TEST(Timeline, VideoFramesShowTheLatestDemoFrame) {
    // At the demo's own rate every video frame shows its own demo frame,
    // exactly, however far in: the arithmetic is rational, not floating.
    const FrameRate demo_rate{250, 7};
    for (int64_t j = 0; j < 200000; ++j) {
        ASSERT_EQ(demo_frame_at_video_frame(j, demo_rate), j) << "video frame " << j;
    }
    // At 60 fps: frames 0 and 1 (0 and 16.7 ms) come before the first demo
    // frame (28 ms); frame 2 (33.3 ms) shows it; frame 60 (1 s) shows demo
    // frame 35 (980 ms).
    const FrameRate sixty{60, 1};
    EXPECT_EQ(demo_frame_at_video_frame(0, sixty), 0);
    EXPECT_EQ(demo_frame_at_video_frame(1, sixty), 0);
    EXPECT_EQ(demo_frame_at_video_frame(2, sixty), 1);
    EXPECT_EQ(demo_frame_at_video_frame(60, sixty), 35);
    // Faster than the demo: no demo frame is skipped. Slower: some are.
    for (int64_t j = 1; j < 100000; ++j) {
        int64_t step = demo_frame_at_video_frame(j, sixty) - demo_frame_at_video_frame(j - 1, sixty);
        ASSERT_TRUE(step == 0 || step == 1) << "video frame " << j;
    }
    const FrameRate twenty_five{25, 1};
    EXPECT_EQ(demo_frame_at_video_frame(1, twenty_five), 1);  // 40 ms
    EXPECT_EQ(demo_frame_at_video_frame(2, twenty_five), 2);  // 80 ms: frame 2 at 56 ms
    EXPECT_EQ(demo_frame_at_video_frame(3, twenty_five), 4);  // 120 ms: frame 4 at 112 ms
}

TEST(Timeline, LengthsBeforeTheEnd) {
    const FrameRate sixty{60, 1};
    EXPECT_EQ(video_frames_before_ms(3000, sixty), 180);
    EXPECT_EQ(video_frames_before_ms(3001, sixty), 181);
    EXPECT_EQ(video_frames_before_ms(1, sixty), 1);  // frame 0 starts at 0
    EXPECT_EQ(video_frames_before_ms(0, sixty), 0);
    // 29.97 fps as 30000/1001 does not fit the 1..1000 range; 2997/100 does.
    EXPECT_EQ(video_frames_before_ms(10000, FrameRate{2997, 100}), 300);
    // The demo rate ending at demo frame 100: frames 0..99 come before it.
    EXPECT_EQ(video_frames_before_ms(demo_frame_ms(100), FrameRate{250, 7}), 100);
    EXPECT_EQ(audio_frames_before_ms(3000), 132300);
    EXPECT_EQ(audio_frames_before_ms(28), 1234);  // 1234.8 frames: the last one is not whole
}

TEST(EndSearch, FindsTheFirstFrameThatHearsTheEndOrder) {
    // Frames 1, 2, 3 hear blocks 1, 2, 4: block 3 is never seen.
    std::vector<uint8_t> orders(12, 7);
    orders[3] = DEMO_END_ORDER;
    EndSearch search = end_search_start();
    end_search_step(&search, orders.data(), static_cast<int64_t>(orders.size()), BLOCK);
    EXPECT_EQ(search.end_frame, -1) << "an end order only in an unseen block does not end the demo";

    orders[4] = DEMO_END_ORDER;
    search = end_search_start();
    end_search_step(&search, orders.data(), static_cast<int64_t>(orders.size()), BLOCK);
    EXPECT_EQ(search.end_frame, 3);

    // Block by block, as the music pass feeds it, it stops at the same frame
    // and looks at no frame whose block is not rendered yet.
    search = end_search_start();
    for (int64_t known = 1; known <= 4; ++known) {
        end_search_step(&search, orders.data(), known, BLOCK);
        EXPECT_EQ(search.end_frame, -1) << known << " blocks known";
        EXPECT_LE(audible_block_at_ms(demo_frame_ms(search.next_frame - 1), BLOCK), known - 1);
    }
    end_search_step(&search, orders.data(), 5, BLOCK);
    EXPECT_EQ(search.end_frame, 3);

    // Orders past the end order do not end it; only order 8 itself does.
    std::vector<uint8_t> later(40, 9);
    later[39] = DEMO_END_ORDER;
    search = end_search_start();
    end_search_step(&search, later.data(), 39, BLOCK);
    EXPECT_EQ(search.end_frame, -1);
    end_search_step(&search, later.data(), 40, BLOCK);
    EXPECT_EQ(audible_block_at_ms(demo_frame_ms(search.end_frame), BLOCK), 39);
}

TEST(FrameLayout, FourThreePicturesInSixteenNineFrames) {
    FrameLayout demo = frame_layout(0);
    EXPECT_EQ(demo.render_width, 640);
    EXPECT_EQ(demo.render_height, 480);
    EXPECT_EQ(demo.frame_width, 640);
    EXPECT_EQ(demo.frame_height, 480);
    FrameLayout full_hd = frame_layout(1080);
    EXPECT_EQ(full_hd.render_width, 1440);
    EXPECT_EQ(full_hd.frame_width, 1920);
    EXPECT_EQ(full_hd.frame_height, 1080);
    FrameLayout hd = frame_layout(720);
    EXPECT_EQ(hd.render_width, 960);
    EXPECT_EQ(hd.frame_width, 1280);
    for (int32_t height = MIN_HEIGHT; height <= MAX_HEIGHT; height += 2) {
        FrameLayout layout = frame_layout(height);
        ASSERT_EQ(layout.render_width % 2, 0) << height;
        ASSERT_EQ(layout.frame_width % 2, 0) << height;
        // The picture the even width nearest 4:3, the frame the narrowest even
        // width that holds 16:9, and the bars equal on both sides.
        ASSERT_LE(std::abs(layout.render_width * 3 - height * 4), 3) << height;
        ASSERT_GE(layout.frame_width * 9 - height * 16, 0) << height;
        ASSERT_LT(layout.frame_width * 9 - height * 16, 18) << height;
        ASSERT_EQ((layout.frame_width - layout.render_width) % 2, 0) << height;
    }
}

TEST(FrameLayout, PicturesAreFlippedAndCentred) {
    // A 4x2 "picture" in a 8x2 frame: GL's bottom row becomes the frame's last.
    const FrameLayout layout{4, 2, 8, 2};
    std::vector<uint8_t> picture(4 * 2 * 3);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i + 1);
    std::vector<uint8_t> frame(8 * 2 * 3, 0xEE);
    place_picture(picture.data(), layout, frame.data());
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                uint8_t got = frame[(static_cast<size_t>(y) * 8 + x) * 3 + c];
                bool inside = x >= 2 && x < 6;
                uint8_t want = inside ? picture[(static_cast<size_t>(1 - y) * 4 + (x - 2)) * 3 + c] : 0xEE;
                ASSERT_EQ(got, want) << "x " << x << " y " << y << " c " << c;
            }
        }
    }
}

struct Parsed {
    bool ok;
    CaptureOptions options;
    std::string error;
};

Parsed parse(std::vector<std::string> words) {
    words.insert(words.begin(), "korvanti-capture");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    Parsed parsed{false, CaptureOptions{}, std::string()};
    parsed.ok = parse_arguments(static_cast<int>(argv.size()), argv.data(), &parsed.options, &parsed.error);
    return parsed;
}

TEST(Arguments, ValuesAndRefusals) {
    Parsed defaults = parse({});
    ASSERT_TRUE(defaults.ok);
    EXPECT_EQ(defaults.options.output_path, "korvanti.mp4");
    EXPECT_EQ(defaults.options.fps.numerator, 60);
    EXPECT_EQ(defaults.options.fps.denominator, 1);
    EXPECT_EQ(defaults.options.height, 0);
    EXPECT_EQ(defaults.options.limit_ms, -1);

    Parsed full = parse({"--fps", "250/7", "--height", "1080", "--seconds", "2.5", "--data", "d", "out.mp4"});
    ASSERT_TRUE(full.ok) << full.error;
    EXPECT_EQ(full.options.fps.numerator, 250);
    EXPECT_EQ(full.options.fps.denominator, 7);
    EXPECT_EQ(full.options.height, 1080);
    EXPECT_EQ(full.options.limit_ms, 2500);
    EXPECT_EQ(full.options.data_dir, "d");
    EXPECT_EQ(full.options.output_path, "out.mp4");

    const std::vector<std::vector<std::string>> refused = {
        {"--fps", "0"},        {"--fps", "1001"},     {"--fps", "60/0"},      {"--fps", "60/"},
        {"--fps", "sixty"},    {"--fps", "-60"},      {"--height", "1081"},   {"--height", "100"},
        {"--height", "4322"},  {"--seconds", "0"},    {"--seconds", "-1"},    {"--seconds", "nan"},
        {"--seconds", "3601"}, {"--frames"},          {"--frames", ""},       {"--bogus"},
        {"a.mp4", "b.mp4"},    {"--frames", "d", "a.mp4"},
    };
    for (const auto& words : refused) {
        Parsed parsed = parse(words);
        std::string line;
        for (const std::string& word : words) line += word + " ";
        EXPECT_FALSE(parsed.ok) << line;
        EXPECT_FALSE(parsed.error.empty()) << line;
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << line;
    }
}

}  // namespace
