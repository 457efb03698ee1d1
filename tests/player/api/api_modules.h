// Modules for the tests of the player's public calls: the demo's own music
// (envelopes, loops of every kind, several instruments) and small songs
// whose course jumps, breaks and loops, so that starts, seeks and lengths
// meet every way a song can move.
#pragma once

#include <cstdint>
#include <vector>

#include "korvanti/player.h"
#include "tools/make_assets/xm_writer.h"

// Three orders over two 16-row patterns, two channels: pattern 0 holds a
// pattern loop (E60 on row 2, E62 on row 5), pattern 1 breaks from row 9
// to row 4 of the next order (D04); the last order jumps back to order 1
// (B01), where the song ends. Notes on every other row, with vibrato and a
// volume slide on the second channel, and E5x set-finetune on row 3.
XmModule jumping_module();
// A song whose instruments change finetune with E5x as it plays, on the
// Amiga frequency table.
XmModule finetune_module();

// The whole first pass of `song` at `rate`, rendered on a fresh player in
// chunks of `chunk` frames.
std::vector<int16_t> solo_render(korvanti_song* song, int32_t rate = 44100, int64_t chunk = 4096);
// The frames of `pcm` from frame `from`, at most `count` of them.
std::vector<int16_t> frames_of(const std::vector<int16_t>& pcm, int64_t from, int64_t count);
// The first frame at which two renders differ; -1 when they are the same
// (also in length).
int64_t first_difference(const std::vector<int16_t>& a, const std::vector<int16_t>& b);
