// The demo's entry in a web page: the same window, scenes and main loop as
// on the desktop, with the page's music (app/music_web.h) in place of the
// music glue. The loop's sleeps and buffer swaps give the browser its turn
// (the program is built with Asyncify) and render the sound ahead.
#include "app/main_loop.h"
#include "app/music_web.h"
#include "app/window.h"
#include "platform/platform.h"
#include "scenes/scene_sequencer.h"
#include "scenes/scenes.h"

// The page (platform/web/library.js).
extern "C" void korvanti_page_state(const char* state);

namespace {

constexpr const char* TITLE = "korvanti";

bool heard_announced = false;

// The page says "playing" once the music is heard.
void feed_music() {
    web_music_feed();
    if (!heard_announced && web_music_heard()) {
        heard_announced = true;
        korvanti_page_state("playing");
    }
}

void sleep_and_feed(uint32_t milliseconds) {
    feed_music();
    platform_sleep(milliseconds);
    feed_music();
}

void swap_and_feed() {
    swap_window_buffers();
    feed_music();
}

void shut_down() {
    destroy_window();
    web_music_shutdown();
}

}  // namespace

int main() {
    if (!create_window(TITLE, 640, 480, 32, true)) return 0;
    init_scenes();
    web_music_init("musik.xm");
    scene_music = SceneMusic{web_music_order, web_music_row, web_music_channel_values};
    web_music_play();
    report_music_failure(web_music_failure());
    const ShellOps ops = {poll_window_message, platform_tick_count, sleep_and_feed, draw_frame,
                          swap_and_feed,       set_window_caption,  shut_down};
    MainLoop loop = {};
    loop.title = TITLE;
    int32_t exit_code = run_main_loop(&loop, &ops, window_input());
    korvanti_page_state("ended");
    return exit_code;
}
