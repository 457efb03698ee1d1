// The window in a web page: the page's 640x480 canvas, scaled by the page
// to its window keeping 4:3, stands for the full-screen window; its WebGL
// context, under Emscripten's emulation of the fixed-function calls, for the
// GL context. The display mode is never changed, so the fallback question
// is never asked. Keys and the page's visibility come from the page as
// messages; the caption is the page's title.
#include <GL/gl.h>
#include <emscripten.h>

#include "app/window.h"
#include "app/window_common.h"

// The page (platform/web/library.js).
extern "C" {
// The canvas's WebGL context made current: 1, or 0 when the browser has none.
int korvanti_page_create_context();
// The next event from the page: 1 with its kind and key, 0 when none waits.
int korvanti_page_next_event(int* kind, int* key);
void korvanti_page_set_title(const char* title);
void korvanti_page_report(const char* caption, const char* text);
}

namespace {

// Event kinds, as the page numbers them.
constexpr int EVENT_KEY_DOWN = 1;
constexpr int EVENT_KEY_UP = 2;
constexpr int EVENT_QUIT = 3;
constexpr int EVENT_VISIBLE = 4;  // key: 1 shown, 0 hidden

struct WebWindow {
    bool context;       // the canvas's context is made and current
    InputState input;
};

WebWindow web_window = {false, {{}, true, false}};

}  // namespace

bool create_window(const char* title, int width, int height, int, bool) {
    korvanti_page_set_title(title);
    if (korvanti_page_create_context() == 0) return creation_failed("Can't Create A GL Rendering Context.");
    web_window.context = true;
    resize_viewport(width, height);
    if (!init_gl_state()) return creation_failed("Initialization Failed.");
    return true;
}

// The context belongs to the canvas, which the page keeps showing its last
// picture or its end screen.
void destroy_window() { web_window.context = false; }

bool poll_window_message(ShellMessage* message) {
    int kind = 0;
    int key = 0;
    if (korvanti_page_next_event(&kind, &key) == 0) return false;
    *message = ShellMessage{false, 0};
    InputState* input = &web_window.input;
    if (kind == EVENT_KEY_DOWN && key > 0 && key < 256) {
        input_key_down(input, static_cast<uint8_t>(key));
        message->parameter = key;
    } else if (kind == EVENT_KEY_UP && key > 0 && key < 256) {
        input_key_up(input, static_cast<uint8_t>(key));
        message->parameter = key;
    } else if (kind == EVENT_QUIT) {
        message->quit = true;
    } else if (kind == EVENT_VISIBLE) {
        input->active = key != 0;
    }
    return true;
}

// The browser shows what was drawn once the page's code gives way to it;
// the platform layer's gathered vertices are drawn first.
void swap_window_buffers() {
    glFlush();
    emscripten_sleep(0);
}

void set_window_caption(const char* caption) { korvanti_page_set_title(caption); }

InputState* window_input() { return &web_window.input; }

void report_music_failure(const char* text) {
    if (text != nullptr && text[0] != '\0') korvanti_page_report("Music", text);
}
