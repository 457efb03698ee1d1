// The demo's music glue: the one song of the demo and the one live player
// it plays on, from loading to release, and the audible position for the
// scenes, through the player's public header like any program that embeds
// it.
#include "scenes/music.h"

#include <cstdio>

#include "korvanti/player.h"

namespace {

constexpr int32_t MIXING_RATE = 44100;

struct Music {
    korvanti_player* player;  // null when the device could not be opened
    korvanti_song* song;      // owned from music_init to music_shutdown; null when none
};

Music music = {nullptr, nullptr};

void print_line(const char* text) {
    std::printf("%s", text);
    std::fflush(stdout);
}

// Where the music heard now is; all 0 while nothing plays.
korvanti_position audible_position() {
    korvanti_position position = {};
    if (korvanti_player_get_position(music.player, &position) != KORVANTI_OK) position = korvanti_position{};
    return position;
}

}  // namespace

void music_init(const char* file_name) {
    music.player = korvanti_player_create_live(MIXING_RATE, KORVANTI_DEVICE_SOUND, nullptr, nullptr, 0);
    if (music.player == nullptr) print_line("Error upon initialization\n");
    music.song = korvanti_song_load_file(file_name, nullptr);
    if (music.song == nullptr) print_line("Error loading song\n");
}

bool music_play() {
    if (music.player == nullptr || music.song == nullptr) return false;
    // The demo ends itself at order 8; the music never stops before.
    korvanti_player_set_passes(music.player, 0);
    return korvanti_player_start(music.player, music.song) == KORVANTI_OK;
}

void music_shutdown() {
    korvanti_song_free(music.song);
    music.song = nullptr;
    korvanti_player_destroy(music.player);
    music.player = nullptr;
}

int32_t music_order() { return audible_position().order & 255; }
int32_t music_row() { return audible_position().row & 255; }

int32_t music_channel_values(int32_t* out) {
    korvanti_position position = audible_position();
    for (int32_t i = 0; i < position.channel_count; ++i) out[i] = position.channels[i].note_struck ? 1 : 0;
    return 0;
}
