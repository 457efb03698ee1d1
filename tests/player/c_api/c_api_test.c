/* korvanti/player.h as a C program meets it: compiled as C99 with every
 * warning an error, its records laid out as in C++ (c_api_layout.cpp), and
 * its functions' results (bool among them) read right from C. */
#include <stddef.h>
#include <stdio.h>

#include "korvanti/player.h"

#include "record_layout.h"

extern const size_t cxx_layout[];
extern const size_t cxx_layout_count;

static const size_t c_layout[] = {
    RECORD_LAYOUT
};

int main(void) {
    int failures = 0;
    size_t count = sizeof c_layout / sizeof c_layout[0];
    if (count != cxx_layout_count) {
        printf("C lists %lu sizes and offsets, C++ %lu\n", (unsigned long)count, (unsigned long)cxx_layout_count);
        return 1;
    }
    for (size_t i = 0; i < count; ++i) {
        if (c_layout[i] != cxx_layout[i]) {
            printf("entry %lu: C %lu, C++ %lu\n", (unsigned long)i, (unsigned long)c_layout[i],
                   (unsigned long)cxx_layout[i]);
            failures += 1;
        }
    }
    /* The snapshot's packed layout is part of the header's contract. */
    if (sizeof(SyncSnapshot) != 134 || offsetof(SyncSnapshot, elapsed_ms) != 2) {
        printf("SyncSnapshot is %lu bytes, elapsed_ms at %lu\n", (unsigned long)sizeof(SyncSnapshot),
               (unsigned long)offsetof(SyncSnapshot, elapsed_ms));
        failures += 1;
    }
    /* Calls from C reach the library: refusals as the contracts state them. */
    SongInfo info;
    SongEnd end;
    set_file_callbacks(NULL, memory_file_close, memory_file_read, memory_file_seek, memory_file_tell);
    if (song_load("any.xm", NULL) != NULL || song_info(NULL, &info) || song_end(NULL, &end) || end.frame != -1 ||
        player_block_frames() != 0 || player_init_offline(PLAYER_RATE_MAX + 1) || song_render_next(NULL) != NULL) {
        printf("a call from C did not refuse as its contract says\n");
        failures += 1;
    }
    return failures == 0 ? 0 : 1;
}
