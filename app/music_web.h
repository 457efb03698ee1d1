// The demo's music in a web page: the song rendered block by block on the
// page's own thread, about two seconds ahead of what is heard, and handed to
// Web Audio; the position heard follows the audio clock. It stands in for
// the music glue of the desktop (scenes/music.h), whose player renders on a
// thread of its own; the scenes read it through scene_music.
#pragma once

#include <cstdint>

// Makes an offline player at 44100 Hz and loads the song; prints "Error upon
// initialization\n" or "Error loading song\n" to standard output when a step
// fails, and goes on.
void web_music_init(const char* file_name);
// Renders the first two seconds and hands them to the page's sound; false
// when no song was loaded.
bool web_music_play();
// Renders the blocks the page's sound will need next, up to two seconds
// ahead of what is heard. Called from the page's loop, at least every
// frame.
void web_music_feed();
// True once the first frame of the song has been heard.
bool web_music_heard();
// Song frames heard now by the audio clock; -1 before the first.
double web_music_heard_frames();
// Stops the sound, frees the song and the player.
void web_music_shutdown();
// The audible order and row; 0 before anything is heard and without a song.
int32_t web_music_order();
int32_t web_music_row();
// The audible note flags of the song's 32 channels into `out`; returns 0.
int32_t web_music_channel_values(int32_t* out);
// What went wrong with the music, one line for a person; "" while all is well.
const char* web_music_failure();
