// The demo's music glue: the one song of the demo and the one live player
// it plays on, from loading to release, and the audible position for the
// scenes, through the player's public header like any program that embeds
// it. When no sound can be played, the player's clock device stands in: the
// show runs to its end as if the music were heard.
#include "scenes/music.h"

#include <cstdio>
#include <cstring>

#include "korvanti/player.h"

namespace {

constexpr int32_t MIXING_RATE = 44100;
constexpr size_t FAILURE_LENGTH = 512;

struct Music {
    korvanti_player* player;  // null only when not even the clock could be had
    korvanti_song* song;      // owned from music_init to music_shutdown; null when none
    char failure[FAILURE_LENGTH];
};

Music music = {nullptr, nullptr, ""};

// The line on standard output and standard error, and kept for the shell.
void report(const char* line, const char* reason) {
    std::printf("%s", line);
    std::fflush(stdout);
    std::fprintf(stderr, "%s", line);
    if (reason != nullptr && reason[0] != '\0') std::fprintf(stderr, "  %s\n", reason);
    size_t used = std::strlen(music.failure);
    std::snprintf(music.failure + used, FAILURE_LENGTH - used, "%s%s%s", line,
                  reason != nullptr && reason[0] != '\0' ? reason : "",
                  reason != nullptr && reason[0] != '\0' ? "\n" : "");
}

korvanti_player* clock_player() {
    return korvanti_player_create_live(MIXING_RATE, KORVANTI_DEVICE_CLOCK, nullptr, nullptr, 0);
}

// Where the music heard now is; all 0 while nothing plays.
korvanti_position audible_position() {
    korvanti_position position = {};
    if (korvanti_player_get_position(music.player, &position) != KORVANTI_OK) position = korvanti_position{};
    return position;
}

}  // namespace

void music_init(const char* file_name) {
    music.failure[0] = '\0';
    char reason[256] = "";
    music.player = korvanti_player_create_live(MIXING_RATE, KORVANTI_DEVICE_SOUND, nullptr, reason, sizeof reason);
    if (music.player == nullptr) {
        report("Error upon initialization\n", reason);
        music.player = clock_player();
    }
    music.song = korvanti_song_load_file(file_name, nullptr);
    if (music.song == nullptr) report("Error loading song\n", nullptr);
}

bool music_play() {
    if (music.player == nullptr || music.song == nullptr) return false;
    // The demo ends itself at order 8; the music never stops before.
    korvanti_player_set_passes(music.player, 0);
    int result = korvanti_player_start(music.player, music.song);
    if (result == KORVANTI_ERROR_DEVICE) {
        report("Error upon initialization\n", korvanti_player_device_error(music.player));
        korvanti_player_destroy(music.player);
        music.player = clock_player();
        if (music.player == nullptr) return false;
        korvanti_player_set_passes(music.player, 0);
        result = korvanti_player_start(music.player, music.song);
    }
    return result == KORVANTI_OK;
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

const char* music_failure() { return music.failure; }
