// The demo's music glue: one song, started and queried by the shell and
// scenes. It uses the player through korvanti/player.h only; the program
// that links it chooses the player library.
#pragma once

#include <cstdint>

// Opens a player on the sound device at 44100 Hz and loads the song; prints
// "Error upon initialization\n" or "Error loading song\n" to standard output
// (and standard error) when a step fails, and goes on. Without a sound
// device the show goes on all the same, timed by the clock as if the music
// were heard.
void music_init(const char* file_name);
// False when no song was loaded or no player could start it. A device that
// refuses the sound at the start is given up for the clock, with the line of
// the failure.
bool music_play();
// Frees the song (stopping play first), then closes the player.
void music_shutdown();
// The audible order and row; 0 without a song.
int32_t music_order();
int32_t music_row();
// Copies the audible note flags of the song's channels to `out` (at least
// channel_count entries); always returns 0.
int32_t music_channel_values(int32_t* out);
// What went wrong with the music so far, one line for a person (the lines
// printed, and why the device failed); "" while all is well. For a shell
// that has no standard output to show (a Windows program shows it in a box).
const char* music_failure();
