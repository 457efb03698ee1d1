// The full-screen mode across activations, through recording display calls:
// what Alt-Tab away and back does to the mode, the window and the cursor.
#include <gtest/gtest.h>

#include <string>

#include "app/display_switch.h"

namespace {

// The display as the calls leave it, and the calls in order:
// t take, g give back, m minimise, r restore, + and - the cursor.
struct FakeDisplay {
    bool mode_taken;      // the temporary mode is set
    bool minimised;
    int cursor_count;     // the system's show count: shown when 0 or more
    bool refuse_mode;     // take_mode fails
    std::string calls;
};

FakeDisplay display;

bool fake_take_mode() {
    display.calls += 't';
    if (display.refuse_mode) return false;
    display.mode_taken = true;
    return true;
}
void fake_give_back_mode() {
    display.calls += 'g';
    display.mode_taken = false;
}
void fake_minimise() {
    display.calls += 'm';
    display.minimised = true;
}
void fake_restore() {
    display.calls += 'r';
    display.minimised = false;
}
void fake_show_cursor(bool shown) {
    display.calls += shown ? '+' : '-';
    display.cursor_count += shown ? 1 : -1;
}

const DisplayOps FAKE_OPS = {fake_take_mode, fake_give_back_mode, fake_minimise, fake_restore,
                             fake_show_cursor};

class DisplaySwitchTest : public ::testing::Test {
protected:
    // As the window's creation leaves it: the mode taken, the cursor hidden.
    void SetUp() override {
        display = FakeDisplay{true, false, -1, false, ""};
        switcher_ = DisplaySwitch{};
        display_switch_start(&switcher_);
    }
    void activation(bool activated) { display_switch_activation(&switcher_, &FAKE_OPS, activated); }
    DisplaySwitch switcher_;
};

TEST_F(DisplaySwitchTest, LeavingGivesTheDesktopItsModeAndComingBackTakesItAgain) {
    // The activation that comes with the window's own start changes nothing.
    activation(true);
    EXPECT_EQ(display.calls, "");

    activation(false);
    EXPECT_EQ(display.calls, "gm+");  // the mode before the window is minimised
    EXPECT_FALSE(display.mode_taken);
    EXPECT_TRUE(display.minimised);
    EXPECT_EQ(display.cursor_count, 0);
    activation(false);  // a second loss changes nothing
    EXPECT_EQ(display.calls, "gm+");

    activation(true);
    EXPECT_EQ(display.calls, "gm+tr-");
    EXPECT_TRUE(display.mode_taken);
    EXPECT_FALSE(display.minimised);
    EXPECT_EQ(display.cursor_count, -1);

    // Away and back again, then the end: the desktop keeps its mode and the
    // cursor count is where it was before the window.
    activation(false);
    activation(true);
    display_switch_end(&switcher_, &FAKE_OPS);
    EXPECT_EQ(display.calls, "gm+tr-gm+tr-g+");
    EXPECT_FALSE(display.mode_taken);
    EXPECT_EQ(display.cursor_count, 0);
}

TEST_F(DisplaySwitchTest, EndingWhileAwayLeavesTheModeAndCursorAsTheyAre) {
    activation(false);
    display_switch_end(&switcher_, &FAKE_OPS);
    EXPECT_EQ(display.calls, "gm+");
    EXPECT_EQ(display.cursor_count, 0);
    // Activations during and after the tear-down (the window going) take
    // nothing back.
    activation(true);
    activation(false);
    display_switch_end(&switcher_, &FAKE_OPS);
    EXPECT_EQ(display.calls, "gm+");
    EXPECT_FALSE(display.mode_taken);
}

TEST_F(DisplaySwitchTest, ARefusedModeLeavesTheWindowMinimisedUntilTheNextActivation) {
    activation(false);
    display.refuse_mode = true;
    activation(true);
    EXPECT_EQ(display.calls, "gm+t");
    EXPECT_TRUE(display.minimised);
    EXPECT_EQ(display.cursor_count, 0);
    activation(false);  // nothing more to give back
    EXPECT_EQ(display.calls, "gm+t");
    display.refuse_mode = false;
    activation(true);
    EXPECT_EQ(display.calls, "gm+ttr-");
    EXPECT_TRUE(display.mode_taken);
    EXPECT_EQ(display.cursor_count, -1);
}

TEST(DisplaySwitch, AFramedWindowIsLeftAlone) {
    display = FakeDisplay{false, false, 0, false, ""};
    DisplaySwitch framed = {};  // never started: the mode was refused, the window is framed
    display_switch_activation(&framed, &FAKE_OPS, false);
    display_switch_activation(&framed, &FAKE_OPS, true);
    display_switch_end(&framed, &FAKE_OPS);
    EXPECT_EQ(display.calls, "");
}

}  // namespace
