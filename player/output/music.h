// The demo's music glue: one song, started and queried by the shell and scenes.
#pragma once

#include <cstdint>

void music_init(const char* file_name);
bool music_play();
void music_shutdown();
int32_t music_order();
int32_t music_row();
int32_t music_channel_values(int32_t* out);
