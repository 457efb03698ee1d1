// The demo's entry on SDL2 platforms.
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "app/demo.h"

int main(int, char**) {
    int32_t exit_code = run_demo();
    SDL_Quit();
    return exit_code;
}
