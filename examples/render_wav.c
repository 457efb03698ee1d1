/* render_wav: an XM module rendered once, as `xmplay --wav` renders it, into
 * a WAV file of 16-bit stereo PCM at 44100 frames per second.
 *   cc -std=c99 render_wav.c $(pkg-config --cflags --libs korvanti-player)
 *   ./render_wav MODULE.xm OUT.wav */
#include <stdio.h>
#include <string.h>

#include <korvanti/player.h>

enum { RATE = 44100, CHUNK_FRAMES = 4096 };

/* `bytes` bytes of `value`, little-endian whatever the host's order. */
static void put(unsigned char* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = (unsigned char)(value >> (8 * i));
}

static void write_header(FILE* out, uint32_t data_bytes) {
    unsigned char header[44] = "RIFF    WAVEfmt ";
    put(header + 4, data_bytes + 36, 4);
    put(header + 16, 16, 4); put(header + 20, 1, 2); put(header + 22, 2, 2); /* 16-byte chunk: PCM, stereo */
    put(header + 24, RATE, 4); put(header + 28, RATE * 4, 4);                /* frames, bytes a second */
    put(header + 32, 4, 2); put(header + 34, 16, 2);                         /* bytes a frame, bits a sample */
    memcpy(header + 36, "data", 4); put(header + 40, data_bytes, 4);
    fwrite(header, 1, sizeof header, out);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s MODULE.xm OUT.wav\n", argv[0]);
        return 2;
    }
    int error = KORVANTI_OK;
    korvanti_song* song = korvanti_song_load_file(argv[1], &error);
    korvanti_player* player = song != NULL ? korvanti_player_create(RATE, &error) : NULL;
    if (player != NULL) error = korvanti_player_start(player, song);
    FILE* out = error == KORVANTI_OK ? fopen(argv[2], "wb") : NULL;
    if (out == NULL) {
        fprintf(stderr, "render_wav: cannot render %s into %s: %s\n", argv[1], argv[2],
                error != KORVANTI_OK ? korvanti_error_message(error) : "cannot write the file");
        return 1;
    }
    for (int32_t i = 0; i < korvanti_song_warning_count(song); ++i)
        fprintf(stderr, "render_wav: warning: %s\n", korvanti_song_warning(song, i));
    write_header(out, 0); /* the sizes follow once they are known */
    static int16_t frames[2 * CHUNK_FRAMES];
    static unsigned char bytes[4 * CHUNK_FRAMES];
    int64_t written = 0;
    for (int64_t count; (count = korvanti_player_render(player, frames, CHUNK_FRAMES)) > 0; written += count) {
        for (int64_t i = 0; i < 2 * count; ++i) put(bytes + 2 * i, (uint16_t)frames[i], 2);
        fwrite(bytes, 4, (size_t)count, out);
    }
    fseek(out, 0, SEEK_SET);
    write_header(out, (uint32_t)(written * 4));
    korvanti_player_destroy(player);
    korvanti_song_free(song);
    int failed = ferror(out);
    return fclose(out) != 0 || failed ? 1 : 0;
}
