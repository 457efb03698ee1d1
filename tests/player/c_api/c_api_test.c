/* korvanti/player.h as a C program meets it: the header first, compiled as
 * C99 with every warning an error, self-contained (c_api_alone.c), its
 * records laid out as in C++ (c_api_layout.cpp), and its calls answering
 * from C as their contracts say, bools among their results read right. */
#include "korvanti/player.h"

#include <stdio.h>
#include <string.h>

#include "record_layout.h"

extern const size_t cxx_layout[];
extern const size_t cxx_layout_count;
size_t header_alone_offset(void);

static const size_t c_layout[] = {
    RECORD_LAYOUT
};

static int failures = 0;

static void check(bool holds, const char* what) {
    if (!holds) {
        printf("%s\n", what);
        failures += 1;
    }
}

/* The smallest module: the 336-byte header alone, one channel, one order
 * naming a pattern the file does not hold (64 empty rows), tempo 6, BPM 125. */
static void write_module(uint8_t* bytes, bool linear) {
    memset(bytes, 0, 336);
    memcpy(bytes, "Extended Module: ", 17);
    memcpy(bytes + 17, "from C", 6);
    bytes[37] = 0x1A;
    bytes[58] = 0x04;
    bytes[59] = 0x01;
    bytes[60] = 20; /* header size 276 */
    bytes[61] = 1;
    bytes[64] = 1;  /* song length */
    bytes[68] = 1;  /* channels */
    bytes[74] = linear ? 1 : 0;
    bytes[76] = 6;
    bytes[78] = 125;
}

static void check_layout(void) {
    size_t count = sizeof c_layout / sizeof c_layout[0];
    size_t i;
    if (count != cxx_layout_count) {
        printf("C lists %lu sizes and offsets, C++ %lu\n", (unsigned long)count, (unsigned long)cxx_layout_count);
        failures += 1;
        return;
    }
    for (i = 0; i < count; ++i) {
        if (c_layout[i] != cxx_layout[i]) {
            printf("entry %lu: C %lu, C++ %lu\n", (unsigned long)i, (unsigned long)c_layout[i],
                   (unsigned long)cxx_layout[i]);
            failures += 1;
        }
    }
    /* The snapshot's packed layout is part of the header's contract. */
    check(sizeof(korvanti_sync_snapshot) == 134 && offsetof(korvanti_sync_snapshot, elapsed_ms) == 2,
          "korvanti_sync_snapshot is not 134 packed bytes");
    check(header_alone_offset() == offsetof(korvanti_position, channels), "the header alone lays out otherwise");
}

static void check_refusals(void) {
    int error = 0;
    int16_t frames[8];
    korvanti_player* player;
    check(korvanti_song_load_memory(NULL, 5, &error) == NULL && error == KORVANTI_ERROR_ARGUMENT,
          "loading from no bytes was not refused as an argument error");
    check(korvanti_song_load_memory("Extended Module? ", 17, &error) == NULL && error == KORVANTI_ERROR_FORMAT,
          "a file that is not XM was not refused as such");
    check(korvanti_player_create(KORVANTI_RATE_MAX + 1, &error) == NULL && error == KORVANTI_ERROR_ARGUMENT,
          "a rate above the range was not refused");
    player = korvanti_player_create(KORVANTI_RATE_MIN, NULL);
    check(player != NULL, "no player at the lowest rate");
    check(korvanti_player_render(player, frames, 4) == KORVANTI_ERROR_STATE, "render before a start was not refused");
    check(korvanti_player_set_gain_db(player, 41.0) == KORVANTI_ERROR_ARGUMENT, "a gain above +40 dB was taken");
    korvanti_player_destroy(player);
    korvanti_player_destroy(NULL);
    korvanti_song_free(NULL);
    check(strlen(korvanti_error_message(KORVANTI_ERROR_RANGE)) > 0, "an error without a message");
    check(strcmp(korvanti_version(), KORVANTI_VERSION) == 0, "the library's version is not the header's");
}

/* A song loaded and rendered from C, to its end. */
static void check_play(void) {
    uint8_t bytes[336];
    int error = -1;
    korvanti_song* song;
    korvanti_song_info info;
    korvanti_song_end end;
    korvanti_position position;
    korvanti_player* player;
    int16_t frames[2 * 1000];
    int64_t total = 0;
    int64_t got;
    int64_t length;
    write_module(bytes, true);
    song = korvanti_song_load_memory(bytes, sizeof bytes, &error);
    check(song != NULL && error == KORVANTI_OK, "the smallest module did not load");
    if (song == NULL) return;
    check(korvanti_song_get_info(song, &info) == KORVANTI_OK, "no info");
    check(strcmp(info.name, "from C") == 0 && info.channel_count == 1 && info.song_length == 1 &&
              info.pattern_count == 1 && info.instrument_count == 0 && info.default_speed == 6 &&
              info.default_bpm == 125 && info.format_version == 0x0104,
          "the info from C differs from the module");
    check(info.linear_frequencies == true, "linear frequencies read false");
    check(korvanti_song_warning_count(song) == 0 && korvanti_song_warning(song, 0) == NULL,
          "a whole module carries a warning");
    length = korvanti_song_length_frames(song, 44100);
    check(length == 64 * 6 * 882, "the length is not 64 rows of 6 ticks");
    player = korvanti_player_create(44100, &error);
    check(player != NULL && error == KORVANTI_OK, "no player");
    if (player == NULL) {
        korvanti_song_free(song);
        return;
    }
    check(korvanti_player_start(player, song) == KORVANTI_OK, "the start failed");
    while ((got = korvanti_player_render(player, frames, 1000)) > 0) total += got;
    check(got == 0 && total == length, "the render from C did not end at the song's length");
    check(korvanti_player_get_end(player, &end) == KORVANTI_OK, "no end after the render");
    check(end.returns == true && end.frame == length && end.order == 0 && end.row == 0,
          "the end read from C differs");
    check(korvanti_player_get_position(player, &position) == KORVANTI_OK && position.frame == length &&
              position.channel_count == 1 && position.channels[0].note_struck == false,
          "the position read from C differs");
    korvanti_player_destroy(player);
    korvanti_song_free(song);

    write_module(bytes, false);
    song = korvanti_song_load_memory(bytes, sizeof bytes, NULL);
    check(song != NULL && korvanti_song_get_info(song, &info) == KORVANTI_OK && info.linear_frequencies == false,
          "Amiga frequencies read true");
    korvanti_song_free(song);
}

int main(void) {
    check_layout();
    check_refusals();
    check_play();
    return failures == 0 ? 0 : 1;
}
