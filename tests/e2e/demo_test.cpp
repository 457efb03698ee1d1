// The whole demo, started as its user would: the korvanti binary in a fresh
// run directory, on the X display the test runs under (a 640x480 screen, so
// full screen is granted). The music plays through a sound server of the
// test's own, the way a desktop hears it, and is recorded off the server;
// the shorter runs use SDL's disk driver. Boxes go to standard error
// (KORVANTI_MESSAGE_BOX=stderr) so that none can wait.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/demo_run.h"
#include "e2e/screen_check.h"
#include "e2e/sound_check.h"
#include "support/pulse_server.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

const char* const DATA_FILES[] = {"gul.tga",  "mask_alpha.tga", "mask_main.tga",
                                  "mask2.tga", "vand.tga",       "hud3_mask.tga",
                                  "hud3.tga", "code_mask.tga",  "code.tga"};
constexpr int32_t RATE = 44100;
constexpr int32_t END_ORDER = 8;

class DemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(fs::path(KORVANTI_RUNDIR) / "musik.xm"))
            << "make_assets has not written the run directory " << KORVANTI_RUNDIR;
        base_ = make_scratch_dir("e2e");
        ASSERT_FALSE(base_.empty());
        run_dir_ = base_ / "run";
        fs::create_directories(run_dir_);
        fs::copy(fs::path(KORVANTI_RUNDIR) / "musik.xm", run_dir_ / "musik.xm");
        fs::copy(fs::path(KORVANTI_RUNDIR) / "Data", run_dir_ / "Data",
                 fs::copy_options::recursive);
    }
    void TearDown() override {
        // However the test ended, no recorder or server outlives it.
        pulse_record_stop(&recording_);
        pulse_server_stop(&pulse_);
        remove_scratch_dir(base_.string());
    }

    // The demo with its sound going nowhere but a file.
    DemoLaunch demo_launch(double deadline) const {
        DemoLaunch launch;
        launch.argv = {KORVANTI_BINARY};
        launch.dir = run_dir_.string();
        launch.out_path = (base_ / "out.txt").string();
        launch.err_path = (base_ / "err.txt").string();
        launch.set = {{"SDL_AUDIODRIVER", "disk"},
                      {"SDL_DISKAUDIOFILE", (base_ / "audio.raw").string()},
                      {"KORVANTI_MESSAGE_BOX", "stderr"}};
        launch.deadline = deadline;
        return launch;
    }

    fs::path base_;
    fs::path run_dir_;
    PulseServer pulse_;
    PulseRecording recording_;
};

TEST_F(DemoTest, EndsByItselfAtOrderEightHavingPlayedTheMusic) {
    Reference reference = render_reference((run_dir_ / "musik.xm").string(), RATE, END_ORDER);
    ASSERT_GE(reference.end_block, 0) << "the module never reaches order 8";
    const double song_seconds = reference_seconds(reference);

    const fs::path pulse_dir = base_ / "pulse";
    fs::create_directory(pulse_dir);
    std::string error = pulse_server_start(&pulse_, pulse_dir.string());
    ASSERT_EQ(error, "");
    error = pulse_record_start(&recording_, pulse_, (base_ / "sound.raw").string());
    ASSERT_EQ(error, "");

    // The end comes once order 8 is heard, and the server plays in real
    // time. Start-up (window, images, the first ring of sound) comes first.
    DemoLaunch launch = demo_launch(song_seconds * 1.5 + 60.0);
    launch.set = pulse_client_environment(pulse_);
    launch.set.push_back({"SDL_AUDIODRIVER", "pulseaudio"});
    launch.set.push_back({"KORVANTI_MESSAGE_BOX", "stderr"});
    // Where in the recording the demo was started, to within the
    // recorder's latency.
    std::error_code ignored;
    const double recorded_before_start = double(fs::file_size(recording_.path, ignored)) / 4 / RATE;
    DemoRun run = run_demo(launch);
    // The demo's stream is gone with it; what the sink played reaches the
    // file within the recorder's latency.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    error = pulse_record_stop(&recording_);
    pulse_server_stop(&pulse_);
    ASSERT_TRUE(run.started) << run.err;
    ASSERT_FALSE(run.timed_out) << "still running after " << run.seconds << " s";
    ASSERT_TRUE(run.exited) << "killed by a signal";
    EXPECT_EQ(error, "");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(count_of(run.err, "ERROR"), 0) << run.err;
    EXPECT_EQ(count_of(run.err, "Zelv GL"), 0) << run.err;

    SoundFigures sound = compare_with_reference(reference, read_pcm(recording_.path));
    ASSERT_TRUE(sound.reference_sounds) << "the reference is silent";
    ASSERT_TRUE(sound.recording_sounds) << "the recording is silent";
    // The song's first frame, lined up, lies this far after the start.
    const double song_start = double(sound.offset) / RATE - recorded_before_start;
    RecordProperty("song_seconds", std::to_string(song_seconds));
    RecordProperty("run_seconds", std::to_string(run.seconds));
    RecordProperty("song_start_seconds", std::to_string(song_start));
    RecordProperty("recorded_seconds", std::to_string(sound.recorded_seconds));
    RecordProperty("first_sound_seconds", std::to_string(sound.first_sound_seconds));
    RecordProperty("last_sound_seconds", std::to_string(sound.last_sound_seconds));
    RecordProperty("feeder_blocks_matching",
                   std::to_string(sound.matching_blocks) + "/" + std::to_string(sound.blocks) + " of " +
                       std::to_string(sound.reference_blocks));
    RecordProperty("start_lost_frames", std::to_string(sound.start_lost_frames));
    RecordProperty("dropouts", std::to_string(sound.gaps) + " (" + std::to_string(sound.gap_seconds) +
                                   " s of zeros, " + std::to_string(sound.lost_seconds) + " s lost)");
    std::printf("[ info ] run %.2f s, song %.2f s from %.2f s after the start, recorded %.2f s, "
                "first sound at %.3f s of the recording, last sound at %.3f s of the song (%.3f s in the "
                "reference), %lld frames lost at the start, first ring %lld/%lld frames exact, blocks %d/%d of %d, dropouts %d (%.3f s of zeros, "
                "%.3f s lost)\n",
                run.seconds, song_seconds, song_start, sound.recorded_seconds,
                sound.first_sound_seconds, sound.last_sound_seconds,
                sound.reference_last_sound_seconds, (long long)sound.start_lost_frames,
                (long long)sound.ring_exact_frames,
                (long long)sound.ring_frames, sound.matching_blocks, sound.blocks, sound.reference_blocks,
                sound.gaps, sound.gap_seconds, sound.lost_seconds);

    // The sound starts within seconds, and the run ends once the song up to
    // order 8 has been heard, at the server's pace: later by the zeros of
    // any dropout, which delay what is heard.
    ASSERT_GE(sound.offset, 0) << "sound before the recording started";
    EXPECT_GE(song_start, 0.0);
    EXPECT_LE(song_start, 10.0);
    EXPECT_GE(run.seconds - song_start, song_seconds - 0.5);
    EXPECT_LE(run.seconds - song_start, song_seconds + 3.0 + sound.gap_seconds);
    // The recording holds the song to its last sound and little more: the
    // demo stops the sound as soon as the end is heard.
    EXPECT_GE(sound.last_sound_seconds, sound.reference_last_sound_seconds);
    EXPECT_LE(sound.last_sound_seconds, song_seconds + 3.0 + sound.gap_seconds);

    // A sound server may drop the first milliseconds of a new stream; the
    // rest is compared from there.
    EXPECT_GE(sound.start_lost_frames, 0) << "the recording's first sound is not in the song's first 100 ms";
    EXPECT_LE(sound.start_lost_frames, RATE / 20) << "more than 50 ms lost at the start";
    // The first ring, rendered before play starts, is heard exactly, and
    // later blocks, which come from the feeder while the device plays,
    // nearly all; dropouts aside (zeros where a loaded machine let the
    // device run dry), which are counted above. Every second with sound in
    // the reference has sound.
    EXPECT_EQ(sound.ring_exact_frames, sound.ring_frames) << "first difference at frame " << sound.ring_exact_frames;
    EXPECT_EQ(sound.blocks, sound.reference_blocks) << "the recording ends before the song";
    EXPECT_GE(sound.matching_blocks, sound.blocks * 9 / 10)
        << sound.matching_blocks << " of " << sound.blocks << " blocks match";
    EXPECT_GT(sound.sounding_seconds, 0);
    EXPECT_TRUE(sound.silent_seconds.empty()) << sound.silent_seconds.size() << " silent seconds, the first "
                                              << (sound.silent_seconds.empty() ? -1 : sound.silent_seconds[0]);
}

TEST_F(DemoTest, WithoutTheModuleTheFirstSceneRunsUntilClosed) {
    fs::remove(run_dir_ / "musik.xm");
    ScreenState screen = {};
    DemoLaunch launch = demo_launch(60.0);
    launch.terminate_after = 5.0;
    launch.before_terminate = [&screen] { screen = look_at_screen(); };
    DemoRun run = run_demo(launch);
    ASSERT_FALSE(run.timed_out);
    EXPECT_TRUE(run.terminated) << "ended by itself after " << run.seconds << " s";
    ASSERT_TRUE(run.exited) << "killed by the signal instead of closing";
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "Error loading song\n");
    EXPECT_EQ(count_of(run.err, "ERROR"), 0) << run.err;

    // Five seconds in: the first scene on screen, the frame rate in the
    // caption, and no more than the 28 ms pacing allows (1000 / 28 = 35.7).
    ASSERT_TRUE(screen.opened) << "no X display";
    RecordProperty("caption", screen.caption);
    RecordProperty("lit_pixels", std::to_string(screen.lit_pixels));
    float rate = -1;
    char tail = 0;
    ASSERT_EQ(sscanf(screen.caption.c_str(), "korvanti [%f FPS]%c", &rate, &tail), 1)
        << "caption \"" << screen.caption << "\"";
    EXPECT_GT(rate, 0.0f);
    EXPECT_LE(rate, 37.0f);
    EXPECT_GT(screen.lit_pixels, screen.pixels / 100) << "the screen is black";
}

TEST_F(DemoTest, EachMissingImageIsReportedOnceAndTheDemoGoesOn) {
    for (const char* name : DATA_FILES) {
        SCOPED_TRACE(name);
        const fs::path moved = base_ / name;
        fs::rename(run_dir_ / "Data" / name, moved);
        DemoLaunch launch = demo_launch(60.0);
        launch.terminate_after = 0.0;
        launch.terminate_when = "ERROR: Could not open texture file";
        DemoRun run = run_demo(launch);
        fs::rename(moved, run_dir_ / "Data" / name);
        ASSERT_FALSE(run.timed_out) << run.err;
        EXPECT_TRUE(run.terminated);
        ASSERT_TRUE(run.exited) << "signal " << run.signal << "\n" << run.err;
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(count_of(run.err, "ERROR: Could not open texture file\n"), 1) << run.err;
        EXPECT_EQ(count_of(run.err, "ERROR"), 1) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

}  // namespace
