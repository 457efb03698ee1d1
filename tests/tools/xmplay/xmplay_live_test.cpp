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

namespace {

// `count` orders of 32 rows at speed 6, about 3.8 s each, their notes
// differing from order to order.
XmModule long_orders_module(uint8_t count) {
    XmModule module = module_with_cells(1, {}, 32, {instrument_with_sample(square_sample(64, 8))});
    module.song_length = count;
    module.orders.clear();
    module.patterns.clear();
    for (uint8_t order = 0; order < count; ++order) {
        module.orders.push_back(order);
        module.patterns.push_back(empty_pattern(32, 1));
        for (uint16_t row = 0; row < 32; row += 2) {
            auto note = static_cast<uint8_t>(25 + (order * 5 + row * 3) % 60);
            set_cell(module.patterns[order], 1, row, 0, note_cell(note, 1));
        }
    }
    return module;
}

// Two channels panned apart, with notes on both, 16 rows.
XmModule two_channel_module() {
    XmInstrument left = instrument_with_sample(square_sample(64, 8));
    left.samples[0].panning = 16;
    XmInstrument right = instrument_with_sample(square_sample(40, 12, 12000));
    right.samples[0].panning = 240;
    XmModule module = module_with_cells(2, {}, 16, {left, right});
    for (uint16_t row = 0; row < 16; row += 2) {
        set_cell(module.patterns[0], 2, row, 0, note_cell(static_cast<uint8_t>(40 + row), 1));
        set_cell(module.patterns[0], 2, row + 1, 1, note_cell(static_cast<uint8_t>(60 - row), 2));
    }
    return module;
}

// The orders shown on the status lines from `from` on.
std::vector<int> shown_orders(const std::string& screen, size_t from) {
    std::vector<int> orders;
    for (const std::string& line : status_lines(screen, from, "order ")) orders.push_back(std::stoi(line.substr(6)));
    return orders;
}

}  // namespace

// N quick presses of Right or Left move N order positions from the one heard
// at the first press, in one jump when they come together, and presses that
// come during a jump (a held key) add to it.
TEST_F(XmplayLive, QuickArrowPressesAddUp) {
    XmModule module = long_orders_module(12);
    write_module(module, path("long.xm"));
    start({path("long.xm")});
    size_t at = pty_wait_for(&session, "order 0/12  pattern 0  row  2", 0, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;

    pty_type(&session, std::string("\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C"));
    size_t landed = pty_wait_for(&session, "order 5/12  pattern 5", at, 10.0);
    ASSERT_NE(landed, std::string::npos) << session.screen;
    for (int order : shown_orders(session.screen, at)) EXPECT_TRUE(order == 0 || order == 5) << order;
    pty_wait_for(&session, "never shown", landed, 0.5);  // heard a while

    // As a held key repeats: one press every 30 ms.
    for (int press = 0; press < 4; ++press) {
        pty_type(&session, "\x1b[C");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    size_t held = pty_wait_for(&session, "order 9/12  pattern 9", landed, 10.0);
    ASSERT_NE(held, std::string::npos) << session.screen;
    pty_wait_for(&session, "never shown", held, 0.5);
    pty_type(&session, std::string("\x1b[D\x1b[D\x1b[D"));
    size_t back = pty_wait_for(&session, "order 6/12  pattern 6", held, 10.0);
    ASSERT_NE(back, std::string::npos) << session.screen;
    pty_wait_for(&session, "never shown", back, 0.4);
    for (int order : shown_orders(session.screen, landed)) EXPECT_TRUE(order >= 5 && order <= 9) << order;
    for (int order : shown_orders(session.screen, back)) EXPECT_EQ(order, 6);
    pty_type(&session, "q");
    EXPECT_EQ(pty_finish(&session, 10.0), 0) << session.screen;

    // Each jump is the player's exact seek: the device got the song from the
    // block where order 5 starts, and later from where order 6 starts.
    std::vector<korvanti_sync_snapshot> snapshots;
    std::string offline = offline_pcm(module, 2400, 44100, &snapshots);
    std::string heard = read_file(device);
    for (int order : {5, 9, 6}) {
        SCOPED_TRACE(order);
        auto first = std::find_if(snapshots.begin(), snapshots.end(),
                                  [order](const korvanti_sync_snapshot& s) { return s.order == order; });
        ASSERT_NE(first, snapshots.end());
        size_t from = static_cast<size_t>(first - snapshots.begin()) * BLOCK_BYTES;
        size_t found = heard.find(offline.substr(from, 44100 * FRAME_BYTES / 10));
        ASSERT_NE(found, std::string::npos) << "order " << order << " from its first block is not in what the device got";
        EXPECT_GE(agreeing_bytes(heard, found, offline, from), size_t(44100 * FRAME_BYTES / 5));
    }
}

// + and - change the gain by 1 dB, 1..0 mute channels: shown on the status
// line, heard at once, and what is heard is the render with those settings.
TEST_F(XmplayLive, GainAndMuteKeysChangeTheSoundAtOnce) {
    write_module(two_channel_module(), path("two.xm"));
    ASSERT_EQ(run_xmplay(folder, "--seconds 40 --gain -6 --raw '" + path("quiet.raw") + "' '" + path("two.xm") + "'").status, 0);
    ASSERT_EQ(run_xmplay(folder, "--seconds 40 --gain -6 --mute 2 --raw '" + path("muted.raw") + "' '" +
                                     path("two.xm") + "'").status, 0);
    std::string quiet = read_file(path("quiet.raw")), muted = read_file(path("muted.raw"));
    start({"--loop", path("two.xm")});
    size_t at = pty_wait_for(&session, "0:00.3", 0, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    pty_type(&session, "-------+");
    at = pty_wait_for(&session, "  -6 dB", at, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    pty_wait_for(&session, "never shown", at, 0.8);
    pty_type(&session, "2");
    at = pty_wait_for(&session, "  -6 dB  mute 2", at, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    pty_wait_for(&session, "never shown", at, 0.8);
    pty_type(&session, "q");
    EXPECT_EQ(pty_finish(&session, 10.0), 0) << session.screen;

    // A tenth of a second from the middle of each stretch is found in the
    // render with the settings of that stretch.
    std::string heard = read_file(device);
    while (heard.size() >= FRAME_BYTES && heard.compare(heard.size() - FRAME_BYTES, FRAME_BYTES, std::string(4, '\0')) == 0) {
        heard.resize(heard.size() - FRAME_BYTES);
    }
    const size_t window = 4410 * FRAME_BYTES;
    ASSERT_GT(heard.size(), 3 * window);
    EXPECT_NE(muted.find(heard.substr(heard.size() - 2 * window, window)), std::string::npos)
        << "the last sound heard is not the render at -6 dB with channel 2 muted";
    bool quiet_heard = false;
    for (size_t from = 0; from + window <= heard.size() && !quiet_heard; from += window / 2) {
        quiet_heard = quiet.find(heard.substr(from, window)) != std::string::npos;
    }
    EXPECT_TRUE(quiet_heard) << "no stretch of the render at -6 dB with both channels was heard";
}

// With the module on standard input, the keys come from the controlling
// terminal; h lists them; at 80 columns the line keeps "order N/LEN" with the
// pass, the gain and the mutes; a narrowed terminal gets the line within its
// width.
TEST_F(XmplayLive, KeysFromTheControllingTerminalHelpKeyAndANarrowedTerminal) {
    write_module(three_order_module(16), path("three.xm"));
    std::string command = "cat '" + path("three.xm") + "' | '" + xmplay_path() + "' --loop 2 --gain -3.5 --mute 2 -";
    ASSERT_TRUE(pty_start_program(&session, {"/bin/sh", "-c", command}, disk_device(), 80));
    ASSERT_NE(pty_wait_for(&session, "xmplay: ", 0, 10.0), std::string::npos) << session.screen;
    if (pty_wait_for(&session, "no sound output", 0, 0.2) != std::string::npos) GTEST_SKIP() << "no sound device";
    size_t at = pty_wait_for(&session, "row  2", 0, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    // Both passes make the total; the pass, gain and mutes are shown.
    EXPECT_NE(session.screen.find("order 0/3  pat 0  row  2  6/125  0:00."), std::string::npos) << session.screen;
    EXPECT_NE(session.screen.find(" / 0:08.32  pass 1/2  -3.5 dB  mute 2"), std::string::npos) << session.screen;
    for (const std::string& line : status_lines(session.screen, 0, "order 0/3")) EXPECT_LT(line.size(), 80u) << line;
    pty_type(&session, "\x1b[C");
    at = pty_wait_for(&session, "order 1/3  pat 1  row  ", at, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    pty_type(&session, "h");
    at = pty_wait_for(&session, "xmplay: keys:", at, 10.0);
    ASSERT_NE(at, std::string::npos) << session.screen;
    for (const char* key : {"Left, Right", "+, -", "1 .. 9, 0", "h, ?", "q, Escape"}) {
        EXPECT_NE(session.screen.find(key, at), std::string::npos) << key;
    }
    at = pty_wait_for(&session, "order 1/3", at, 10.0);
    ASSERT_NE(at, std::string::npos) << "play went on after the list";

    pty_resize(&session, 30);
    pty_wait_for(&session, "never shown", at, 0.5);
    size_t narrowed = session.screen.find("\x1b[2K\x1b[A", at);
    EXPECT_NE(narrowed, std::string::npos) << "the rows of the wider line were not erased";
    std::vector<std::string> lines = status_lines(session.screen, narrowed, "1/3 ");
    EXPECT_FALSE(lines.empty()) << session.screen.substr(at);
    for (const std::string& line : lines) EXPECT_LT(line.size(), 30u) << line;
    pty_type(&session, "q");
    EXPECT_EQ(pty_finish(&session, 10.0), 0) << session.screen;
    EXPECT_TRUE(same_modes(pty_modes(session), session.modes_before));
    EXPECT_EQ(session.screen.find("[C"), std::string::npos);
}

// --shuffle plays every file once, numbered in the order played.
TEST_F(XmplayLive, ShufflePlaysEveryFileOnce) {
    std::vector<std::string> arguments = {"--shuffle"};
    for (const char* name : {"a", "b", "c", "d"}) {
        write_module(short_module(static_cast<uint8_t>(37 + 4 * (name[0] - 'a'))), path(std::string(name) + ".xm"));
        arguments.push_back(path(std::string(name) + ".xm"));
    }
    start(arguments);
    for (const char* step : {"(2 of 4)", "(3 of 4)", "(4 of 4)"}) {
        ASSERT_NE(pty_wait_for(&session, "(1 of 4)", 0, 10.0), std::string::npos) << session.screen;
        pty_type(&session, "n");
        ASSERT_NE(pty_wait_for(&session, step, 0, 10.0), std::string::npos) << session.screen;
    }
    pty_type(&session, "q");
    EXPECT_EQ(pty_finish(&session, 10.0), 0) << session.screen;
    std::vector<std::string> played;
    for (size_t found = session.screen.find("xmplay: playing "); found != std::string::npos;
         found = session.screen.find("xmplay: playing ", found + 1)) {
        played.push_back(session.screen.substr(session.screen.find(".xm", found) - 1, 1));
    }
    std::sort(played.begin(), played.end());
    EXPECT_EQ(played, (std::vector<std::string>{"a", "b", "c", "d"}));
}
