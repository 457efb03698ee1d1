// Events into the key table and the activity flag, without a display.
#include <gtest/gtest.h>

#include "app/window_events_sdl.h"

namespace {

SDL_Event key(uint32_t type, SDL_Keycode sym) {
    SDL_Event event = {};
    event.type = type;
    event.key.keysym.sym = sym;
    return event;
}

SDL_Event window(SDL_WindowEventID id, int32_t data1 = 0, int32_t data2 = 0) {
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.event = static_cast<uint8_t>(id);
    event.window.data1 = data1;
    event.window.data2 = data2;
    return event;
}

TEST(WindowEvents, KeysMapToVirtualKeyCodes) {
    struct Pair {
        SDL_Keycode sdl;
        uint8_t virtual_key;
    };
    const Pair pairs[] = {{SDLK_ESCAPE, 0x1B}, {SDLK_a, 0x41},      {SDLK_z, 0x5A},
                          {SDLK_0, 0x30},      {SDLK_9, 0x39},      {SDLK_SPACE, 0x20},
                          {SDLK_RETURN, 0x0D}, {SDLK_LEFT, 0x25},   {SDLK_DOWN, 0x28},
                          {SDLK_F1, 0x70},     {SDLK_F12, 0x7B},    {SDLK_RSHIFT, 0x10},
                          {SDLK_KP_5, 0x65},   {SDLK_COMMA, 0xBC},  {SDLK_DELETE, 0x2E}};
    for (const Pair& pair : pairs) {
        EXPECT_EQ(virtual_key_from_sdl(pair.sdl), pair.virtual_key) << SDL_GetKeyName(pair.sdl);
    }
    EXPECT_EQ(virtual_key_from_sdl(SDLK_AUDIONEXT), 0);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_UNKNOWN), 0);
}

TEST(WindowEvents, KeyDownAndUpSetAndClearTheFlag) {
    InputState input = {};
    input.active = true;
    SDL_Event down = key(SDL_KEYDOWN, SDLK_ESCAPE);
    WindowEventResult result = window_proc(&input, &down);
    EXPECT_TRUE(input.keys[KEY_ESCAPE]);
    EXPECT_EQ(result.action, WindowAction::NONE);
    EXPECT_EQ(result.parameter, KEY_ESCAPE);
    SDL_Event up = key(SDL_KEYUP, SDLK_ESCAPE);
    window_proc(&input, &up);
    EXPECT_FALSE(input.keys[KEY_ESCAPE]);
    // The press stays noted after the release, for the loop to take.
    EXPECT_TRUE(input.escape_pressed);

    // Keys without a code touch nothing; other keys note no press.
    input.escape_pressed = false;
    SDL_Event odd = key(SDL_KEYDOWN, SDLK_AUDIONEXT);
    result = window_proc(&input, &odd);
    EXPECT_EQ(result.parameter, 0);
    for (bool flag : input.keys) EXPECT_FALSE(flag);
    SDL_Event space = key(SDL_KEYDOWN, SDLK_SPACE);
    window_proc(&input, &space);
    EXPECT_TRUE(input.keys[0x20]);
    EXPECT_FALSE(input.escape_pressed);
}

TEST(WindowEvents, OnlyMinimiseAndRestoreChangeActivity) {
    InputState input = {};
    input.active = true;
    const SDL_WindowEventID unrelated[] = {SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_HIDDEN,
                                           SDL_WINDOWEVENT_LEAVE, SDL_WINDOWEVENT_FOCUS_GAINED};
    for (SDL_WindowEventID id : unrelated) {
        SDL_Event event = window(id);
        window_proc(&input, &event);
        EXPECT_TRUE(input.active) << int(id);
    }
    SDL_Event minimise = window(SDL_WINDOWEVENT_MINIMIZED);
    window_proc(&input, &minimise);
    EXPECT_FALSE(input.active);
    for (SDL_WindowEventID id : unrelated) {
        SDL_Event event = window(id);
        window_proc(&input, &event);
        EXPECT_FALSE(input.active) << int(id);
    }
    SDL_Event restore = window(SDL_WINDOWEVENT_RESTORED);
    window_proc(&input, &restore);
    EXPECT_TRUE(input.active);
}

TEST(WindowEvents, SizeAndCloseRequests) {
    InputState input = {};
    SDL_Event size = window(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 0);
    WindowEventResult result = window_proc(&input, &size);
    EXPECT_EQ(result.action, WindowAction::RESIZE);
    EXPECT_EQ(result.width, 800);
    EXPECT_EQ(result.height, 0);

    SDL_Event close = window(SDL_WINDOWEVENT_CLOSE);
    EXPECT_EQ(window_proc(&input, &close).action, WindowAction::QUIT);
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    EXPECT_EQ(window_proc(&input, &quit).action, WindowAction::QUIT);
    SDL_Event motion = {};
    motion.type = SDL_MOUSEMOTION;
    EXPECT_EQ(window_proc(&input, &motion).action, WindowAction::NONE);
}

}  // namespace
