// A song's length and the frames its rows start at, found from its rows
// alone, without mixing: equal to what a render finds.
#pragma once

#include <cstdint>

#include "korvanti/player.h"
#include "player/module/song.h"

namespace korvanti {

// The end of a play of `passes` passes (1 and up) at `rate`; KORVANTI_OK or
// KORVANTI_ERROR_MEMORY.
int song_flow_end(const Song* song, int32_t rate, int32_t passes, korvanti_song_end* end);
// The first frame of (order, row) in the first pass; KORVANTI_ERROR_RANGE
// when the pass never gets there.
int64_t song_flow_row_frame(const Song* song, int32_t rate, int32_t order, int32_t row);

}  // namespace korvanti
