/* music_and_jingle: a song with a short jingle over it, as a game plays a
 * sound effect over its music: two players, each rendering its own module,
 * mixed by the caller into one WAV of 16-bit stereo PCM at 44100 Hz. The
 * jingle starts `at` seconds into the song; the output lasts as long as the
 * song (its first pass).
 *   cc -std=c99 music_and_jingle.c $(pkg-config --cflags --libs korvanti-player)
 *   ./music_and_jingle SONG.xm JINGLE.xm SECONDS OUT.wav */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <korvanti/player.h>

enum { RATE = 44100, CHUNK_FRAMES = 1024 };

static void put(unsigned char* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = (unsigned char)(value >> (8 * i));
}

static void write_header(FILE* out, uint32_t data_bytes) {
    unsigned char header[44] = "RIFF    WAVEfmt ";
    put(header + 4, data_bytes + 36, 4);
    put(header + 16, 16, 4); put(header + 20, 1, 2); put(header + 22, 2, 2);
    put(header + 24, RATE, 4); put(header + 28, RATE * 4, 4);
    put(header + 32, 4, 2); put(header + 34, 16, 2);
    memcpy(header + 36, "data", 4); put(header + 40, data_bytes, 4);
    fwrite(header, 1, sizeof header, out);
}

/* A player started on the module at `path`; null with a message on failure. */
static korvanti_player* start(const char* path, korvanti_song** song) {
    int error = KORVANTI_OK;
    *song = korvanti_song_load_file(path, &error);
    korvanti_player* player = *song != NULL ? korvanti_player_create(RATE, &error) : NULL;
    if (player != NULL) error = korvanti_player_start(player, *song);
    if (error != KORVANTI_OK) {
        fprintf(stderr, "music_and_jingle: %s: %s\n", path, korvanti_error_message(error));
        korvanti_player_destroy(player);
        return NULL;
    }
    return player;
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: %s SONG.xm JINGLE.xm SECONDS OUT.wav\n", argv[0]);
        return 2;
    }
    korvanti_song* music_song = NULL;
    korvanti_song* jingle_song = NULL;
    korvanti_player* music = start(argv[1], &music_song);
    korvanti_player* jingle = start(argv[2], &jingle_song);
    const int64_t jingle_at = (int64_t)(atof(argv[3]) * RATE);
    FILE* out = music != NULL && jingle != NULL ? fopen(argv[4], "wb") : NULL;
    if (out == NULL) return 1;
    write_header(out, 0);
    static int16_t mixed[2 * CHUNK_FRAMES];
    static int16_t over[2 * CHUNK_FRAMES];
    static unsigned char bytes[4 * CHUNK_FRAMES];
    int64_t written = 0;
    for (int64_t count; (count = korvanti_player_render(music, mixed, CHUNK_FRAMES)) > 0; written += count) {
        /* The jingle's frames land from jingle_at on, wherever that falls in the chunk. */
        int64_t from = jingle_at > written ? jingle_at - written : 0;
        int64_t heard = from < count ? korvanti_player_render(jingle, over, count - from) : 0;
        for (int64_t i = 0; i < 2 * heard; ++i) {
            int32_t sum = (int32_t)mixed[2 * from + i] + over[i];
            mixed[2 * from + i] = (int16_t)(sum > 32767 ? 32767 : sum < -32768 ? -32768 : sum);
        }
        for (int64_t i = 0; i < 2 * count; ++i) put(bytes + 2 * i, (uint16_t)mixed[i], 2);
        fwrite(bytes, 4, (size_t)count, out);
    }
    fseek(out, 0, SEEK_SET);
    write_header(out, (uint32_t)(written * 4));
    korvanti_player_destroy(jingle);
    korvanti_player_destroy(music);
    korvanti_song_free(jingle_song);
    korvanti_song_free(music_song);
    int failed = ferror(out);
    return fclose(out) != 0 || failed ? 1 : 0;
}
