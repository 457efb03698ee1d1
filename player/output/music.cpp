// STUB: to be replaced.
#include "player/output/music.h"
#include <cstdio>
void music_init(const char*) { std::printf("Error upon initialization\n"); }
bool music_play() { return false; }
void music_shutdown() {}
int32_t music_order() { return 0; }
int32_t music_row() { return 0; }
int32_t music_channel_values(int32_t*) { return 0; }
