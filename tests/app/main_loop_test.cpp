// The main loop under a scripted clock and event source: pacing, the
// frame-rate caption, Escape and activity, and the three ways to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "app/window_events_sdl.h"

namespace {

// One scripted event: pending from `at` (ms) on.
struct ScriptedEvent {
    uint32_t at;
    SDL_Event event;
};

// The world the loop sees: a clock that moves only when the loop sleeps or
// draws, a queue of timed events, and a log of what the loop did.
struct FakeShell {
    uint32_t now;
    std::vector<ScriptedEvent> events;
    size_t next_event;
    InputState input;
    uint32_t draw_cost;   // ms a draw takes
    uint32_t swap_cost;   // ms a swap takes
    int end_at_draw;      // draw_frame returns 0 on this draw (1-based), 0 = never
    int draws;
    std::vector<uint32_t> sleeps;
    std::vector<std::string> captions;
    std::vector<uint32_t> draw_times;
    int shut_downs;
    std::string log;  // m message, s sleep, d draw, w swap, c caption, x shut-down
};

FakeShell fake;

constexpr int RUNAWAY_DRAWS = 100000;

bool fake_next_message(ShellMessage* message) {
    if (fake.next_event >= fake.events.size() || fake.events[fake.next_event].at > fake.now) {
        return false;
    }
    WindowEventResult result = window_proc(&fake.input, &fake.events[fake.next_event++].event);
    message->quit = result.action == WindowAction::QUIT;
    message->parameter = result.parameter;
    fake.log += 'm';
    return true;
}
uint32_t fake_tick_count() { return fake.now; }
void fake_sleep(uint32_t milliseconds) {
    fake.sleeps.push_back(milliseconds);
    fake.now += milliseconds;
    fake.log += 's';
}
int fake_draw_frame() {
    ++fake.draws;
    fake.draw_times.push_back(fake.now);
    fake.now += fake.draw_cost;
    fake.log += 'd';
    if (fake.draws >= RUNAWAY_DRAWS) return 0;
    return fake.draws == fake.end_at_draw ? 0 : 1;
}
void fake_swap_buffers() {
    fake.now += fake.swap_cost;
    fake.log += 'w';
}
void fake_set_caption(const char* caption) {
    fake.captions.push_back(caption);
    fake.log += 'c';
}
void fake_shut_down() {
    ++fake.shut_downs;
    fake.log += 'x';
}

const ShellOps FAKE_OPS = {fake_next_message, fake_tick_count,  fake_sleep,    fake_draw_frame,
                           fake_swap_buffers, fake_set_caption, fake_shut_down};

SDL_Event key_event(uint32_t type, SDL_Keycode key) {
    SDL_Event event = {};
    event.type = type;
    event.key.keysym.sym = key;
    return event;
}

SDL_Event window_event(SDL_WindowEventID id, int32_t data1 = 0, int32_t data2 = 0) {
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.event = static_cast<uint8_t>(id);
    event.window.data1 = data1;
    event.window.data2 = data2;
    return event;
}

SDL_Event quit_event() {
    SDL_Event event = {};
    event.type = SDL_QUIT;
    return event;
}

class MainLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = FakeShell{};
        fake.input.active = true;
        fake.draw_cost = 5;
        loop_ = MainLoop{};
        loop_.title = "korvanti";
    }
    int32_t run() {
        int32_t code = run_main_loop(&loop_, &FAKE_OPS, &fake.input);
        EXPECT_LT(fake.draws, RUNAWAY_DRAWS) << "the loop did not end";
        return code;
    }
    int draws_from(uint32_t start) const {
        int count = 0;
        for (uint32_t at : fake.draw_times) count += at >= start ? 1 : 0;
        return count;
    }
    MainLoop loop_;
};

TEST_F(MainLoopTest, SleepsThePartOfTwentyEightMillisecondsTheFrameLeft) {
    MainLoop loop = {};
    EXPECT_EQ(frame_time_left(&loop), 28);  // before the first frame
    loop.frame_start_tick = 1000;
    loop.frame_end_tick = 1010;
    EXPECT_EQ(frame_time_left(&loop), 18);
    loop.frame_end_tick = 1028;
    EXPECT_EQ(frame_time_left(&loop), 0);
    loop.frame_end_tick = 1100;
    EXPECT_EQ(frame_time_left(&loop), -72);
    // A frame across the wrap of the counter is measured as it took.
    loop.frame_start_tick = 0xFFFFFFF0u;
    loop.frame_end_tick = 0x00000005u;
    EXPECT_EQ(frame_time_left(&loop), 7);

    // In the loop: the first pass sleeps 28, then each 10 ms frame leaves 18.
    fake.draw_cost = 6;
    fake.swap_cost = 4;
    fake.end_at_draw = 4;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.sleeps, (std::vector<uint32_t>{28, 18, 18, 18}));

    // Frames of 28 ms or more: no sleep after the first pass.
    SetUp();
    fake.draw_cost = 20;
    fake.swap_cost = 8;
    fake.end_at_draw = 3;
    run();
    EXPECT_EQ(fake.sleeps, (std::vector<uint32_t>{28}));
    SetUp();
    fake.draw_cost = 45;
    fake.end_at_draw = 3;
    run();
    EXPECT_EQ(fake.sleeps, (std::vector<uint32_t>{28}));
}

TEST_F(MainLoopTest, CaptionCountsTheFramesOfEachSecond) {
    fake.now = 0;
    for (uint32_t at : {0u, 500u, 999u}) {
        fake.now = at;
        update_fps_caption(&loop_, &FAKE_OPS);
    }
    EXPECT_TRUE(fake.captions.empty());
    fake.now = 1000;
    update_fps_caption(&loop_, &FAKE_OPS);
    ASSERT_EQ(fake.captions.size(), 1u);
    EXPECT_EQ(fake.captions[0], "korvanti [3.0 FPS]");  // 3 frames in 1000 ms
    // The frame that changed the caption opens the next window: 2 frames in 1250 ms.
    fake.now = 1500;
    update_fps_caption(&loop_, &FAKE_OPS);
    fake.now = 2250;
    update_fps_caption(&loop_, &FAKE_OPS);
    ASSERT_EQ(fake.captions.size(), 2u);
    EXPECT_EQ(fake.captions[1], "korvanti [1.6 FPS]");

    // Across the wrap of the tick counter.
    SetUp();
    fake.now = 0xFFFFFF00u;
    update_fps_caption(&loop_, &FAKE_OPS);
    fake.now = 0xFFFFFF00u + 1999u;  // wraps past 0
    update_fps_caption(&loop_, &FAKE_OPS);
    ASSERT_EQ(fake.captions.size(), 1u);
    EXPECT_EQ(fake.captions[0], "korvanti [0.5 FPS]");
}

TEST_F(MainLoopTest, CaptionFirstChangesAboutOneSecondIntoTheLoop) {
    // 5 ms draws and 23 ms sleeps: a frame every 28 ms, the first at 28.
    // The caption is due at the first frame 1000 ms after the first frame
    // (28 * 36 = 1008 ms later), with the 36 frames counted before it.
    fake.end_at_draw = 80;
    run();
    ASSERT_EQ(fake.captions.size(), 2u);
    EXPECT_EQ(fake.captions[0], "korvanti [35.7 FPS]");
    EXPECT_EQ(fake.captions[1], "korvanti [35.7 FPS]");
    // Set just before the 37th draw, whose frame began 1008 ms after the first.
    size_t caption_at = fake.log.find('c');
    EXPECT_EQ(std::count(fake.log.begin(), fake.log.begin() + static_cast<long>(caption_at), 'd'), 36);
    EXPECT_EQ(fake.draw_times[36] - fake.draw_times[0], 1008u);
}

TEST_F(MainLoopTest, EscapeCountsOnlyWhileTheWindowIsActive) {
    fake.events = {{100, window_event(SDL_WINDOWEVENT_MINIMIZED)},
                   {200, key_event(SDL_KEYDOWN, SDLK_ESCAPE)},
                   {300, window_event(SDL_WINDOWEVENT_FOCUS_LOST)},
                   {600, window_event(SDL_WINDOWEVENT_RESTORED)}};
    int32_t code = run();
    EXPECT_EQ(fake.shut_downs, 1);
    EXPECT_GT(draws_from(200), 10) << "frames go on while minimised";
    // The idle pass right after the restore message ends the loop, without a frame.
    EXPECT_EQ(fake.log.substr(fake.log.size() - 3), "msx");
    EXPECT_EQ(code, 0);  // the restore message's parameter
}

TEST_F(MainLoopTest, EscapeWhileActiveEndsWithTheLastMessageParameter) {
    fake.events = {{100, key_event(SDL_KEYDOWN, SDLK_ESCAPE)}};
    int32_t code = run();
    EXPECT_EQ(code, KEY_ESCAPE);
    EXPECT_EQ(fake.shut_downs, 1);
    EXPECT_EQ(fake.log.substr(fake.log.size() - 3), "msx");  // paced, no frame

    // A quick tap: pressed and released within one drain of the queue, so
    // the key's flag is down again when the loop looks. It ends the loop
    // all the same, with the key-up's parameter; a mouse move after it
    // gives its own.
    SetUp();
    fake.events = {{100, key_event(SDL_KEYDOWN, SDLK_ESCAPE)},
                   {100, key_event(SDL_KEYUP, SDLK_ESCAPE)}};
    EXPECT_EQ(run(), KEY_ESCAPE);
    EXPECT_FALSE(fake.input.keys[KEY_ESCAPE]);
    EXPECT_EQ(fake.log.substr(fake.log.size() - 4), "mmsx");
    EXPECT_EQ(fake.shut_downs, 1);
    SetUp();
    SDL_Event motion = {};
    motion.type = SDL_MOUSEMOTION;
    fake.events = {{100, key_event(SDL_KEYDOWN, SDLK_ESCAPE)},
                   {100, key_event(SDL_KEYUP, SDLK_ESCAPE)},
                   {100, motion}};
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.log.substr(fake.log.size() - 5), "mmmsx");

    // Other keys tapped, or held, end nothing.
    SetUp();
    fake.events = {{100, key_event(SDL_KEYDOWN, SDLK_SPACE)},
                   {100, key_event(SDL_KEYUP, SDLK_SPACE)},
                   {200, key_event(SDL_KEYDOWN, SDLK_q)}};
    fake.end_at_draw = 20;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.draws, 20);
}

TEST_F(MainLoopTest, EscapeTappedWhileMinimisedIsForgotten) {
    // Tapped while minimised: dropped at the next idle pass, so the restore
    // later does not end the demo.
    fake.events = {{100, window_event(SDL_WINDOWEVENT_MINIMIZED)},
                   {200, key_event(SDL_KEYDOWN, SDLK_ESCAPE)},
                   {200, key_event(SDL_KEYUP, SDLK_ESCAPE)},
                   {400, window_event(SDL_WINDOWEVENT_RESTORED)}};
    fake.end_at_draw = 40;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.draws, 40);
    EXPECT_FALSE(fake.input.escape_pressed);

    // Tapped again after the restore: it ends the loop.
    SetUp();
    fake.events = {{100, window_event(SDL_WINDOWEVENT_MINIMIZED)},
                   {200, key_event(SDL_KEYDOWN, SDLK_ESCAPE)},
                   {200, key_event(SDL_KEYUP, SDLK_ESCAPE)},
                   {400, window_event(SDL_WINDOWEVENT_RESTORED)},
                   {500, key_event(SDL_KEYDOWN, SDLK_ESCAPE)},
                   {500, key_event(SDL_KEYUP, SDLK_ESCAPE)}};
    EXPECT_EQ(run(), KEY_ESCAPE);
    EXPECT_GE(draws_from(400), 3);
    EXPECT_EQ(draws_from(530), 0);
}

TEST_F(MainLoopTest, PendingMessagesAreDrainedBeforeTheNextFrame) {
    fake.events = {{0, key_event(SDL_KEYDOWN, SDLK_a)},
                   {0, window_event(SDL_WINDOWEVENT_SIZE_CHANGED, 320, 200)},
                   {0, key_event(SDL_KEYUP, SDLK_a)},
                   {50, key_event(SDL_KEYDOWN, SDLK_SPACE)},
                   {50, quit_event()}};
    int32_t code = run();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fake.shut_downs, 1);
    // Three messages, then the first frame; at 56 ms both late messages.
    EXPECT_EQ(fake.log, "mmmsdwsdwmmx");
    EXPECT_FALSE(fake.input.keys[0x41]);
    EXPECT_TRUE(fake.input.keys[0x20]);
}

TEST_F(MainLoopTest, WindowCloseShutsDownWithCodeZero) {
    fake.events = {{300, key_event(SDL_KEYDOWN, SDLK_RETURN)},
                   {300, window_event(SDL_WINDOWEVENT_CLOSE)}};
    EXPECT_EQ(run(), 0);  // the quit message's own parameter, not the key's
    EXPECT_EQ(fake.shut_downs, 1);
    EXPECT_EQ(fake.log.substr(fake.log.size() - 4), "wmmx");
}

TEST_F(MainLoopTest, EndOfMusicShutsDownWithoutSwappingTheLastFrame) {
    fake.end_at_draw = 5;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.draws, 5);
    EXPECT_EQ(fake.shut_downs, 1);
    EXPECT_EQ(fake.log, "sdwsdwsdwsdwsdx");
}

}  // namespace
