// The instruments of musik.xm: drums, bass, pad, lead and arpeggio, with
// their samples synthesised in fixed point.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/make_assets/xm_writer.h"

// Instrument numbers as a pattern cell names them (1-based).
constexpr uint8_t INSTRUMENT_KICK = 1;
constexpr uint8_t INSTRUMENT_SNARE = 2;
constexpr uint8_t INSTRUMENT_HAT = 3;
constexpr uint8_t INSTRUMENT_CRASH = 4;
constexpr uint8_t INSTRUMENT_TOM = 5;
constexpr uint8_t INSTRUMENT_BASS = 6;
constexpr uint8_t INSTRUMENT_PAD = 7;
constexpr uint8_t INSTRUMENT_LEAD = 8;
constexpr uint8_t INSTRUMENT_ARP = 9;
constexpr int INSTRUMENT_COUNT = 9;

// The note at which a drum sample plays at the rate it was made for (C-4).
constexpr uint8_t DRUM_NOTE = 49;

// All instruments in number order.
std::vector<XmInstrument> build_instruments();
