/* render_wav: an XM module rendered once, as `xmplay --wav` renders it, into
 * a WAV file of 16-bit stereo PCM at 44100 frames per second.
 *   cc -std=c99 render_wav.c $(pkg-config --cflags --libs korvanti-player)
 *   ./render_wav MODULE.xm OUT.wav */
#include <stdio.h>
#include <string.h>

#include <korvanti/player.h>

enum { RATE = 44100, MAX_BLOCK_FRAMES = 1024 }; /* a block at 44100 Hz is 884 frames */
static const int64_t MAX_FRAMES = (int64_t)2 * 60 * 60 * RATE; /* a song without an end stops after 2 hours */

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
    set_file_callbacks(memory_file_open, memory_file_close, memory_file_read, memory_file_seek, memory_file_tell);
    Song* song = song_load(argv[1], NULL);
    FILE* out = song != NULL ? fopen(argv[2], "wb") : NULL;
    if (out == NULL || !player_init_offline(RATE) || !song_render_start(song) ||
        player_block_frames() > MAX_BLOCK_FRAMES) {
        fprintf(stderr, "render_wav: cannot render %s into %s\n", argv[1], argv[2]);
        return 1;
    }
    write_header(out, 0); /* the sizes follow once they are known */
    static unsigned char bytes[4 * MAX_BLOCK_FRAMES];
    int64_t written = 0, block = player_block_frames();
    for (int64_t frames = block; frames == block; written += frames) {
        const int16_t* pcm = song_render_next(NULL);
        SongEnd end;  /* known once play has come back to a row it played */
        int64_t stop = song_end(song, &end) && end.frame < MAX_FRAMES ? end.frame : MAX_FRAMES;
        frames = stop - written < block ? stop - written : block;
        for (int64_t i = 0; i < 2 * frames; ++i) put(bytes + 2 * i, (uint16_t)pcm[i], 2);
        fwrite(bytes, 4, (size_t)(frames > 0 ? frames : 0), out);
    }
    fseek(out, 0, SEEK_SET);
    write_header(out, (uint32_t)(written * 4));
    song_free(song);
    player_close();
    int failed = ferror(out);
    return fclose(out) != 0 || failed ? 1 : 0;
}
