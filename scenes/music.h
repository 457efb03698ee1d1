// The demo's music glue: one song, started and queried by the shell and
// scenes. It uses the player through korvanti/player.h only; the program
// that links it chooses the player library.
#pragma once

#include <cstdint>

// Installs the MemoryFile callbacks, opens the player at 44100 Hz and loads
// the song; prints "Error upon initialization\n" or "Error loading song\n" to
// standard output when a step fails, and goes on.
void music_init(const char* file_name);
// False when no song was loaded or the player could not start it.
bool music_play();
// Frees the song (stopping play first), then closes the player.
void music_shutdown();
// The audible order and row; 0 without a song.
int32_t music_order();
int32_t music_row();
// Copies the audible note flags of the song's channels to `out` (at least
// channel_count entries); always returns 0.
int32_t music_channel_values(int32_t* out);
