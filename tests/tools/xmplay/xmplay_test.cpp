// The xmplay tool, run as a program: offline rendering is the block
// renderer's output byte for byte, the song is rendered once, and every
// kind of bad input ends with one line on standard error and a failing status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "player/output/stream.h"
#include "support/song_from_bytes.h"

namespace {

// The program beside the test executables of this build tree.
std::string xmplay_path() {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return "";
    std::string path(self, static_cast<size_t>(length));
    path = path.substr(0, path.rfind('/'));  // .../tests
    path = path.substr(0, path.rfind('/'));  // the build tree
    return path + "/tools/xmplay/xmplay";
}

std::vector<std::string> temp_paths;  // removed after each test

// Per process: ctest runs the cases of this file side by side.
std::string temp_path(const std::string& name) {
    temp_paths.push_back(::testing::TempDir() + "korvanti_xmplay_" + std::to_string(getpid()) + "_" + name);
    return temp_paths.back();
}

std::string read_file(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream contents;
    contents << stream.rdbuf();
    return contents.str();
}

struct RunResult {
    int status;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

RunResult run_xmplay(const std::string& arguments, const std::string& environment = "") {
    std::string out = temp_path("stdout.txt");
    std::string err = temp_path("stderr.txt");
    std::string command = environment + "'" + xmplay_path() + "' " + arguments + " >'" + out + "' 2>'" + err + "' </dev/null";
    int raw = std::system(command.c_str());
    RunResult result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(out), read_file(err)};
    return result;
}

std::string write_module(const XmModule& module, const std::string& name) {
    std::string path = temp_path(name);
    EXPECT_TRUE(xm_write_file(module, path));
    return path;
}

XmModule eight_note_module() {
    std::vector<XmCell> rows;
    for (uint8_t note : {49, 53, 56, 61, 0, 97, 37, 44}) rows.push_back(note_cell(note, note != 97 && note ? 1 : 0));
    return one_channel_module(rows);
}

// Two orders of 4-row patterns on 2 channels.
XmModule two_order_module() {
    XmModule module = module_with_cells(2, {note_cell(49, 1), note_cell(61, 1)}, 4,
                                        {instrument_with_sample(square_sample(64, 8))});
    module.song_length = 2;
    module.orders = {0, 1};
    module.patterns.push_back(empty_pattern(4, 2));
    set_cell(module.patterns[1], 2, 0, 1, note_cell(56, 1));
    return module;
}

int64_t frames_in_raw(const std::string& path) { return static_cast<int64_t>(read_file(path).size() / 4); }

uint32_t u32_at(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    return value;
}

class Xmplay : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(access(xmplay_path().c_str(), X_OK), 0) << "xmplay is not built: " << xmplay_path();
    }
    void TearDown() override {
        player_close();
        for (const std::string& path : temp_paths) std::remove(path.c_str());
        temp_paths.clear();
    }
};

}  // namespace

TEST_F(Xmplay, WavIsRepeatableAndIsTheBlockRenderersOutput) {
    std::string module = write_module(eight_note_module(), "eight.xm");
    std::string wav_a = temp_path("a.wav"), wav_b = temp_path("b.wav"), raw = temp_path("a.raw");
    ASSERT_EQ(run_xmplay("--blocks 30 --wav '" + wav_a + "' --raw '" + raw + "' '" + module + "'").status, 0);
    ASSERT_EQ(run_xmplay("--wav '" + wav_b + "' --blocks 30 '" + module + "'").status, 0);
    std::string a = read_file(wav_a), b = read_file(wav_b), pcm = read_file(raw);
    ASSERT_EQ(pcm.size(), 30u * 884 * 4);
    EXPECT_EQ(a, b);
    ASSERT_EQ(a.size(), 44 + pcm.size());
    EXPECT_EQ(a.substr(44), pcm);
    EXPECT_EQ(a.substr(0, 4), "RIFF");
    EXPECT_EQ(u32_at(a, 4), 36 + pcm.size());
    EXPECT_EQ(a.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(u32_at(a, 16), 16u);
    EXPECT_EQ(u32_at(a, 20), 1u | (2u << 16));  // PCM, two channels
    EXPECT_EQ(u32_at(a, 24), 44100u);
    EXPECT_EQ(u32_at(a, 28), 44100u * 4);
    EXPECT_EQ(u32_at(a, 32), 4u | (16u << 16));  // 4 bytes a frame, 16 bits
    EXPECT_EQ(a.substr(36, 4), "data");
    EXPECT_EQ(u32_at(a, 40), pcm.size());

    // The same blocks rendered here, in this process.
    SongPtr song(load_song_from_module(eight_note_module()));
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(player_init_offline(44100));
    ASSERT_TRUE(song_render_start(song.get()));
    std::string expected;
    for (int block = 0; block < 30; ++block) {
        const int16_t* block_pcm = song_render_next(nullptr);
        for (int i = 0; i < 884 * 2; ++i) {
            auto value = static_cast<uint16_t>(block_pcm[i]);
            expected.push_back(static_cast<char>(value & 255));
            expected.push_back(static_cast<char>(value >> 8));
        }
    }
    EXPECT_TRUE(pcm == expected) << "xmplay's PCM differs from render_block's";
    EXPECT_NE(pcm, std::string(pcm.size(), '\0'));
}

TEST_F(Xmplay, SnapshotsFileHasOneLinePerBlockAsRendered) {
    std::string module = write_module(two_order_module(), "two_orders.xm");
    std::string table = temp_path("snapshots.tsv");
    ASSERT_EQ(run_xmplay("--snapshots '" + table + "' --blocks 40 '" + module + "'").status, 0);

    SongPtr song(load_song_from_module(two_order_module()));
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(player_init_offline(44100));
    ASSERT_TRUE(song_render_start(song.get()));
    std::istringstream lines(read_file(table));
    std::string line;
    int block = 0;
    bool saw_note = false, saw_second_order = false;
    while (std::getline(lines, line)) {
        SCOPED_TRACE(line);
        ASSERT_LT(block, 40);
        SyncSnapshot snapshot;
        ASSERT_NE(song_render_next(&snapshot), nullptr);
        std::ostringstream expected;
        expected << block << ' ' << int{snapshot.order} << ' ' << int{snapshot.row} << ' ' << int32_t{snapshot.elapsed_ms};
        for (int i = 0; i < 32; ++i) {
            int32_t note;
            std::memcpy(&note, reinterpret_cast<const char*>(snapshot.channel_notes) + 4 * i, 4);
            expected << ' ' << note;
            if (i >= 2) {
                ASSERT_EQ(note, 0);
            }
            saw_note = saw_note || note == 1;
        }
        EXPECT_EQ(line, expected.str());
        saw_second_order = saw_second_order || snapshot.order == 1;
        ++block;
    }
    EXPECT_EQ(block, 40);
    EXPECT_TRUE(saw_note);
    EXPECT_TRUE(saw_second_order);
}

// Without a length the song plays once: up to the first tick of the row that
// play returns to. Rows last 6 ticks of 882 frames (441 at 22050 Hz).
TEST_F(Xmplay, SongIsRenderedOnceUpToTheRowPlayReturnsTo) {
    XmModule looped = module_with_cells(1, {}, 8, {instrument_with_sample(square_sample(64, 8))});
    set_cell(looped.patterns[0], 1, 0, 0, note_cell(49, 1, 0, 0x0E, 0x60));
    set_cell(looped.patterns[0], 1, 3, 0, note_cell(0, 0, 0, 0x0E, 0x62));
    XmModule jumped = two_order_module();
    set_cell(jumped.patterns[1], 2, 1, 0, note_cell(0, 0, 0, 0x0B, 0x00));
    XmModule restarted = two_order_module();
    restarted.restart_position = 1;
    // A B on the loop's last row overrides the loop: play goes back for good.
    XmModule loop_overridden = module_with_cells(2, {}, 4, {instrument_with_sample(square_sample(64, 8))});
    set_cell(loop_overridden.patterns[0], 2, 0, 0, note_cell(49, 1, 0, 0x0E, 0x60));
    set_cell(loop_overridden.patterns[0], 2, 2, 0, note_cell(0, 0, 0, 0x0E, 0x62));
    set_cell(loop_overridden.patterns[0], 2, 2, 1, note_cell(0, 0, 0, 0x0B, 0x00));

    struct Case {
        const char* name;
        XmModule module;
        const char* options;
        int64_t rows;
        int64_t frames_per_row;
    };
    std::vector<Case> cases = {
        {"wrap", eight_note_module(), "", 8, 6 * 882},
        {"wrap at 22050 Hz", eight_note_module(), "--rate 22050", 8, 6 * 441},
        {"pattern loop played 3 times", looped, "", 3 * 4 + 4, 6 * 882},
        {"backward jump", jumped, "", 4 + 2, 6 * 882},
        {"restart position", restarted, "", 8, 6 * 882},
        {"position jump on a loop row", loop_overridden, "", 3, 6 * 882},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string module = write_module(c.module, "once.xm");
        std::string raw = temp_path("once.raw");
        RunResult run = run_xmplay(std::string(c.options) + " --raw '" + raw + "' '" + module + "'");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(frames_in_raw(raw), c.rows * c.frames_per_row);
        EXPECT_NE(run.err.find("end of song"), std::string::npos) << run.err;
    }
}

TEST_F(Xmplay, LengthOptionsCutTheOutput) {
    std::string module = write_module(eight_note_module(), "length.xm");
    std::string wav = temp_path("length.wav");
    struct Case {
        const char* options;
        int64_t frames;
        uint32_t rate;
    };
    for (Case c : {Case{"--blocks 3", 3 * 884, 44100}, Case{"--seconds 0.5", 22050, 44100},
                   Case{"--rate 22050 --blocks 2", 2 * 444, 22050}, Case{"--rate 48000 --seconds 0.01", 480, 48000},
                   Case{"--seconds 2", 88200, 44100}}) {
        SCOPED_TRACE(c.options);
        RunResult run = run_xmplay(std::string(c.options) + " --wav '" + wav + "' '" + module + "'");
        ASSERT_EQ(run.status, 0) << run.err;
        std::string bytes = read_file(wav);
        EXPECT_EQ(static_cast<int64_t>(bytes.size()), 44 + 4 * c.frames);
        EXPECT_EQ(u32_at(bytes, 24), c.rate);
        EXPECT_EQ(run.err.find("end of song"), std::string::npos);
    }
}

TEST_F(Xmplay, InfoPrintsTheHeaderFacts) {
    XmModule module = two_order_module();
    module.name = "info test";
    module.default_tempo = 5;
    module.default_bpm = 140;
    module.flags = 0;
    module.instruments.push_back(instrument_with_sample(square_sample(32, 4)));
    module.instruments.back().samples.push_back(square_sample(16, 4));
    RunResult run = run_xmplay("--info '" + write_module(module, "info.xm") + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* fact : {"info test", "channels:         2\n", "song length:      2\n", "patterns:         2\n",
                             "instruments:      2\n", "samples:          3\n", "frequency table:  Amiga\n",
                             "tempo:            5\n", "BPM:              140\n"}) {
        EXPECT_NE(run.out.find(fact), std::string::npos) << fact << " missing from:\n" << run.out;
    }
}

TEST_F(Xmplay, BadInputGivesOneLineOnStandardErrorAndAFailingStatus) {
    std::string module = write_module(eight_note_module(), "good.xm");
    std::string text = temp_path("text.xm");
    std::ofstream(text) << "Not a module at all, just text.\n";
    XmModule too_many_samples = eight_note_module();
    too_many_samples.instruments[0].sample_count = 17;  // an instrument holds at most 16
    std::string refused = write_module(too_many_samples, "refused.xm");
    std::string out = temp_path("bad.wav");
    struct Case {
        std::string arguments;
        int status;
        const char* says;
    };
    std::vector<Case> cases = {
        {"'" + temp_path("absent.xm") + "'", 1, "cannot open"},
        {"--wav '" + out + "' '" + text + "'", 1, "not an XM module"},
        {"--wav '" + out + "' '" + refused + "'", 1, "refused"},
        {"--wav '" + temp_path("no_such_dir") + "/x.wav' '" + module + "'", 1, "cannot write"},
        {"", 2, "no module"},
        {"--frobnicate '" + module + "'", 2, "unknown option"},
        {"--blocks 0 --wav '" + out + "' '" + module + "'", 2, "--blocks"},
        {"--blocks 12x --wav '" + out + "' '" + module + "'", 2, "--blocks"},
        {"--seconds -1 --wav '" + out + "' '" + module + "'", 2, "--seconds"},
        {"--seconds nan --wav '" + out + "' '" + module + "'", 2, "--seconds"},
        {"--rate 100 --wav '" + out + "' '" + module + "'", 2, "--rate"},
        {"--blocks 2 --seconds 1 --wav '" + out + "' '" + module + "'", 2, "not both"},
        {"'" + module + "' '" + module + "'", 2, "one module"},
        {"'" + module + "' --wav", 2, "needs a value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        RunResult run = run_xmplay(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

// Live play through SDL's disk-writing audio driver: what reaches the driver
// is the offline rendering, after the silence SDL writes before play starts.
TEST_F(Xmplay, LivePlaySendsTheOfflineBytesToTheDevice) {
    std::string module = write_module(eight_note_module(), "live.xm");
    std::string heard = temp_path("live_device.raw"), offline = temp_path("live_offline.raw");
    ASSERT_EQ(run_xmplay("--raw '" + offline + "' '" + module + "'").status, 0);
    std::remove(heard.c_str());
    RunResult run = run_xmplay("'" + module + "'", "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + heard + "' ");
    if (run.err.find("no sound output") != std::string::npos) GTEST_SKIP() << "built without SDL2";
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("end of song"), std::string::npos) << run.err;
    std::string device = read_file(heard), expected = read_file(offline);
    size_t lead = 0;
    while (lead + 4 <= device.size() && device.compare(lead, 4, std::string(4, '\0')) == 0) lead += 4;
    size_t expected_lead = 0;
    while (expected_lead + 4 <= expected.size() && expected.compare(expected_lead, 4, std::string(4, '\0')) == 0) {
        expected_lead += 4;
    }
    ASSERT_GE(lead, expected_lead);
    // The device heard the whole song before play stopped.
    ASSERT_GE(device.size() - (lead - expected_lead), expected.size());
    EXPECT_TRUE(device.compare(lead - expected_lead, expected.size(), expected) == 0);
}

TEST_F(Xmplay, HelpDocumentsEveryOption) {
    RunResult run = run_xmplay("--help");
    EXPECT_EQ(run.status, 0);
    for (const char* option : {"--wav", "--raw", "--snapshots", "--blocks", "--seconds", "--rate", "--info",
                               "--help", "block order row elapsed_ms", "44100"}) {
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(run_xmplay("-h").out, run.out);
}
