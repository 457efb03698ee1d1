// The output rate that tick lengths (set_tempo) and voice steps are
// computed against. The output stream sets it (player_init,
// player_init_offline); the replay only reads it.
#pragma once

#include <cstdint>

#include "korvanti/player.h"

extern int32_t mixing_rate;  // output frames per second

// Rates player_init accepts; outside them the block and ramp figures break down.
constexpr int32_t MIXING_RATE_MIN = PLAYER_RATE_MIN;
constexpr int32_t MIXING_RATE_MAX = PLAYER_RATE_MAX;
