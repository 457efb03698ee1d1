// xmplay built for another system renders every module of the test set to
// the same bytes as the native build: PCM and snapshots. The other build
// runs through its emulator (wine for Windows, qemu for other processors,
// node for WebAssembly), named by the environment:
//   KORVANTI_CROSS_XMPLAY  the other system's xmplay
//   KORVANTI_CROSS_RUNNER  the command that runs it, words split at spaces
//                          (empty: run it directly)
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> split_words(const std::string& text) {
    std::istringstream words(text);
    std::vector<std::string> result;
    for (std::string word; words >> word;) result.push_back(word);
    return result;
}

struct Ran {
    bool exited;
    int exit_code;
    std::string err;
};

// Runs the command to its end (at most `seconds`), in `dir`.
Ran run(const std::vector<std::string>& argv, const std::string& dir, double seconds) {
    ChildLaunch launch;
    launch.argv = argv;
    launch.dir = dir;
    launch.err_path = dir + "/stderr.txt";
    std::string error;
    pid_t child = start_child(launch, &error);
    if (child == 0) return {false, -1, error};
    int status = 0;
    if (!wait_for_child(child, seconds, &status)) {
        stop_child(child, SIGKILL, 5.0, nullptr);
        return {false, -1, "still running after " + std::to_string(seconds) + " s"};
    }
    return {WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_whole_file(launch.err_path)};
}

// The test set: a module for every effect (both frequency tables) and for
// the structural edges of the format, busy real-song-like modules, and the
// demo's own music.
std::vector<std::string> make_module_set(const std::string& dir) {
    std::vector<std::string> modules;
    Ran seeds = run({FUZZ_SEEDS, dir}, dir, 60.0);
    EXPECT_TRUE(seeds.exited && seeds.exit_code == 0) << seeds.err;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".xm") modules.push_back(entry.path().string());
    }
    std::sort(modules.begin(), modules.end());
    modules.push_back(std::string(KORVANTI_RUNDIR) + "/musik.xm");
    return modules;
}

// The first byte at which two files differ; -1 when they are the same.
int64_t first_difference(const std::string& a, const std::string& b) {
    size_t common = std::min(a.size(), b.size());
    auto at = std::mismatch(a.begin(), a.begin() + long(common), b.begin());
    if (at.first != a.begin() + long(common)) return at.first - a.begin();
    return a.size() == b.size() ? -1 : int64_t(common);
}

TEST(CrossRender, EveryModuleRendersToTheNativeBytes) {
    const char* other = std::getenv("KORVANTI_CROSS_XMPLAY");
    ASSERT_NE(other, nullptr) << "KORVANTI_CROSS_XMPLAY names no xmplay of another system";
    const char* runner = std::getenv("KORVANTI_CROSS_RUNNER");
    const std::vector<std::string> prefix = split_words(runner != nullptr ? runner : "");

    const std::string dir = make_scratch_dir("cross");
    ASSERT_FALSE(dir.empty());
    const std::vector<std::string> modules = make_module_set(dir);
    ASSERT_GT(modules.size(), 50u);

    int64_t bytes_compared = 0;
    for (const std::string& module : modules) {
        SCOPED_TRACE(module);
        // The demo's music whole, as a listener gets it (its end found by
        // the song-end rule); the small modules for 30 s, through their ends
        // and loops.
        const bool music = module == modules.back();
        const std::vector<std::string> options =
            music ? std::vector<std::string>{} : std::vector<std::string>{"--seconds", "30"};
        std::vector<std::string> native = {XMPLAY_NATIVE, "--raw", dir + "/native.raw", "--snapshots",
                                           dir + "/native.tsv"};
        std::vector<std::string> cross = prefix;
        cross.insert(cross.end(), {other, "--raw", dir + "/cross.raw", "--snapshots", dir + "/cross.tsv"});
        for (auto* argv : {&native, &cross}) {
            argv->insert(argv->end(), options.begin(), options.end());
            argv->push_back(module);
        }
        Ran mine = run(native, dir, 120.0);
        Ran theirs = run(cross, dir, 600.0);
        ASSERT_TRUE(mine.exited) << mine.err;
        ASSERT_TRUE(theirs.exited) << theirs.err;
        EXPECT_EQ(theirs.exit_code, mine.exit_code) << theirs.err;
        for (const char* kind : {"raw", "tsv"}) {
            std::string a = read_whole_file(dir + "/native." + kind);
            std::string b = read_whole_file(dir + "/cross." + kind);
            EXPECT_FALSE(a.empty()) << kind;
            EXPECT_EQ(a.size(), b.size()) << kind;
            EXPECT_EQ(first_difference(a, b), -1) << kind << ": first difference at byte";
            bytes_compared += int64_t(std::min(a.size(), b.size()));
        }
    }
    RecordProperty("modules", int(modules.size()));
    RecordProperty("bytes_compared", std::to_string(bytes_compared));
    remove_scratch_dir(dir);
}

}  // namespace
