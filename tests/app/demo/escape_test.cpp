// The SDL2 build of the demo under Xvfb: a quick tap of Escape (pressed and
// released at once, as a short press on a real keyboard comes) ends it every
// time, with the key's code as exit status.
#include <gtest/gtest.h>

#include <string>

#include "escape_tap.h"
#include "support/scratch_dir.h"

namespace {

TEST(DemoKeys, AQuickEscapeTapEndsTheDemoEveryTime) {
    const std::string base = make_scratch_dir("escape_tap");
    ASSERT_FALSE(base.empty());
    constexpr int TAPS = 5;
    int ended = 0;
    for (int i = 0; i < TAPS; ++i) {
        SCOPED_TRACE("tap " + std::to_string(i + 1));
        DemoLaunch launch;
        launch.argv = {KORVANTI_BINARY};
        launch.dir = KORVANTI_RUNDIR;
        // Boxes as text and sound to nowhere: neither may wait on this test.
        launch.set = {{"KORVANTI_MESSAGE_BOX", "stderr"}, {"SDL_AUDIODRIVER", "dummy"}};
        launch.out_path = base + "/out.txt";
        launch.err_path = base + "/err.txt";
        launch.deadline = 30.0;
        EscapeTap tap = run_and_tap_escape(launch);
        ASSERT_TRUE(tap.run.started) << tap.run.err;
        ASSERT_TRUE(tap.tapped) << tap.tap_error << "; " << tap.run.err;
        EXPECT_FALSE(tap.run.timed_out) << "still running " << tap.run.seconds << " s after its start";
        EXPECT_TRUE(tap.run.exited);
        EXPECT_EQ(tap.run.exit_code, 0x1B);
        EXPECT_LT(tap.seconds_after_tap, 5.0);  // status 27 says that Escape ended it
        ended += tap.run.exited && tap.run.exit_code == 0x1B ? 1 : 0;
    }
    RecordProperty("ended_by_tap", ended);
    remove_scratch_dir(base);
}

}  // namespace
