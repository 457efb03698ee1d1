// xmplay playing live through SDL's disk-writing audio driver, which records
// every byte handed to the device, driven through a pseudo-terminal as a user
// would: keys, the status line, the terminal's modes on the way out, and the
// sound, which must be the offline rendering whatever the keys did.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch_dir.h"
#include "support/song_from_bytes.h"
#include "xmplay/xmplay_run.h"

namespace {

constexpr size_t FRAME_BYTES = 4;
constexpr size_t BLOCK_BYTES = 884 * FRAME_BYTES;

// Orders of `rows` rows with notes that differ from row to row and order to
// order, so no stretch of sound repeats; order 1 starts at speed 4.
XmModule three_order_module(uint16_t rows) {
    XmModule module = module_with_cells(2, {}, rows, {instrument_with_sample(square_sample(64, 8)),
                                                       instrument_with_sample(square_sample(24, 16))});
    module.song_length = 3;
    module.orders = {0, 1, 2};
    module.patterns.push_back(empty_pattern(rows, 2));
    module.patterns.push_back(empty_pattern(rows, 2));
    for (uint16_t p = 0; p < 3; ++p) {
        for (uint16_t row = 0; row < rows; ++row) {
            auto note = static_cast<uint8_t>(30 + (row * 7 + p * 11) % 40);
            set_cell(module.patterns[p], 2, row, 0, note_cell(note, 1));
            if (row % 3 == 1) set_cell(module.patterns[p], 2, row, 1, note_cell(static_cast<uint8_t>(note + 5), 2));
        }
    }
    set_cell(module.patterns[1], 2, 0, 1, note_cell(60, 2, 0, 0x0F, 4));
    return module;
}

XmModule short_module(uint8_t first_note) {
    std::vector<XmCell> rows;
    for (int step : {0, 4, 7, 12}) rows.push_back(note_cell(static_cast<uint8_t>(first_note + step), 1));
    return one_channel_module(rows);
}

// The disk driver writes silence before play starts and while nothing plays.
std::string without_silent_frames(const std::string& pcm) {
    std::string kept;
    for (size_t at = 0; at + FRAME_BYTES <= pcm.size(); at += FRAME_BYTES) {
        if (pcm.compare(at, FRAME_BYTES, std::string(FRAME_BYTES, '\0')) != 0) kept.append(pcm, at, FRAME_BYTES);
    }
    return kept;
}

// How many bytes from `a_at` in a and `b_at` in b agree, in whole frames.
size_t agreeing_bytes(const std::string& a, size_t a_at, const std::string& b, size_t b_at) {
    size_t length = 0;
    while (a_at + length + FRAME_BYTES <= a.size() && b_at + length + FRAME_BYTES <= b.size() &&
           a.compare(a_at + length, FRAME_BYTES, b, b_at + length, FRAME_BYTES) == 0) {
        length += FRAME_BYTES;
    }
    return length;
}

// The text of a piece of screen without the erase and cursor sequences
// (ESC [ K, ESC [ 2K, ESC [ A) the status line is drawn with.
std::string without_erases(std::string text) {
    for (const char* code : {"\x1b[2K", "\x1b[K", "\x1b[A"}) {
        for (size_t at = text.find(code); at != std::string::npos; at = text.find(code)) text.erase(at, std::strlen(code));
    }
    return text;
}

// The status lines shown from `from` on: the pieces between carriage
// returns and line ends that begin like one.
std::vector<std::string> status_lines(const std::string& screen, size_t from, const std::string& start) {
    std::vector<std::string> lines;
    size_t at = from;
    while (at < screen.size()) {
        size_t end = screen.find_first_of("\r\n", at);
        if (end == std::string::npos) end = screen.size();
        std::string piece = without_erases(screen.substr(at, end - at));
        while (!piece.empty() && piece.back() == ' ') piece.pop_back();
        if (piece.compare(0, start.size(), start) == 0) lines.push_back(piece);
        at = end + 1;
    }
    return lines;
}

bool same_modes(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
           a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

class XmplayLive : public ::testing::Test {
protected:
    void SetUp() override {
        folder = make_scratch_dir("xmplay_live");
        ASSERT_FALSE(folder.empty());
        device = folder + "/device.raw";
        RunResult probe = run_xmplay(folder, "--help");
        ASSERT_EQ(probe.status, 0);
    }
    void TearDown() override {
        pty_close(&session);
        remove_scratch_dir(folder);
    }
    std::string path(const std::string& name) const { return folder + "/" + name; }
    std::vector<std::string> disk_device() const {
        return {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + device};
    }
    // Starts xmplay on the terminal; skips the test in a build without sound.
    void start(const std::vector<std::string>& arguments, int columns = 100) {
        ASSERT_TRUE(pty_start(&session, arguments, disk_device(), columns));
        size_t shown = pty_wait_for(&session, "xmplay: ", 0, 10.0);
        ASSERT_NE(shown, std::string::npos) << session.screen;
        if (pty_wait_for(&session, "no sound output", 0, 0.2) != std::string::npos) {
            GTEST_SKIP() << "built without a sound device";
        }
    }
    std::string folder;
    std::string device;
    PtySession session{-1, -1, -1, "", {}, 0};
};

}  // namespace

// Stderr that is not a terminal gets no status line; the device gets the
// offline rendering, twice through with --loop 2.
TEST_F(XmplayLive, LivePlaySendsTheOfflineBytesToTheDevice) {
    write_module(short_module(49), path("live.xm"));
    ASSERT_EQ(run_xmplay(folder, "--loop 2 --raw '" + path("offline.raw") + "' '" + path("live.xm") + "'").status, 0);
    RunResult run = run_xmplay(folder, "--loop 2 '" + path("live.xm") + "'",
                               "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + device + "' ");
    if (run.err.find("no sound output") != std::string::npos) GTEST_SKIP() << "built without a sound device";
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("end of song"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\r'), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("BPM"), std::string::npos) << run.err;
    std::string heard = read_file(device), expected = read_file(path("offline.raw"));
    ASSERT_GT(expected.size(), 0u);
    size_t lead = 0;
    while (lead + 4 <= heard.size() && heard.compare(lead, 4, std::string(4, '\0')) == 0) lead += 4;
    size_t expected_lead = 0;
    while (expected_lead + 4 <= expected.size() && expected.compare(expected_lead, 4, std::string(4, '\0')) == 0) {
        expected_lead += 4;
    }
    ASSERT_GE(lead, expected_lead);
    // The device heard the whole of both passes before play stopped.
    ASSERT_GE(heard.size() - (lead - expected_lead), expected.size());
    EXPECT_TRUE(heard.compare(lead - expected_lead, expected.size(), expected) == 0);
}

// Space pauses (the time holds), Right and Left jump to where an order
// position starts in the song's own play, q quits with status 0; no key is
// echoed, and the terminal's modes come back as they were.
TEST_F(XmplayLive, KeysPauseJumpAndQuitAndTheSoundStaysExact) {
    XmModule module = three_order_module(16);
    write_module(module, path("three.xm"));
    start({path("three.xm")});
    size_t at = pty_wait_for(&session, "row  3", 0, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    termios playing = pty_modes(session);
    EXPECT_EQ(playing.c_lflag & (ICANON | ECHO), 0u);

    pty_type(&session, " ");
    size_t paused_at = pty_wait_for(&session, "[paused]", at, 5.0);
    ASSERT_NE(paused_at, std::string::npos) << session.screen;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    pty_type(&session, "~");  // no key of ours: nothing happens, nothing shows
    pty_wait_for(&session, "never shown", paused_at, 0.3);
    std::vector<std::string> paused = status_lines(session.screen, paused_at, "order ");
    ASSERT_GE(paused.size(), 4u);
    for (const std::string& line : paused) EXPECT_EQ(line, paused.front());
    pty_type(&session, " ");
    at = pty_wait_for(&session, "row  5", session.screen.size(), 5.0);
    ASSERT_NE(at, std::string::npos) << session.screen;

    pty_type(&session, "\x1b[C");
    at = pty_wait_for(&session, "order 1/3  pattern 1  row  3  speed 4", at, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    pty_type(&session, "\x1b[D");
    at = pty_wait_for(&session, "order 0/3  pattern 0  row  3  speed 6", at, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    pty_type(&session, "q");
    EXPECT_EQ(pty_finish(&session, 10.0), 0) << session.screen;
    EXPECT_TRUE(same_modes(pty_modes(session), session.modes_before));
    EXPECT_EQ(session.screen.find("~"), std::string::npos);
    EXPECT_EQ(session.screen.find("[C"), std::string::npos);
    EXPECT_EQ(session.screen.find("^["), std::string::npos);
    for (const std::string& line : status_lines(session.screen, 0, "order ")) EXPECT_LT(line.size(), 100u) << line;
    EXPECT_EQ(session.screen.back(), '\n');

    // The sound: play from the start with a pause in it, then the song from
    // the block where order 1 starts, then from the start again.
    std::vector<korvanti_sync_snapshot> snapshots;
    std::string offline = offline_pcm(module, 400, 44100, &snapshots);
    auto order_1 = std::find_if(snapshots.begin(), snapshots.end(), [](const korvanti_sync_snapshot& s) { return s.order == 1; });
    ASSERT_NE(order_1, snapshots.end());
    size_t order_1_at = static_cast<size_t>(order_1 - snapshots.begin()) * BLOCK_BYTES;
    std::string heard = read_file(device);
    size_t jump_at = heard.find(offline.substr(order_1_at, 44100 * FRAME_BYTES / 4));
    ASSERT_NE(jump_at, std::string::npos) << "order 1 from its first block is not in what the device got";
    size_t after_jump = agreeing_bytes(heard, jump_at, offline, order_1_at);
    EXPECT_GE(after_jump, 3 * 4 * 882 * FRAME_BYTES);  // at least the three rows shown
    // The last frames agreeing may be silence that the start also begins with.
    size_t back_at = heard.find(offline.substr(0, 44100 * FRAME_BYTES / 4), jump_at);
    ASSERT_NE(back_at, std::string::npos) << "the song from its start is not in what the device got after Left";
    EXPECT_GE(agreeing_bytes(heard, back_at, offline, 0), 3 * 6 * 882 * FRAME_BYTES);
    std::string before_jump = without_silent_frames(heard.substr(0, jump_at));
    EXPECT_TRUE(without_silent_frames(offline).compare(0, before_jump.size(), before_jump) == 0)
        << "the pause lost or repeated sound";
}

// Ctrl-C, SIGTERM and SIGHUP stop play, give the terminal back and end the
// program by that very signal; the status line fits a narrow terminal.
TEST_F(XmplayLive, SignalsEndThePlayerBySignalWithTheTerminalBack) {
    write_module(three_order_module(16), path("three.xm"));
    struct Case {
        const char* name;
        int signal_number;
        bool by_key;
    };
    for (Case c : {Case{"Ctrl-C", SIGINT, true}, Case{"SIGTERM", SIGTERM, false}, Case{"SIGHUP", SIGHUP, false}}) {
        SCOPED_TRACE(c.name);
        start({path("three.xm")}, 40);
        ASSERT_NE(pty_wait_for(&session, " 0:00.3", 0, 10.0), std::string::npos) << session.screen;
        if (c.by_key) {
            pty_type(&session, "\x03");
        } else {
            kill(session.pid, c.signal_number);
        }
        EXPECT_EQ(pty_finish(&session, 10.0), -1) << session.screen;
        EXPECT_EQ(pty_end_signal(session), c.signal_number) << session.screen;
        EXPECT_NE(session.screen.find("xmplay: stopped"), std::string::npos) << session.screen;
        EXPECT_TRUE(same_modes(pty_modes(session), session.modes_before));
        // 40 columns still hold the order, the row and the time against the total.
        std::vector<std::string> lines = status_lines(session.screen, 0, "order 0/3  row  ");
        EXPECT_FALSE(lines.empty()) << session.screen;
        for (const std::string& line : lines) {
            EXPECT_LT(line.size(), 40u) << line;
            EXPECT_NE(line.find(" / 0:04.48"), std::string::npos) << line;
        }
        pty_close(&session);
    }
}

// Ctrl-C in the first song of a shell loop stops the loop: the shell sees
// xmplay ended by SIGINT and ends too, rather than playing the next file.
TEST_F(XmplayLive, CtrlCStopsAShellLoopOverFiles) {
    if (access("/bin/bash", X_OK) != 0) GTEST_SKIP() << "no /bin/bash";
    write_module(three_order_module(16), path("three.xm"));
    std::string loop = "for f in 1 2; do '" + xmplay_path() + "' '" + path("three.xm") + "'; echo \"after $f\"; done";
    ASSERT_TRUE(pty_start_program(&session, {"/bin/bash", "-c", loop}, disk_device()));
    ASSERT_NE(pty_wait_for(&session, "xmplay: ", 0, 10.0), std::string::npos) << session.screen;
    if (pty_wait_for(&session, "no sound output", 0, 0.2) != std::string::npos) GTEST_SKIP() << "no sound device";
    ASSERT_NE(pty_wait_for(&session, " 0:00.3", 0, 10.0), std::string::npos) << session.screen;
    pty_type(&session, "\x03");
    pty_finish(&session, 10.0);
    EXPECT_EQ(pty_end_signal(session), SIGINT) << session.screen;
    EXPECT_EQ(session.screen.find("after 1"), std::string::npos) << session.screen;
    EXPECT_TRUE(same_modes(pty_modes(session), session.modes_before));
}

// Files play in turn; n and p move in the list, and after p the list goes on
// forward; a file that cannot be read is reported each time it comes up and
// the exit status says so.
TEST_F(XmplayLive, FilesPlayInTurnAndNAndPMoveInTheList) {
    write_module(short_module(49), path("a.xm"));
    write_module(short_module(37), path("b.xm"));
    write_module(short_module(44), path("c.xm"));
    start({path("a.xm"), path("absent.xm"), path("b.xm"), path("c.xm")});
    size_t at = pty_wait_for(&session, "a.xm (1 of 4)", 0, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    for (const char* step : {"b.xm (3 of 4)", "c.xm (4 of 4)"}) {
        pty_type(&session, "n");
        at = pty_wait_for(&session, step, at, 10.0);
        ASSERT_NE(at, std::string::npos) << session.screen;
    }
    pty_type(&session, "p");
    at = pty_wait_for(&session, "b.xm (3 of 4)", at, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    EXPECT_EQ(pty_finish(&session, 20.0), 1) << session.screen;
    std::vector<std::string> order;
    for (size_t found = session.screen.find("xmplay: "); found != std::string::npos;
         found = session.screen.find("xmplay: ", found + 1)) {
        std::string line = session.screen.substr(found, session.screen.find_first_of("\r\n", found) - found);
        if (line.find("cannot open") != std::string::npos) order.push_back("absent");
        if (line.find("playing") != std::string::npos) order.push_back(line.substr(line.find(".xm") - 1, 1));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"a", "absent", "b", "c", "b", "c"}));
    EXPECT_NE(session.screen.find("No such file or directory"), std::string::npos);
}
