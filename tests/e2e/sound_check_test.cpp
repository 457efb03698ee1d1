// The sound check on made-up recordings: it must find the song wherever the
// recording starts, see through silences a device that ran dry inserted, and
// still count every sample that was played wrong or not at all.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "e2e/sound_check.h"

namespace {

constexpr int32_t RATE = 100;  // frames per second: a second is 100 frames
constexpr int32_t BLOCK = 10;
constexpr int32_t RING = 4;    // blocks
constexpr int64_t QUIET_FROM = 150;  // the reference is silent from here...
constexpr int64_t QUIET_TO = 170;    // ...to here, like a pause in a song

// 4 seconds: 5 silent frames, then sound with a pause, ending quietly.
Reference made_up_reference() {
    Reference reference = {{}, 39, BLOCK, RING, RATE};
    uint32_t state = 12345;
    for (int64_t frame = 0; frame < 400; ++frame) {
        for (int channel = 0; channel < 2; ++channel) {
            state = state * 1103515245u + 12345u;
            int16_t sample = int16_t(int32_t(state >> 16) % 20000 - 10000);
            if (sample == 0) sample = 1;
            bool quiet = frame < 5 || (frame >= QUIET_FROM && frame < QUIET_TO) || frame >= 390;
            reference.pcm.push_back(quiet ? 0 : sample);
        }
    }
    return reference;
}

std::vector<int16_t> zeros(int64_t frames) { return std::vector<int16_t>(size_t(2 * frames), 0); }

// The reference from frame `from` to `to`.
std::vector<int16_t> part(const Reference& reference, int64_t from, int64_t to) {
    return std::vector<int16_t>(reference.pcm.begin() + 2 * from, reference.pcm.begin() + 2 * to);
}

std::vector<int16_t> joined(std::initializer_list<std::vector<int16_t>> pieces) {
    std::vector<int16_t> all;
    for (const auto& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

TEST(SoundCheck, FindsTheSongAfterTheSilenceBeforeIt) {
    const Reference reference = made_up_reference();
    const SoundFigures sound = compare_with_reference(reference, joined({zeros(37), reference.pcm, zeros(20)}));
    ASSERT_TRUE(sound.reference_sounds);
    ASSERT_TRUE(sound.recording_sounds);
    EXPECT_EQ(sound.offset, 37);
    EXPECT_EQ(sound.start_lost_frames, 0);
    EXPECT_DOUBLE_EQ(sound.first_sound_seconds, 0.42);
    EXPECT_DOUBLE_EQ(sound.recorded_seconds, 4.57);
    EXPECT_DOUBLE_EQ(sound.last_sound_seconds, 3.90);
    EXPECT_DOUBLE_EQ(sound.reference_last_sound_seconds, 3.90);
    EXPECT_EQ(sound.ring_frames, 40);
    EXPECT_EQ(sound.ring_exact_frames, 40);
    EXPECT_EQ(sound.reference_blocks, 36);
    EXPECT_EQ(sound.blocks, 36);
    EXPECT_EQ(sound.matching_blocks, 36);
    EXPECT_EQ(sound.gaps, 0);
    EXPECT_EQ(sound.sounding_seconds, 4);
    EXPECT_TRUE(sound.silent_seconds.empty());
}

TEST(SoundCheck, SilencesInsertedByTheDeviceAreGapsNotDifferences) {
    const Reference reference = made_up_reference();
    // In the first ring, in the pause, and in the middle of a later block.
    const SoundFigures gapped = compare_with_reference(
        reference, joined({zeros(3), part(reference, 0, 23), zeros(13), part(reference, 23, 160), zeros(9),
                           part(reference, 160, 204), zeros(7), part(reference, 204, 400), zeros(5)}));
    EXPECT_EQ(gapped.offset, 3);
    EXPECT_EQ(gapped.ring_exact_frames, 40);
    EXPECT_EQ(gapped.matching_blocks, 36);
    EXPECT_EQ(gapped.blocks, 36);
    EXPECT_EQ(gapped.gaps, 3);
    EXPECT_NEAR(gapped.gap_seconds, 0.29, 1e-9);
    EXPECT_NEAR(gapped.last_sound_seconds, 3.90 + 0.29, 1e-9);
    EXPECT_TRUE(gapped.silent_seconds.empty());

    // The sound after the zeros may lack its first frames, fewer than the
    // zeros: once inside a block, once across the start of the next.
    const SoundFigures clipped = compare_with_reference(
        reference, joined({zeros(3), part(reference, 0, 84), zeros(8), part(reference, 87, 128), zeros(6),
                           part(reference, 132, 400), zeros(5)}));
    EXPECT_EQ(clipped.ring_exact_frames, 40);
    EXPECT_EQ(clipped.matching_blocks, 36);
    EXPECT_EQ(clipped.blocks, 36);
    EXPECT_EQ(clipped.gaps, 2);
    EXPECT_NEAR(clipped.gap_seconds, 0.14, 1e-9);
    EXPECT_NEAR(clipped.lost_seconds, 0.07, 1e-9);
    EXPECT_NEAR(clipped.last_sound_seconds, 3.90 + 0.07, 1e-9);
}

TEST(SoundCheck, WrongOrMissingSoundIsCounted) {
    const Reference reference = made_up_reference();
    const std::vector<int16_t> exact = joined({zeros(10), reference.pcm});

    // One sample off in the ring, one in a later block.
    std::vector<int16_t> recording = exact;
    recording[2 * (10 + 25) + 1] += 1;
    recording[2 * (10 + 333)] -= 1;
    SoundFigures sound = compare_with_reference(reference, recording);
    EXPECT_EQ(sound.ring_exact_frames, 25);
    EXPECT_EQ(sound.matching_blocks, 35);
    EXPECT_EQ(sound.gaps, 0);

    // Noise where a silence would be: everything after is out of place.
    recording = joined({zeros(10), part(reference, 0, 205), std::vector<int16_t>(14, 7), part(reference, 205, 400)});
    sound = compare_with_reference(reference, recording);
    EXPECT_EQ(sound.matching_blocks, 20 - RING);
    EXPECT_EQ(sound.blocks, 36);

    // More sound missing after zeros than a dropout takes: nothing is in its
    // place up to the pause, where the recording falls in step again.
    recording = joined({zeros(10), part(reference, 0, 84), zeros(20), part(reference, 94, 400)});
    sound = compare_with_reference(reference, recording);
    EXPECT_EQ(sound.matching_blocks, 36 - 8);  // blocks 8 to 15 differ
    EXPECT_EQ(sound.gaps, 1);
    EXPECT_NEAR(sound.lost_seconds, 0.0, 1e-9);

    // Sound lost without delay: a second of zeros is not a gap, and it is a
    // silent second.
    recording = exact;
    std::fill(recording.begin() + 2 * (10 + 200), recording.begin() + 2 * (10 + 300), int16_t{0});
    sound = compare_with_reference(reference, recording);
    EXPECT_EQ(sound.gaps, 0);
    EXPECT_EQ(sound.matching_blocks, 36 - 10);
    EXPECT_EQ(sound.silent_seconds, std::vector<int>{2});

    // A recording that stops early leaves blocks unheard.
    recording = joined({zeros(10), part(reference, 0, 250)});
    sound = compare_with_reference(reference, recording);
    EXPECT_EQ(sound.blocks, 25 - RING);
    EXPECT_EQ(sound.matching_blocks, 25 - RING);
    EXPECT_LT(sound.last_sound_seconds, sound.reference_last_sound_seconds);
}

// Five seconds at the real rate, with the real block and ring sizes, sound
// from the first frame on.
Reference full_rate_reference() {
    constexpr int32_t rate = 44100;
    Reference reference = {{}, -1, 884, 100, rate};
    uint32_t state = 777;
    for (int64_t value = 0; value < 2 * 5 * int64_t{rate}; ++value) {
        state = state * 1103515245u + 12345u;
        int16_t sample = int16_t(int32_t(state >> 16) % 20000 - 10000);
        reference.pcm.push_back(sample == 0 ? int16_t{1} : sample);
    }
    return reference;
}

TEST(SoundCheck, SoundLostAsTheStreamStartsIsCountedApartFromTheRest) {
    const Reference reference = full_rate_reference();
    const int64_t frames = int64_t(reference.pcm.size() / 2);
    const int64_t blocks = frames / reference.block_frames - reference.ring_blocks;

    // The server dropped the song's first 231 frames (5.2 ms): everything
    // after them is in place.
    SoundFigures sound = compare_with_reference(reference, joined({zeros(3000), part(reference, 231, frames)}));
    EXPECT_EQ(sound.start_lost_frames, 231);
    EXPECT_EQ(sound.offset, 3000 - 231);
    EXPECT_EQ(sound.ring_exact_frames, sound.ring_frames);
    EXPECT_EQ(sound.blocks, blocks);
    EXPECT_EQ(sound.matching_blocks, blocks);
    EXPECT_EQ(sound.gaps, 0);

    // A difference after the lost start is still found.
    std::vector<int16_t> recording = joined({zeros(3000), part(reference, 231, frames)});
    recording[2 * (3000 + 5000 - 231)] ^= 4;
    sound = compare_with_reference(reference, recording);
    EXPECT_EQ(sound.start_lost_frames, 231);
    EXPECT_EQ(sound.ring_exact_frames, 5000);

    // Three seconds missing is not a stream's start: nothing lines up.
    sound = compare_with_reference(reference, joined({zeros(3000), part(reference, 3 * 44100, frames)}));
    EXPECT_EQ(sound.start_lost_frames, -1);
    EXPECT_LT(sound.ring_exact_frames, sound.ring_frames);
    EXPECT_EQ(sound.matching_blocks, 0);
}

TEST(SoundCheck, ASilentRecordingIsReportedAsSuch) {
    const Reference reference = made_up_reference();
    const SoundFigures sound = compare_with_reference(reference, zeros(500));
    EXPECT_TRUE(sound.reference_sounds);
    EXPECT_FALSE(sound.recording_sounds);
    EXPECT_EQ(sound.matching_blocks, 0);
}

}  // namespace
