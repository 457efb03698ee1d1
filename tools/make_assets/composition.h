// The demo's music, "korvanti" in A minor at 129 BPM: eight sections of 128
// rows that follow the scenes (intro, build, theme, theme again, break, rise,
// finale, ending) and a short silent pattern at order position 8, where the
// demo stops.
#pragma once

#include <cstdint>

#include "tools/make_assets/xm_writer.h"

constexpr uint16_t MUSIC_CHANNELS = 12;
constexpr int MUSIC_ROWS_PER_BEAT = 4;
constexpr int MUSIC_SECTION_ROWS = 128;
constexpr int MUSIC_END_ORDER = 8;

// Channel roles. The kick sits on channel index 3: every kick makes the cube
// grids jump.
constexpr int CHANNEL_LEAD = 0;
constexpr int CHANNEL_ECHO = 1;  // echo or harmony of the lead, and risers
constexpr int CHANNEL_BASS = 2;
constexpr int CHANNEL_KICK = 3;
constexpr int CHANNEL_SNARE = 4;
constexpr int CHANNEL_HAT = 5;
constexpr int CHANNEL_PAD = 6;  // three channels, 6..8, one per chord tone
constexpr int CHANNEL_ARP = 9;
constexpr int CHANNEL_CRASH = 10;
constexpr int CHANNEL_TOM = 11;

// The whole module: header, orders, patterns and instruments.
XmModule compose_music();

// "A4", "C#5", "G#3" to an XM note number (1 = C-0); 0 for anything else.
uint8_t note_named(const char* text);
