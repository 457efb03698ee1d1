#include "app/window_events_sdl.h"

namespace {

// Keys outside the printable range, by SDL key code.
struct KeyPair {
    SDL_Keycode sdl;
    uint8_t virtual_key;
};

constexpr KeyPair SPECIAL_KEYS[] = {
    {SDLK_PAUSE, 0x13},    {SDLK_CAPSLOCK, 0x14},  {SDLK_PAGEUP, 0x21},
    {SDLK_PAGEDOWN, 0x22}, {SDLK_END, 0x23},       {SDLK_HOME, 0x24},
    {SDLK_LEFT, 0x25},     {SDLK_UP, 0x26},        {SDLK_RIGHT, 0x27},
    {SDLK_DOWN, 0x28},     {SDLK_PRINTSCREEN, 0x2C}, {SDLK_INSERT, 0x2D},
    {SDLK_KP_0, 0x60},     {SDLK_KP_1, 0x61},      {SDLK_KP_2, 0x62},
    {SDLK_KP_3, 0x63},     {SDLK_KP_4, 0x64},      {SDLK_KP_5, 0x65},
    {SDLK_KP_6, 0x66},     {SDLK_KP_7, 0x67},      {SDLK_KP_8, 0x68},
    {SDLK_KP_9, 0x69},     {SDLK_KP_MULTIPLY, 0x6A}, {SDLK_KP_PLUS, 0x6B},
    {SDLK_KP_MINUS, 0x6D}, {SDLK_KP_PERIOD, 0x6E}, {SDLK_KP_DIVIDE, 0x6F},
    {SDLK_KP_ENTER, 0x0D}, {SDLK_F1, 0x70},        {SDLK_F2, 0x71},
    {SDLK_F3, 0x72},       {SDLK_F4, 0x73},        {SDLK_F5, 0x74},
    {SDLK_F6, 0x75},       {SDLK_F7, 0x76},        {SDLK_F8, 0x77},
    {SDLK_F9, 0x78},       {SDLK_F10, 0x79},       {SDLK_F11, 0x7A},
    {SDLK_F12, 0x7B},      {SDLK_NUMLOCKCLEAR, 0x90}, {SDLK_SCROLLLOCK, 0x91},
    {SDLK_LSHIFT, 0x10},   {SDLK_RSHIFT, 0x10},    {SDLK_LCTRL, 0x11},
    {SDLK_RCTRL, 0x11},    {SDLK_LALT, 0x12},      {SDLK_RALT, 0x12},
    {SDLK_LGUI, 0x5B},     {SDLK_RGUI, 0x5C},      {SDLK_APPLICATION, 0x5D},
};

// Printable and control keys: SDL uses the character, Windows the key's
// own code (upper-case letters, the digits, and the OEM codes for marks).
uint8_t virtual_key_from_character(SDL_Keycode key) {
    if (key >= 'a' && key <= 'z') return static_cast<uint8_t>(key - 'a' + 'A');
    if (key >= '0' && key <= '9') return static_cast<uint8_t>(key);
    switch (key) {
        case SDLK_BACKSPACE: return 0x08;
        case SDLK_TAB: return 0x09;
        case SDLK_RETURN: return 0x0D;
        case SDLK_ESCAPE: return KEY_ESCAPE;
        case SDLK_SPACE: return 0x20;
        case SDLK_DELETE: return 0x2E;
        case ';': return 0xBA;
        case '=': return 0xBB;
        case ',': return 0xBC;
        case '-': return 0xBD;
        case '.': return 0xBE;
        case '/': return 0xBF;
        case '`': return 0xC0;
        case '[': return 0xDB;
        case '\\': return 0xDC;
        case ']': return 0xDD;
        case '\'': return 0xDE;
        default: return 0;
    }
}

WindowEventResult window_event(InputState* input, const SDL_WindowEvent& event) {
    WindowEventResult result = {};
    switch (event.event) {
        case SDL_WINDOWEVENT_MINIMIZED: input->active = false; break;
        case SDL_WINDOWEVENT_RESTORED: input->active = true; break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            result.action = WindowAction::RESIZE;
            result.width = event.data1;
            result.height = event.data2;
            break;
        case SDL_WINDOWEVENT_CLOSE: result.action = WindowAction::QUIT; break;
        default: break;
    }
    return result;
}

}  // namespace

uint8_t virtual_key_from_sdl(SDL_Keycode key) {
    if (key >= 0 && key < 128) return virtual_key_from_character(key);
    for (const KeyPair& pair : SPECIAL_KEYS) {
        if (pair.sdl == key) return pair.virtual_key;
    }
    return 0;
}

WindowEventResult window_proc(InputState* input, const SDL_Event* event) {
    WindowEventResult result = {};
    switch (event->type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            uint8_t key = virtual_key_from_sdl(event->key.keysym.sym);
            if (key != 0 && event->type == SDL_KEYDOWN) input_key_down(input, key);
            if (key != 0 && event->type == SDL_KEYUP) input_key_up(input, key);
            result.parameter = key;
            break;
        }
        case SDL_WINDOWEVENT: result = window_event(input, event->window); break;
        case SDL_QUIT: result.action = WindowAction::QUIT; break;
        default: break;
    }
    return result;
}
