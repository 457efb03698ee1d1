// xmplay run as a program, offline: its files and pipes hold the block
// renderer's output byte for byte, the song is rendered as often as asked,
// --info tells what a render would find, and every kind of bad input ends
// with one line on standard error and a failing status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "korvanti/player.h"
#include "support/scratch_dir.h"
#include "support/song_from_bytes.h"
#include "xmplay/xmplay_run.h"

namespace {

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
    set_cell(module.patterns[1], 2, 2, 1, note_cell(56, 1));
    return module;
}

bool have_program(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

class Xmplay : public ::testing::Test {
protected:
    void SetUp() override {
        folder = make_scratch_dir("xmplay");
        ASSERT_FALSE(folder.empty());
    }
    void TearDown() override { remove_scratch_dir(folder); }
    std::string path(const std::string& name) const { return folder + "/" + name; }
    // Run in the folder, so that names need no quoting.
    RunResult run(const std::string& arguments, const std::string& environment = "") const {
        return run_xmplay(folder, arguments, "cd '" + folder + "' && " + environment);
    }
    // A shell command in the folder, with "$X" for the program.
    int shell(const std::string& command) const {
        return std::system(("cd '" + folder + "' && X='" + xmplay_path() + "' && " + command).c_str());
    }
    std::string folder;
};

}  // namespace

TEST_F(Xmplay, WavIsRepeatableAndIsTheBlockRenderersOutput) {
    std::string module = write_module(eight_note_module(), path("eight.xm"));
    ASSERT_EQ(run("--blocks 30 --wav a.wav --raw a.raw eight.xm").status, 0);
    ASSERT_EQ(run("--wav=b.wav --blocks=30 eight.xm").status, 0);
    std::string a = read_file(path("a.wav")), b = read_file(path("b.wav")), pcm = read_file(path("a.raw"));
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
    std::string expected = offline_pcm(eight_note_module(), 30);
    EXPECT_TRUE(pcm == expected) << "xmplay's PCM differs from render_block's";
    EXPECT_NE(pcm, std::string(pcm.size(), '\0'));
}

TEST_F(Xmplay, SnapshotsFileHasOneLinePerBlockAsRendered) {
    write_module(two_order_module(), path("two_orders.xm"));
    ASSERT_EQ(run("--snapshots snapshots.tsv --blocks 40 two_orders.xm").status, 0);
    std::vector<korvanti_sync_snapshot> snapshots;
    offline_pcm(two_order_module(), 40, 44100, &snapshots);
    ASSERT_EQ(snapshots.size(), 40u);
    std::istringstream lines(read_file(path("snapshots.tsv")));
    std::string line;
    size_t block = 0;
    bool saw_note = false, saw_second_order = false;
    while (std::getline(lines, line)) {
        SCOPED_TRACE(line);
        ASSERT_LT(block, snapshots.size());
        const korvanti_sync_snapshot& snapshot = snapshots[block];
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
    EXPECT_EQ(block, 40u);
    EXPECT_TRUE(saw_note);
    EXPECT_TRUE(saw_second_order);
}

// Without a length the song plays once (or --loop N times): up to the first
// tick of the row that play returns to (for the N-th time). Rows last 6 ticks
// of 882 frames (441 at 22050 Hz).
TEST_F(Xmplay, SongIsRenderedAsOftenAsAskedUpToTheRowPlayReturnsTo) {
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
        {"wrap at 22050 Hz", eight_note_module(), "--rate=22050", 8, 6 * 441},
        {"pattern loop played 3 times", looped, "", 3 * 4 + 4, 6 * 882},
        {"backward jump", jumped, "", 4 + 2, 6 * 882},
        {"restart position", restarted, "", 8, 6 * 882},
        {"position jump on a loop row", loop_overridden, "", 3, 6 * 882},
        {"wrap, twice", eight_note_module(), "--loop 2", 2 * 8, 6 * 882},
        {"restart position, twice: the second pass starts at order 1", restarted, "--loop=2", 8 + 4, 6 * 882},
        {"pattern loop, three times", looped, "--loop 3", 3 * 16, 6 * 882},
        {"backward jump, twice, shorter than the length", jumped, "--loop 2 --seconds 100", 2 * (4 + 2), 6 * 882},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_module(c.module, path("once.xm"));
        RunResult result = run(std::string(c.options) + " --raw once.raw once.xm");
        ASSERT_EQ(result.status, 0) << result.err;
        std::string pcm = read_file(path("once.raw"));
        EXPECT_EQ(static_cast<int64_t>(pcm.size() / 4), c.rows * c.frames_per_row);
        EXPECT_NE(result.err.find("end of song"), std::string::npos) << result.err;
        // More passes are the song going on as it does by itself.
        std::string rate = std::strstr(c.options, "22050") != nullptr ? "--rate 22050" : "";
        ASSERT_EQ(run(rate + " --seconds 30 --raw long.raw once.xm").status, 0);
        EXPECT_TRUE(read_file(path("long.raw")).compare(0, pcm.size(), pcm) == 0);
    }
}

TEST_F(Xmplay, LengthOptionsCutTheOutput) {
    write_module(eight_note_module(), path("length.xm"));
    struct Case {
        const char* options;
        int64_t frames;
        uint32_t rate;
    };
    for (Case c : {Case{"--blocks 3", 3 * 884, 44100}, Case{"--seconds 0.5", 22050, 44100},
                   Case{"--rate 22050 --blocks 2", 2 * 444, 22050}, Case{"--rate 48000 --seconds 0.01", 480, 48000},
                   Case{"--seconds 2", 88200, 44100}, Case{"--loop --seconds 2", 88200, 44100}}) {
        SCOPED_TRACE(c.options);
        RunResult result = run(std::string(c.options) + " --wav length.wav length.xm");
        ASSERT_EQ(result.status, 0) << result.err;
        std::string bytes = read_file(path("length.wav"));
        EXPECT_EQ(static_cast<int64_t>(bytes.size()), 44 + 4 * c.frames);
        EXPECT_EQ(u32_at(bytes, 24), c.rate);
        EXPECT_EQ(result.err.find("end of song"), std::string::npos);
    }
}

// A WAV on a pipe is a stream (header first, largest sizes) that ffmpeg and
// sox read to the very PCM of the file; "-" is standard output for every output.
TEST_F(Xmplay, StandardOutputCarriesWhatTheFilesHold) {
    write_module(two_order_module(), path("song.xm"));
    ASSERT_EQ(run("--wav file.wav --raw file.raw --snapshots file.tsv song.xm").status, 0);
    std::string file_wav = read_file(path("file.wav")), pcm = read_file(path("file.raw"));
    ASSERT_GT(pcm.size(), 0u);

    // The status of xmplay, not of the pipe's last program.
    ASSERT_EQ(shell("{ \"$X\" --wav - song.xm 2>/dev/null; echo $? >status.txt; } | cat >piped.wav"), 0);
    EXPECT_EQ(read_file(path("status.txt")), "0\n");
    std::string stream_wav = read_file(path("piped.wav"));
    ASSERT_EQ(stream_wav.size(), file_wav.size());
    EXPECT_EQ(stream_wav.substr(0, 4), "RIFF");
    EXPECT_EQ(u32_at(stream_wav, 4), 0xFFFFFFFFu);
    EXPECT_EQ(u32_at(stream_wav, 40), 0xFFFFFFFFu);
    EXPECT_EQ(stream_wav.substr(8, 32), file_wav.substr(8, 32));
    EXPECT_TRUE(stream_wav.compare(44, std::string::npos, pcm) == 0);

    ASSERT_EQ(shell("\"$X\" --raw - song.xm >stdout.raw 2>/dev/null"), 0);
    ASSERT_EQ(shell("\"$X\" --snapshots - song.xm >stdout.tsv 2>/dev/null"), 0);
    EXPECT_TRUE(read_file(path("stdout.raw")) == pcm);
    EXPECT_EQ(read_file(path("stdout.tsv")), read_file(path("file.tsv")));

    struct Reader {
        const char* program;
        const char* command;  // reads the WAV stream on standard input, writes bare PCM
    };
    for (Reader reader : {Reader{"ffmpeg", "ffmpeg -v error -f wav -i - -f s16le -"},
                          Reader{"sox", "sox -V1 -t wav - -t raw -"}}) {
        SCOPED_TRACE(reader.program);
        if (!have_program(reader.program)) {
            std::printf("%s is not installed: its reading of the stream is not checked\n", reader.program);
            continue;
        }
        std::string decoded = std::string("decoded_by_") + reader.program + ".raw";
        ASSERT_EQ(shell("\"$X\" --wav - song.xm 2>/dev/null | " + std::string(reader.command) + " >" + decoded), 0);
        EXPECT_TRUE(read_file(path(decoded)) == pcm);
    }
}

// --info: the facts, the duration a render finds (to the hundredth of a
// second), the names and the samples as stored.
TEST_F(Xmplay, InfoTellsTheFactsTheDurationAndTheSamples) {
    XmModule module = two_order_module();
    module.name = "info test";
    module.default_tempo = 5;
    module.default_bpm = 140;
    module.flags = 0;
    module.instruments[0].name = "square lead";
    module.instruments[0].samples[0].name = "square 64";
    module.instruments.push_back(instrument_with_sample(make_sample({1, 2, 3, 4, 5, 6}, false, 2, 2, 3)));
    module.instruments.back().name = "ping";
    module.instruments.back().samples[0].name = "eight-bit";
    module.instruments.back().samples.push_back(square_sample(16, 4));
    write_module(module, path("info.xm"));
    RunResult result = run("--info info.xm");
    ASSERT_EQ(result.status, 0) << result.err;
    for (const char* fact : {"info test", "channels:         2\n", "song length:      2\n", "patterns:         2\n",
                             "instruments:      2\n", "samples:          3\n", "frequency table:  Amiga\n",
                             "tempo:            5\n", "BPM:              140\n", "\"square lead\"", "\"square 64\"",
                             "\"ping\"", "\"eight-bit\"", "16-bit       512 frames  loop forward 0..512",
                             " 8-bit         6 frames  loop ping-pong 2..5", "16-bit        64 frames  loop forward 0..64"}) {
        EXPECT_NE(result.out.find(fact), std::string::npos) << fact << " missing from:\n" << result.out;
    }

    XmModule slow = eight_note_module();
    slow.default_bpm = 47;
    for (const XmModule& song : {module, eight_note_module(), slow}) {
        write_module(song, path("timed.xm"));
        RunResult info = run("--info timed.xm");
        std::smatch duration;
        ASSERT_TRUE(std::regex_search(info.out, duration, std::regex("duration: +([0-9]+):([0-9]{2})\\.([0-9]{2})\n")))
            << info.out;
        ASSERT_EQ(run("--wav timed.wav timed.xm").status, 0);
        int64_t frames = static_cast<int64_t>(read_file(path("timed.wav")).size() - 44) / 4;
        int64_t hundredths = std::stoll(duration[1]) * 6000 + std::stoll(duration[2]) * 100 + std::stoll(duration[3]);
        EXPECT_EQ(hundredths, frames * 100 / 44100) << info.out;
    }

    // 13 orders of 256 rows at speed 31 and 32 BPM: 2 h 14 min, past the bound.
    XmModule endless = module_with_cells(1, {}, 256, {instrument_with_sample(square_sample(64, 8))});
    endless.default_tempo = 31;
    endless.default_bpm = 32;
    endless.song_length = 13;
    endless.orders = std::vector<uint8_t>(13, 0);
    write_module(endless, path("endless.xm"));
    RunResult endless_info = run("--info endless.xm");
    EXPECT_EQ(endless_info.status, 0);
    EXPECT_NE(endless_info.out.find("duration:         no end within 2 hours"), std::string::npos) << endless_info.out;
}

// A file cut short loads as the loader reads it (zeros past the end, sample
// lengths cut to what is there): the render is the loader's song, and one
// warning line says what is missing.
TEST_F(Xmplay, ModuleCutShortPlaysWithOneWarningOfWhatIsMissing) {
    XmModule module = two_order_module();
    module.instruments[0].name = "first";
    module.instruments.push_back(instrument_with_sample(square_sample(32, 64)));
    module.instruments.push_back(instrument_with_sample(square_sample(16, 64)));
    std::vector<uint8_t> whole = xm_write(module);
    // Each instrument: a 263-byte header, one 40-byte sample header, 16-bit data.
    size_t third_instrument = whole.size() - (263 + 40 + 16 * 64 * 2);
    size_t second_instrument = third_instrument - (263 + 40 + 32 * 64 * 2);
    struct Case {
        size_t size;
        const char* says;
    };
    for (Case c : {Case{whole.size() - 100, "100 bytes of the 2048 of sample 0 of instrument 3 missing;"},
                   Case{second_instrument + 100, "the end of instrument 2's header, instrument 3 missing;"},
                   Case{second_instrument + 263 + 40 + 10, "4086 bytes of the 4096 of sample 0 of instrument 2, instrument 3 missing;"},
                   Case{second_instrument - 5, "5 bytes of the 1024 of sample 0 of instrument 1 (\"first\"), instruments 2-3 missing;"},
                   Case{336 + 9 + 2, "the end of pattern 0, pattern 1, all 3 instruments missing;"}}) {
        SCOPED_TRACE(c.says);
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(c.size));
        std::ofstream(path("cut.xm"), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                               static_cast<std::streamsize>(bytes.size()));
        RunResult result = run("--blocks 20 --raw cut.raw cut.xm");
        ASSERT_EQ(result.status, 0) << result.err;
        // The warning, then the clip report of every render.
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
        EXPECT_EQ(result.err.find("xmplay: warning: cut.xm is cut short"), 0u) << result.err;
        EXPECT_NE(result.err.find("cut short"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
        EXPECT_TRUE(read_file(path("cut.raw")) == offline_pcm_of_bytes(bytes, 20));
    }
    std::ofstream(path("whole.xm"), std::ios::binary).write(reinterpret_cast<const char*>(whole.data()),
                                                             static_cast<std::streamsize>(whole.size()));
    EXPECT_EQ(run("--blocks 2 --raw whole.raw whole.xm").err, "xmplay: no sample clipped\n");
    EXPECT_EQ(run("--info whole.xm").err, "");
}

TEST_F(Xmplay, BadInputGivesOneLineOnStandardErrorAndAFailingStatus) {
    write_module(eight_note_module(), path("good.xm"));
    std::ofstream(path("text.xm")) << "Not a module at all, just text.\n";
    XmModule too_many_samples = eight_note_module();
    too_many_samples.instruments[0].sample_count = 17;  // an instrument holds at most 16
    write_module(too_many_samples, path("refused.xm"));
    ASSERT_EQ(std::system(("mkdir '" + path("folder.xm") + "' && ln -s good.xm '" + path("link.xm") + "'").c_str()), 0);
    struct Case {
        std::string arguments;
        int status;
        const char* says;
        std::string environment;
    };
    std::vector<Case> cases = {
        {"absent.xm", 1, "cannot open absent.xm: No such file or directory", ""},
        {"folder.xm", 1, "folder.xm: Is a directory", ""},
        {"--wav out.wav text.xm", 1, "text.xm is not an XM module", ""},
        {"--wav out.wav refused.xm", 1, "refused", ""},
        {"--wav no_such_dir/x.wav good.xm", 1, "cannot write no_such_dir/x.wav: No such file or directory", ""},
        {"--wav /dev/full good.xm", 1, "cannot write /dev/full (--wav): No space left on device", ""},
        {"--raw - good.xm >/dev/full", 1, "cannot write standard output (--raw): No space left on device", ""},
        {"good.xm", 1, "cannot open the sound device at 44100 Hz: SDL2 audio cannot start (", "SDL_AUDIODRIVER=nothing "},
        {"good.xm", 1, "); set SDL_AUDIODRIVER, or render with --wav", "SDL_AUDIODRIVER=nothing "},
        {"", 2, "no module", ""},
        {"--frobnicate good.xm", 2, "unknown option --frobnicate", ""},
        {"--blocks 0 --wav out.wav good.xm", 2, "--blocks", ""},
        {"--blocks 12x --wav out.wav good.xm", 2, "--blocks", ""},
        {"--seconds -1 --wav out.wav good.xm", 2, "--seconds", ""},
        {"--seconds nan --wav out.wav good.xm", 2, "--seconds", ""},
        {"--rate 100 --wav out.wav good.xm", 2, "--rate", ""},
        {"--loop 0 --wav out.wav good.xm", 2, "--loop wants", ""},
        {"--loop --wav out.wav good.xm", 2, "--loop without a count", ""},
        {"--blocks 2 --seconds 1 --wav out.wav good.xm", 2, "not both", ""},
        {"good.xm --wav", 2, "needs a value", ""},
        {"--wav --info good.xm", 2, "--wav: --info looks like an option", ""},
        {"--wav=-x.wav good.xm", 2, "--wav: -x.wav looks like an option", ""},
        {"--wav same.wav --raw same.wav good.xm", 2, "--wav and --raw both write same.wav", ""},
        {"--raw - --snapshots - good.xm", 2, "--raw and --snapshots both write -", ""},
        {"--wav ./same.wav --snapshots same.wav good.xm", 2, "both write", ""},
        {"--wav good.xm good.xm", 2, "--wav would write over the module good.xm", ""},
        {"--raw link.xm good.xm", 2, "--raw would write over the module good.xm", ""},
        {"--wav out.wav good.xm good.xm", 2, "render one module, not 2", ""},
        {"--info --raw out.raw good.xm", 2, "--info only prints", ""},
        {"--info=yes good.xm", 2, "--info takes no value", ""},
        {"--wav a.wav --wav b.wav good.xm", 2, "--wav is given twice", ""},
        {"--gain loud good.xm", 2, "--gain wants decibels from -100 to 40, not loud", ""},
        {"--gain 41 good.xm", 2, "--gain wants", ""},
        {"--gain nan good.xm", 2, "--gain wants", ""},
        {"--stereo 101 good.xm", 2, "--stereo wants a separation from 0 (mono) to 100", ""},
        {"--stereo -5 good.xm", 2, "--stereo wants", ""},
        {"--mute 0 good.xm", 2, "--mute wants channels from 1 to 32, as in 1,3-5, not 0", ""},
        {"--solo 33 good.xm", 2, "--solo wants channels", ""},
        {"--mute 3-1 good.xm", 2, "--mute wants", ""},
        {"--mute 1,,2 good.xm", 2, "--mute wants", ""},
        {"--start 256 good.xm", 2, "--start wants an order position from 0 to 255", ""},
        {"--start 1:x good.xm", 2, "--start wants", ""},
        {"--start-time 1:75 good.xm", 2, "--start-time wants a time as M:SS", ""},
        {"--start-time 1:5 good.xm", 2, "--start-time wants", ""},
        {"--start 1 --start-time 0:02 good.xm", 2, "give --start or --start-time once", ""},
        {"--seconds 2 --max-seconds 3 --wav out.wav good.xm", 2, "give --seconds or --max-seconds once", ""},
        {"--max-seconds 0 --wav out.wav good.xm", 2, "--max-seconds wants", ""},
        {"--loop=-2 --wav out.wav good.xm", 2, "--loop wants", ""},
        {"--loop -1 --wav out.wav good.xm", 2, "--loop without a count", ""},
        {"--info --gain -3 good.xm", 2, "--info only prints", ""},
        {"--shuffle --wav out.wav good.xm", 2, "--shuffle orders the files to play", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        RunResult result = run(c.arguments, c.environment);
        if (result.err.find("this build has no sound output") != std::string::npos) continue;
        EXPECT_EQ(result.status, c.status);
        EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
        // SDL's own drivers may say more about the device; ours is one line.
        if (c.environment.empty()) {
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        }
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
    // The module is still whole, and "--" lets names start with '-'.
    std::vector<uint8_t> good = xm_write(eight_note_module());
    EXPECT_EQ(read_file(path("good.xm")), std::string(good.begin(), good.end()));
    std::rename(path("good.xm").c_str(), path("-dash.xm").c_str());
    RunResult dashed = run("--blocks 2 --wav -- -out.wav -- -dash.xm");
    EXPECT_EQ(dashed.status, 0) << dashed.err;
    EXPECT_EQ(read_file(path("-out.wav")).size(), 44u + 2 * 884 * 4);
}

// --info over several files: each in turn; a file that fails is reported,
// the others are still shown, and the status says one failed.
TEST_F(Xmplay, InfoOverSeveralFilesShowsEachAndReportsTheFailures) {
    XmModule first = eight_note_module();
    first.name = "first song";
    XmModule second = two_order_module();
    second.name = "second song";
    write_module(first, path("first.xm"));
    write_module(second, path("second.xm"));
    RunResult result = run("--info first.xm absent.xm second.xm");
    EXPECT_EQ(result.status, 1);
    size_t first_at = result.out.find("first song"), second_at = result.out.find("second song");
    ASSERT_NE(first_at, std::string::npos) << result.out;
    ASSERT_NE(second_at, std::string::npos) << result.out;
    EXPECT_LT(first_at, second_at);
    EXPECT_EQ(result.err, "xmplay: cannot open absent.xm: No such file or directory\n");
    EXPECT_EQ(run("--info - <second.xm").out, run("--info second.xm").out);
}

// Every option of --help is in the man page too, and the page is clean roff.
TEST_F(Xmplay, HelpVersionAndManPageDocumentEveryOptionAndKey) {
    RunResult help = run("--help");
    EXPECT_EQ(help.status, 0);
    std::string page = read_file(KORVANTI_XMPLAY_MAN_PAGE);
    ASSERT_FALSE(page.empty());
    std::regex option("--[a-z]+(-[a-z]+)?");
    std::vector<std::string> options;
    for (auto it = std::sregex_iterator(help.out.begin(), help.out.end(), option); it != std::sregex_iterator(); ++it) {
        options.push_back(it->str());
    }
    for (const char* expected : {"--wav", "--raw", "--snapshots", "--blocks", "--seconds", "--max-seconds", "--loop",
                                 "--gain", "--stereo", "--mute", "--solo", "--start", "--start-time", "--shuffle",
                                 "--rate", "--info", "--version", "--help"}) {
        EXPECT_NE(std::find(options.begin(), options.end(), expected), options.end()) << expected;
    }
    for (const std::string& name : options) {
        // roff writes a minus as \-.
        std::string in_roff;
        for (char c : name) in_roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(page.find(in_roff), std::string::npos) << name << " is not in the man page";
    }
    for (const char* key : {"Space", "Left", "Right", "Escape", "block order row elapsed_ms", "44100", "SIGINT",
                            "SIGTERM", "SIGHUP", "32767", "controlling terminal"}) {
        EXPECT_NE(help.out.find(key), std::string::npos) << key;
        EXPECT_NE(page.find(key), std::string::npos) << key;
    }
    EXPECT_EQ(run("-h").out, help.out);
    RunResult version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("xmplay [0-9]+\\.[0-9]+ \\(korvanti\\)\n"))) << version.out;
    if (have_program("groff")) {
        EXPECT_EQ(shell("groff -man -ww -z '" + std::string(KORVANTI_XMPLAY_MAN_PAGE) + "' 2>groff.txt"), 0);
        EXPECT_EQ(read_file(path("groff.txt")), "");
    }
}

namespace {

// Two channels, one panned hard left and one hard right, each with notes of
// its own; channel 2 also sets the speed (F03) on row 4, so muting it must
// keep that change. `with_notes_on_2` false leaves channel 2 its effect only.
XmModule two_voice_module(bool with_notes_on_2) {
    XmInstrument left = instrument_with_sample(square_sample(64, 8));
    left.samples[0].panning = 16;
    XmInstrument right = instrument_with_sample(square_sample(40, 12, 12000));
    right.samples[0].panning = 240;
    XmModule module = module_with_cells(2, {}, 16, {left, right});
    for (uint16_t row = 0; row < 16; row += 2) {
        set_cell(module.patterns[0], 2, row, 0, note_cell(static_cast<uint8_t>(40 + row), 1));
        XmCell cell = with_notes_on_2 ? note_cell(static_cast<uint8_t>(60 - row), 2) : XmCell{};
        if (row == 4) {
            cell.effect = 0x0F;
            cell.param = 3;
        }
        set_cell(module.patterns[0], 2, row, 1, cell);
    }
    return module;
}

// `count` orders of 8 rows, the notes differing from order to order.
XmModule orders_module(uint8_t count) {
    XmModule module = module_with_cells(1, {}, 8, {instrument_with_sample(square_sample(64, 8))});
    module.song_length = count;
    module.orders.clear();
    module.patterns.clear();
    for (uint8_t order = 0; order < count; ++order) {
        module.orders.push_back(order);
        module.patterns.push_back(empty_pattern(8, 1));
        for (uint16_t row = 0; row < 8; row += 2) {
            set_cell(module.patterns[order], 1, row, 0, note_cell(static_cast<uint8_t>(30 + order * 3 + row), 1));
        }
    }
    return module;
}

std::vector<int16_t> values_of(const std::string& pcm) {
    std::vector<int16_t> values(pcm.size() / 2);
    for (size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<int16_t>(static_cast<uint8_t>(pcm[2 * i]) | (static_cast<uint8_t>(pcm[2 * i + 1]) << 8));
    }
    return values;
}

}  // namespace

// Gain, stereo separation, mutes and solos change the sound as they say and
// nothing else: explicit defaults are the plain bytes, a muted channel's
// notes are gone while the song's course (the snapshots) stays the same.
TEST_F(Xmplay, OutputOptionsChangeTheSoundAndDefaultsKeepTheBits) {
    write_module(two_voice_module(true), path("two.xm"));
    write_module(two_voice_module(false), path("effect_only.xm"));
    ASSERT_EQ(run("--raw plain.raw --snapshots plain.tsv two.xm").status, 0);
    std::string plain = read_file(path("plain.raw"));
    ASSERT_GT(plain.size(), 0u);
    RunResult defaults = run("--gain 0 --stereo 100 --raw defaults.raw two.xm");
    ASSERT_EQ(defaults.status, 0) << defaults.err;
    EXPECT_TRUE(read_file(path("defaults.raw")) == plain);

    // -6 dB: every value is the plain one times 10^(-6/20), within rounding.
    ASSERT_EQ(run("--gain -6 --raw quiet.raw two.xm").status, 0);
    ASSERT_EQ(run("--gain=-6 --raw quiet_equals.raw two.xm").status, 0);
    std::string quiet = read_file(path("quiet.raw"));
    EXPECT_TRUE(quiet == read_file(path("quiet_equals.raw")));
    ASSERT_EQ(quiet.size(), plain.size());
    std::vector<int16_t> loud_values = values_of(plain), quiet_values = values_of(quiet);
    int64_t changed = 0;
    for (size_t i = 0; i < loud_values.size(); ++i) {
        double expected = loud_values[i] * 0.5011872336;
        ASSERT_NEAR(quiet_values[i], expected, 1.01) << "value " << i;
        changed += quiet_values[i] != loud_values[i];
    }
    EXPECT_GT(changed, int64_t(loud_values.size() / 4));

    // Mono: left equals right in every frame, where the plain render is wide.
    ASSERT_EQ(run("--stereo 0 --raw mono.raw two.xm").status, 0);
    std::vector<int16_t> mono = values_of(read_file(path("mono.raw")));
    int64_t wide = 0;
    for (size_t i = 0; i + 1 < mono.size(); i += 2) {
        ASSERT_EQ(mono[i], mono[i + 1]) << "frame " << i / 2;
        wide += loud_values[i] != loud_values[i + 1];
    }
    EXPECT_GT(wide, 0);

    // Channel 2 muted: its notes are absent, its speed change still happens.
    std::string effect_only = offline_pcm(two_voice_module(false), 400);
    ASSERT_EQ(run("--raw effect_only.raw effect_only.xm").status, 0);
    std::string expected_muted = read_file(path("effect_only.raw"));
    for (const char* options : {"--mute 2", "--solo 1", "--mute=2 --solo 1-2", "--solo 1,3-32"}) {
        SCOPED_TRACE(options);
        RunResult muted = run(std::string(options) + " --raw muted.raw --snapshots muted.tsv two.xm");
        ASSERT_EQ(muted.status, 0) << muted.err;
        EXPECT_TRUE(read_file(path("muted.raw")) == expected_muted);
        EXPECT_EQ(read_file(path("muted.tsv")), read_file(path("plain.tsv")));
    }
    EXPECT_FALSE(expected_muted == plain);
    ASSERT_EQ(run("--mute 1-2 --raw silent.raw two.xm").status, 0);
    std::string silent = read_file(path("silent.raw"));
    EXPECT_EQ(silent.size(), plain.size());
    EXPECT_TRUE(silent == std::string(silent.size(), '\0'));
}

// --start and --start-time begin where a play from the start would be, bit
// for bit, and --snapshots keeps counting blocks from the song's start.
TEST_F(Xmplay, StartOptionsBeginWhereThePlayFromTheStartWouldBe) {
    write_module(orders_module(4), path("orders.xm"));
    ASSERT_EQ(run("--raw plain.raw --snapshots plain.tsv orders.xm").status, 0);
    std::string plain = read_file(path("plain.raw")), plain_tsv = read_file(path("plain.tsv"));
    SongPtr song(load_song_from_module(orders_module(4)));
    ASSERT_TRUE(song);
    struct Case {
        std::string options;
        int64_t frame;
    };
    std::vector<Case> cases = {
        {"--start 2", korvanti_song_position_frame(song.get(), 44100, 2, 0)},
        {"--start=1:3", korvanti_song_position_frame(song.get(), 44100, 1, 3)},
        {"--start-time 0:01.25", 55125},
        {"--start-time=2.5", 110250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        ASSERT_GT(c.frame, 0);
        RunResult result = run(c.options + " --raw start.raw --snapshots start.tsv orders.xm");
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(read_file(path("start.raw")) == plain.substr(size_t(c.frame) * 4));
        std::string tsv = read_file(path("start.tsv"));
        std::string first_block = std::to_string(c.frame / 884) + " ";
        EXPECT_EQ(tsv.compare(0, first_block.size(), first_block), 0) << tsv.substr(0, 40);
        size_t in_plain = plain_tsv.find("\n" + first_block);
        ASSERT_NE(in_plain, std::string::npos);
        EXPECT_EQ(tsv, plain_tsv.substr(in_plain + 1));
    }
    // With a length, the length counts from the start point.
    ASSERT_EQ(run("--start 1 --seconds 1 --raw cut.raw orders.xm").status, 0);
    EXPECT_EQ(read_file(path("cut.raw")).size(), 44100u * 4);
    RunResult beyond = run("--start 4 --raw beyond.raw orders.xm");
    EXPECT_EQ(beyond.status, 1);
    EXPECT_NE(beyond.err.find("--start 4:0: the song never plays that row (4 order positions)"), std::string::npos)
        << beyond.err;
    RunResult late = run("--start-time 9:00 --raw late.raw orders.xm");
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.err.find("past the end of the play"), std::string::npos) << late.err;
}

// The clip report counts the values at the limits in what --raw holds, and
// the gain it names is the highest, to a tenth of a decibel, that clips none.
TEST_F(Xmplay, ClipReportCountsWhatRawHoldsAndNamesTheGainThatAvoidsIt) {
    XmModule loud = module_with_cells(4, {}, 8, {instrument_with_sample(square_sample(64, 8, 30000))});
    for (uint16_t channel = 0; channel < 4; ++channel) {
        set_cell(loud.patterns[0], 4, 0, channel, note_cell(49, 1));
        set_cell(loud.patterns[0], 4, 4, channel, note_cell(static_cast<uint8_t>(49 + channel), 1, 0x10 + 16 * channel));
    }
    write_module(loud, path("loud.xm"));
    write_module(eight_note_module(), path("quiet.xm"));
    RunResult quiet = run("--raw quiet.raw quiet.xm");
    EXPECT_NE(quiet.err.find("xmplay: no sample clipped\n"), std::string::npos) << quiet.err;

    auto clipped_in = [&](const std::string& file) {
        int64_t count = 0;
        for (int16_t value : values_of(read_file(path(file)))) count += value == 32767 || value == -32768;
        return count;
    };
    // The player leaves headroom for 32 channels: 4 loud ones clip from some 9 dB up.
    for (const char* options : {"--gain 12", "--gain 20.5", "--stereo 50 --seconds 3 --gain 12"}) {
        SCOPED_TRACE(options);
        RunResult result = run(std::string(options) + " --raw loud.raw loud.xm");
        ASSERT_EQ(result.status, 0) << result.err;
        std::smatch report;
        ASSERT_TRUE(std::regex_search(result.err, report,
                                      std::regex("xmplay: ([0-9]+) of ([0-9]+) samples clipped \\(at 32767 or "
                                                 "-32768\\); --gain (-?[0-9]+\\.[0-9]) avoids it\n")))
            << result.err;
        int64_t clipped = clipped_in("loud.raw");
        EXPECT_GT(clipped, 0);
        EXPECT_EQ(std::stoll(report[1]), clipped);
        EXPECT_EQ(std::stoll(report[2]), static_cast<int64_t>(read_file(path("loud.raw")).size() / 2));
        double gain = std::stod(report[3]);
        RunResult avoided = run(std::string(options) + " --gain " + report[3].str() + " --raw avoided.raw loud.xm");
        EXPECT_NE(avoided.err.find("no sample clipped"), std::string::npos) << avoided.err;
        EXPECT_EQ(clipped_in("avoided.raw"), 0);
        char higher[32];
        std::snprintf(higher, sizeof higher, "%.1f", gain + 0.2);
        run(std::string(options) + " --gain " + higher + " --raw higher.raw loud.xm");
        EXPECT_GT(clipped_in("higher.raw"), 0) << "the gain named is not the highest that avoids clipping";
    }
}

// --seconds repeats the song to fill the length; --max-seconds only cuts a
// play that is longer; --loop -1 is --loop alone.
TEST_F(Xmplay, SecondsRepeatMaxSecondsCutsAndLoopMinusOneIsForever) {
    write_module(eight_note_module(), path("eight.xm"));  // 8 rows: 42336 frames
    struct Case {
        const char* options;
        int64_t frames;
    };
    for (Case c : {Case{"--seconds 3", 132300}, Case{"--max-seconds 3", 42336}, Case{"--max-seconds 0.5", 22050},
                   Case{"--max-seconds=3 --loop 2", 84672}, Case{"--loop -1 --seconds 2", 88200},
                   Case{"--loop=-1 --max-seconds 2", 88200}}) {
        SCOPED_TRACE(c.options);
        RunResult result = run(std::string(c.options) + " --raw out.raw eight.xm");
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(static_cast<int64_t>(read_file(path("out.raw")).size() / 4), c.frames);
    }
}
