// The Windows package's xmplay.exe under Wine: file names in other scripts
// than Latin (a module named in Cyrillic and one in Japanese open, and a WAV
// named in Japanese holds the same bytes as the Linux xmplay writes), its
// own console held open, and both programs' resources.
//   KORVANTI_WINDOWS_PACKAGE  the unpacked package folder
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "e2e/demo_run.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "x_desktop.h"

namespace {

namespace fs = std::filesystem;

class WindowsXmplay : public ::testing::Test {
protected:
    void SetUp() override {
        const char* package = std::getenv("KORVANTI_WINDOWS_PACKAGE");
        ASSERT_NE(package, nullptr) << "KORVANTI_WINDOWS_PACKAGE names no unpacked Windows package";
        package_ = package;
        ASSERT_TRUE(fs::exists(package_ + "/xmplay.exe")) << package_;
        base_ = make_scratch_dir("windows_xmplay");
        ASSERT_FALSE(base_.empty());
    }
    void TearDown() override { remove_scratch_dir(base_); }

    // Runs a program in the scratch folder; Wine takes the arguments from
    // the UTF-8 locale.
    DemoRun run(const std::vector<std::string>& argv) {
        DemoLaunch launch;
        launch.argv = argv;
        launch.dir = base_;
        launch.set = {{"LC_ALL", "C.UTF-8"}, {"WINEDEBUG", "-all"}};
        launch.out_path = base_ + "/out.txt";
        launch.err_path = base_ + "/err.txt";
        launch.deadline = 120.0;
        return run_demo(launch);
    }

    std::string package_;
    std::string base_;
};

TEST_F(WindowsXmplay, ModulesAndOutputsNamedInCyrillicAndJapanese) {
    const std::string cyrillic = "\u0434\u043e\u043c.xm";          // дом.xm
    const std::string japanese = "\u97f3\u697d.xm";                // 音楽.xm
    const std::string japanese_wav = "\u51fa\u529b.wav";          // 出力.wav
    fs::copy_file(package_ + "/musik.xm", base_ + "/" + cyrillic);
    fs::copy_file(package_ + "/musik.xm", base_ + "/" + japanese);
    const std::string xmplay = package_ + "/xmplay.exe";

    DemoRun info = run({"wine", xmplay, "--info", cyrillic, japanese});
    ASSERT_TRUE(info.started) << info.err;
    EXPECT_EQ(info.exit_code, 0) << info.err;
    EXPECT_EQ(count_of(info.out, "file:             " + cyrillic), 1) << info.out;
    EXPECT_EQ(count_of(info.out, "file:             " + japanese), 1) << info.out;
    EXPECT_EQ(count_of(info.out, "duration:"), 2) << info.out;

    DemoRun render = run({"wine", xmplay, "--wav", japanese_wav, "--seconds", "4", cyrillic});
    ASSERT_TRUE(render.started) << render.err;
    EXPECT_EQ(render.exit_code, 0) << render.err;
    DemoRun native = run({XMPLAY_BINARY, "--wav", "native.wav", "--seconds", "4", package_ + "/musik.xm"});
    ASSERT_EQ(native.exit_code, 0) << native.err;
    const std::string written = read_whole_file(base_ + "/" + japanese_wav);
    EXPECT_GT(written.size(), 4u * 44100 * 4);
    EXPECT_TRUE(written == read_whole_file(base_ + "/native.wav")) << written.size() << " bytes";
}

// Double-clicked in Explorer, xmplay.exe gets a console of its own, which
// would close the moment it ends: it shows its usage and waits for a key. Wine's "start"
// gives a program a console of its own, shown as a window on the X display.
TEST_F(WindowsXmplay, AloneOnItsConsoleItWaitsForAKeyBeforeItEnds) {
    DemoLaunch launch;
    launch.argv = {"wine", "start", "/wait", "/unix", package_ + "/xmplay.exe"};
    launch.dir = base_;
    launch.set = {{"WINEDEBUG", "-all"}};
    launch.out_path = base_ + "/out.txt";
    launch.err_path = base_ + "/err.txt";
    launch.deadline = 60.0;
    bool waited = false;
    std::string tap_error;
    bool tapped = false;
    launch.while_running = [&](double seconds) {
        if (tapped || !tap_error.empty() || seconds < 8.0) return;
        waited = true;  // still running long after its one line
        tapped = x_tap_key("Return", &tap_error);
    };
    DemoRun run = run_demo(launch);
    ASSERT_TRUE(run.started) << run.err;
    EXPECT_TRUE(waited) << "ended after " << run.seconds << " s without a key, status " << run.exit_code << ":\n"
                        << run.out << run.err;
    EXPECT_TRUE(tapped) << tap_error;
    EXPECT_FALSE(run.timed_out) << "no end after the key";
    // "start /wait" hands on xmplay's status: 0, the usage shown rather
    // than "no module given" (2).
    EXPECT_EQ(run.exit_code, 0);
}

// Both programs carry an icon, version information and their manifest, as
// the resource compiler reads them back out of the packed programs.
TEST_F(WindowsXmplay, ProgramsCarryIconVersionAndManifest) {
    const std::string windres = find_program("x86_64-w64-mingw32-windres");
    ASSERT_FALSE(windres.empty()) << "no x86_64-w64-mingw32-windres";
    struct Program {
        const char* name;
        const char* manifest_setting;
    };
    const Program programs[] = {{"korvanti.exe", "PerMonitorV2"}, {"xmplay.exe", ">UTF-8</activeCodePage>"}};
    for (const Program& program : programs) {
        SCOPED_TRACE(program.name);
        DemoRun read = run({windres, "-i", package_ + "/" + program.name, "-O", "rc"});
        ASSERT_EQ(read.exit_code, 0) << read.err;
        EXPECT_EQ(count_of(read.out, "1 3 /* RT_ICON */"), 1);
        EXPECT_EQ(count_of(read.out, "1 14 /* RT_GROUP_ICON */"), 1);
        EXPECT_EQ(count_of(read.out, "VALUE \"OriginalFilename\", \"" + std::string(program.name) + "\""), 1);
        EXPECT_EQ(count_of(read.out, "VALUE \"ProductName\", \"korvanti\""), 1);
        EXPECT_EQ(count_of(read.out, "1 24 /* RT_MANIFEST */"), 1);
        EXPECT_EQ(count_of(read.out, program.manifest_setting), 1);
    }
}

}  // namespace
