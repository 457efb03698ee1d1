// What a loaded module holds, for the player's users: names, counts,
// lengths and loops, copied out of the Song's records.
#pragma once

#include <cstdint>

#include "korvanti/player.h"
#include "player/module/song.h"

namespace korvanti {

// False, leaving `info` untouched, for a null song or info, or an index
// outside the song.
bool song_info(const Song* song, korvanti_song_info* info);
bool song_instrument_info(const Song* song, int32_t instrument, korvanti_instrument_info* info);
bool song_sample_info(const Song* song, int32_t instrument, int32_t sample, korvanti_sample_info* info);

}  // namespace korvanti
