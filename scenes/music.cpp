// The demo's music glue: the one song of the demo, from loading to release,
// and the audible position for the scenes, through the player's public
// header like any program that embeds it.
#include "scenes/music.h"

#include <cstdio>

#include "korvanti/player.h"

namespace {

Song* music_song = nullptr;  // owned from music_init to music_shutdown; null when none

void print_line(const char* text) {
    std::printf("%s", text);
    std::fflush(stdout);
}

}  // namespace

void music_init(const char* file_name) {
    set_file_callbacks(memory_file_open, memory_file_close, memory_file_read, memory_file_seek,
                       memory_file_tell);
    if (!player_init(44100)) print_line("Error upon initialization\n");
    music_song = song_load(file_name, nullptr);
    if (music_song == nullptr) print_line("Error loading song\n");
}

bool music_play() { return song_play(music_song); }

void music_shutdown() {
    song_free(music_song);
    music_song = nullptr;
    player_close();
}

int32_t music_order() { return song_audible_order(music_song); }
int32_t music_row() { return song_audible_row(music_song); }

int32_t music_channel_values(int32_t* out) {
    song_audible_channel_values(music_song, out);
    return 0;
}
