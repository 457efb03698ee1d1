// The demo's music glue (scenes/music.cpp) as the shell and the scenes use
// it: its two fixed lines on standard output, its answers when nothing could
// be started, and a song played and followed through the system's sound
// output. The output is SDL2's: its dummy driver plays in real time without
// a sound card, and a driver that does not exist makes the open fail.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "korvanti/player.h"
#include "scenes/music.h"
#include "support/scratch_dir.h"
#include "support/song_from_bytes.h"

namespace {

std::string run_music_init(const std::string& file_name) {
    ::testing::internal::CaptureStdout();
    music_init(file_name.c_str());
    return ::testing::internal::GetCapturedStdout();
}

// Whether the system's output opens at all here (SDL2 installed, its dummy
// driver built in).
bool sound_output_opens() {
    korvanti_player* player = korvanti_player_create_live(44100, KORVANTI_DEVICE_SOUND, nullptr, nullptr, 0);
    korvanti_player_destroy(player);
    return player != nullptr;
}

XmModule busy_module() {
    std::vector<XmCell> rows;
    for (int row = 0; row < 32; ++row) {
        uint8_t note = static_cast<uint8_t>(37 + (row * 7) % 24);
        rows.push_back(row % 3 == 2 ? note_cell(0, 0, 0, 0x0A, 0x02) : note_cell(note, 1, 0, 0x04, 0x46));
    }
    return one_channel_module(rows);
}

class MusicGlue : public ::testing::Test {
protected:
    void SetUp() override {
        folder = make_scratch_dir("music_glue");
        ASSERT_FALSE(folder.empty());
        use_driver("dummy");
    }
    void TearDown() override {
        music_shutdown();
        remove_scratch_dir(folder);
    }
    static void use_driver(const char* name) {
#ifdef _WIN32
        _putenv_s("SDL_AUDIODRIVER", name);
#else
        setenv("SDL_AUDIODRIVER", name, 1);
#endif
    }
    static void no_device() { use_driver("korvanti_no_such_driver"); }
    std::string song_file(const XmModule& module, const char* name) {
        std::string path = folder + "/" + name;
        EXPECT_TRUE(xm_write_file(module, path));
        return path;
    }
    std::string folder;
};

void expect_nothing_heard() {
    EXPECT_EQ(music_order(), 0);
    EXPECT_EQ(music_row(), 0);
    int32_t out[32];
    for (int32_t& value : out) value = -3;
    EXPECT_EQ(music_channel_values(out), 0);
    for (int32_t value : out) EXPECT_EQ(value, -3);
}

}  // namespace

TEST_F(MusicGlue, MissingSongPrintsTheLoadErrorAndAnswersZero) {
    if (!sound_output_opens()) GTEST_SKIP() << "the system's sound output does not open here";
    EXPECT_EQ(run_music_init(folder + "/absent.xm"), "Error loading song\n");  // the player itself did start
    EXPECT_FALSE(music_play());
    expect_nothing_heard();
}

// Without a sound device the line is printed and kept for the shell with
// the device's reason, and the show goes on: what is heard moves with the
// clock as if the music played.
TEST_F(MusicGlue, WithoutADeviceTheMusicRunsByTheClock) {
    std::string path = song_file(busy_module(), "busy.xm");
    no_device();
    EXPECT_EQ(run_music_init(path), "Error upon initialization\n");
    const std::string failure = music_failure();
    EXPECT_EQ(failure.rfind("Error upon initialization\n", 0), 0u) << failure;
    EXPECT_NE(failure.find("korvanti_no_such_driver"), std::string::npos) << failure;
    ASSERT_TRUE(music_play());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (music_row() < 4 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GE(music_row(), 4) << "the clock did not move what is heard";
    music_shutdown();
    expect_nothing_heard();
}

TEST_F(MusicGlue, BothFailuresPrintBothLinesInOrder) {
    no_device();
    EXPECT_EQ(run_music_init(folder + "/absent.xm"), "Error upon initialization\nError loading song\n");
    EXPECT_EQ(std::string(music_failure()).find("Error loading song\n") != std::string::npos, true);
    EXPECT_FALSE(music_play());
    expect_nothing_heard();
}

TEST_F(MusicGlue, ModuleThatIsNotXmIsALoadError) {
    if (!sound_output_opens()) GTEST_SKIP() << "the system's sound output does not open here";
    std::string path = folder + "/not_xm.xm";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("This is a text file, not a module.\n", file);
    std::fclose(file);
    EXPECT_EQ(run_music_init(path), "Error loading song\n");
    EXPECT_FALSE(music_play());
}

// The song plays and what is heard moves on with the device's clock; after
// the shutdown nothing is heard any more.
TEST_F(MusicGlue, PlaysTheSongAndReportsWhatIsHeard) {
    if (!sound_output_opens()) GTEST_SKIP() << "the system's sound output does not open here";
    std::string path = song_file(busy_module(), "busy.xm");
    EXPECT_EQ(run_music_init(path), "");
    std::remove(path.c_str());  // loaded into memory by now
    ASSERT_TRUE(music_play());
    int32_t out[32];
    for (int32_t& value : out) value = -1;
    EXPECT_EQ(music_channel_values(out), 0);
    EXPECT_EQ(out[1], -1);  // one channel: one entry written
    EXPECT_TRUE(out[0] == 0 || out[0] == 1);
    // 5292 frames a row: row 2 is heard some 240 ms on, row 4 some 480 ms.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int32_t row = 0;
    while ((row = music_row()) < 4 && std::chrono::steady_clock::now() < deadline) {
        EXPECT_EQ(music_order(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GE(row, 4) << "the music heard did not move on";
    EXPECT_LT(row, 32);
    music_shutdown();
    expect_nothing_heard();
    EXPECT_FALSE(music_play());
}

// The demo's whole life of its music, over and over, through the system's
// output: init, play, queries, shutdown.
TEST_F(MusicGlue, Cycles) {
    if (!sound_output_opens()) GTEST_SKIP() << "the system's sound output does not open here";
    std::string path = song_file(busy_module(), "cycles.xm");
    for (int cycle = 0; cycle < 8; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_EQ(run_music_init(path), "");
        ASSERT_TRUE(music_play());
        int32_t out[1];
        for (int query = 0; query < 200; ++query) {
            ASSERT_LT(music_order(), 1);
            ASSERT_LT(music_row(), 32);
            ASSERT_EQ(music_channel_values(out), 0);
            ASSERT_TRUE(out[0] == 0 || out[0] == 1) << out[0];
        }
        music_shutdown();
        expect_nothing_heard();
    }
}
