// Following the music through made-up recordings: what a sound server that
// skips after a dropout leaves, and what must not pass.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "heard_in_order.h"

namespace {

// Interleaved stereo "music" that never repeats a frame.
std::vector<int16_t> music(int64_t frames) {
    std::vector<int16_t> pcm;
    uint32_t state = 12345;
    for (int64_t i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        pcm.push_back(int16_t(int32_t(state >> 16) - 32768));
        pcm.push_back(int16_t(i % 2000 + 1));
    }
    return pcm;
}

std::vector<int16_t> frames_of(const std::vector<int16_t>& pcm, int64_t from, int64_t to) {
    return std::vector<int16_t>(pcm.begin() + 2 * from, pcm.begin() + 2 * to);
}

void append(std::vector<int16_t>* to, const std::vector<int16_t>& more) { to->insert(to->end(), more.begin(), more.end()); }

TEST(HeardInOrder, SkipsAndInsertedSilenceAreCountedTheRestIsHeard) {
    const std::vector<int16_t> reference = music(20000);
    std::vector<int16_t> recorded(2 * 3000, 0);  // the program starting
    append(&recorded, frames_of(reference, 0, 5000));
    append(&recorded, frames_of(reference, 5300, 9000));  // 300 frames skipped
    append(&recorded, std::vector<int16_t>(2 * 700, 0));  // a dropout's zeros
    append(&recorded, frames_of(reference, 9000, 20000));
    append(&recorded, std::vector<int16_t>(2 * 500, 0));
    InOrderFigures heard = follow_in_order(reference, recorded, 44100);
    EXPECT_EQ(heard.reference_frames, 20000);
    EXPECT_EQ(heard.heard_frames, 19700);
    EXPECT_EQ(heard.skips, 1);
    EXPECT_EQ(heard.skipped_frames, 300);
    EXPECT_EQ(heard.foreign_frames, 0);
    EXPECT_EQ(heard.inserted_frames, 700);  // not the silence before or after the music
    EXPECT_EQ(heard.last_heard_frame, 19999);
    EXPECT_EQ(heard.start_lost_frames, 0);

    // What a recording with dropouts holds of the music: its sounding
    // frames, the zeros left out.
    EXPECT_EQ(sounding_frames(recorded.data(), int64_t(recorded.size() / 2)),
              sounding_frames(reference.data(), 20000) - 300);

    // The server dropped the stream's first frames: they count apart, as
    // the frames lost at the start.
    recorded = std::vector<int16_t>(2 * 3000, 0);
    append(&recorded, frames_of(reference, 231, 20000));
    heard = follow_in_order(reference, recorded, 44100);
    EXPECT_EQ(heard.start_lost_frames, 231);
    EXPECT_EQ(heard.heard_frames, 20000 - 231);
    EXPECT_EQ(heard.foreign_frames, 0);
}

TEST(HeardInOrder, SoundThatIsNotTheMusicOrPlayedBackwardsIsNotHeard) {
    const std::vector<int16_t> reference = music(20000);
    // Another piece of sound in the middle.
    std::vector<int16_t> recorded = frames_of(reference, 0, 8000);
    std::vector<int16_t> noise = music(30000);
    append(&recorded, frames_of(noise, 25000, 27000));
    append(&recorded, frames_of(reference, 8000, 20000));
    InOrderFigures heard = follow_in_order(reference, recorded, 44100);
    EXPECT_GE(heard.foreign_frames, 2000 - 64);
    EXPECT_EQ(heard.heard_frames, 20000);

    // A piece played twice: the repeat is not heard again, it is foreign.
    recorded = frames_of(reference, 0, 12000);
    append(&recorded, frames_of(reference, 6000, 20000));
    heard = follow_in_order(reference, recorded, 44100);
    EXPECT_EQ(heard.heard_frames, 20000 - 0);
    EXPECT_GT(heard.foreign_frames, 0);

    // Silence only: nothing heard.
    heard = follow_in_order(reference, std::vector<int16_t>(2 * 20000, 0), 44100);
    EXPECT_EQ(heard.heard_frames, 0);
    EXPECT_EQ(heard.last_heard_frame, -1);
    EXPECT_EQ(heard.start_lost_frames, -1);
}

}  // namespace
