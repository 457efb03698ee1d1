// The music glue's two fixed lines on standard output, and its answers when
// nothing could be started.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "player/module/file_access.h"
#include "scenes/music.h"
#include "player/output/sound_device.h"
#include "player/output/stream.h"
#include "support/song_from_bytes.h"

namespace {

std::string temp_path(const char* name) {
    return ::testing::TempDir() + "korvanti_music_" + std::to_string(getpid()) + "_" + name;
}

std::string run_music_init(const std::string& file_name) {
    ::testing::internal::CaptureStdout();
    music_init(file_name.c_str());
    return ::testing::internal::GetCapturedStdout();
}

class MusicGlue : public ::testing::Test {
protected:
    void TearDown() override {
        music_shutdown();
        virtual_device_fail_open(false);
    }
};

}  // namespace

TEST_F(MusicGlue, MissingSongPrintsTheLoadErrorAndAnswersZero) {
    EXPECT_EQ(run_music_init(temp_path("absent.xm")), "Error loading song\n");
    EXPECT_TRUE(virtual_device_is_open());  // the player itself did start
    EXPECT_FALSE(music_play());
    EXPECT_FALSE(stream_feeder_running());
    EXPECT_EQ(music_order(), 0);
    EXPECT_EQ(music_row(), 0);
    int32_t out[32];
    for (int32_t& value : out) value = -3;
    EXPECT_EQ(music_channel_values(out), 0);
    for (int32_t value : out) EXPECT_EQ(value, -3);
    // The glue installs the MemoryFile table itself.
    EXPECT_EQ(file_callbacks.open, &memory_file_open);
    EXPECT_EQ(file_callbacks.tell, &memory_file_tell);
}

TEST_F(MusicGlue, DeviceFailurePrintsTheInitErrorAndStillLoads) {
    std::string path = temp_path("two_rows.xm");
    ASSERT_TRUE(xm_write_file(one_channel_module({note_cell(49, 1), note_cell(0, 0)}), path));
    virtual_device_fail_open(true);
    EXPECT_EQ(run_music_init(path), "Error upon initialization\n");
    EXPECT_FALSE(music_play());
    EXPECT_FALSE(stream_feeder_running());
    EXPECT_EQ(music_order(), 0);
    EXPECT_EQ(music_row(), 0);
    std::remove(path.c_str());
}

TEST_F(MusicGlue, BothFailuresPrintBothLinesInOrder) {
    virtual_device_fail_open(true);
    EXPECT_EQ(run_music_init(temp_path("absent.xm")), "Error upon initialization\nError loading song\n");
    EXPECT_FALSE(music_play());
}

TEST_F(MusicGlue, ModuleThatIsNotXmIsALoadError) {
    std::string path = temp_path("not_xm.xm");
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("This is a text file, not a module.\n", file);
    std::fclose(file);
    EXPECT_EQ(run_music_init(path), "Error loading song\n");
    EXPECT_FALSE(music_play());
    std::remove(path.c_str());
}
