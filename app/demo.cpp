// korvanti: opens the window, loads the scenes, starts the music and runs the
// loop until Escape, a close or the end of the music.
#include "app/demo.h"

#include "app/main_loop.h"
#include "app/window.h"
#include "platform/platform.h"
#include "scenes/music.h"
#include "scenes/scenes.h"

namespace {

constexpr const char* TITLE = "korvanti";

void shut_down() {
    destroy_window();
    music_shutdown();
}

}  // namespace

int32_t run_demo() {
    if (!create_window(TITLE, 640, 480, 32, true)) return 0;
    init_scenes();
    music_init("musik.xm");
    music_play();
    // The show goes on without sound or song, so the box comes after the
    // start: the clock that stands in for the sound is already running.
    report_music_failure(music_failure());
    const ShellOps ops = {poll_window_message, platform_tick_count, platform_sleep, draw_frame,
                          swap_window_buffers, set_window_caption,  shut_down};
    MainLoop loop = {};
    loop.title = TITLE;
    return run_main_loop(&loop, &ops, window_input());
}
