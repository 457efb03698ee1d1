// The public records as C++ sees them, for c_api_test.c to hold against
// what C sees: a record that differs between the two (a field of another
// size, a packing that only one of them applies) would hand a C program
// values from the wrong bytes.
#include <cstddef>

#include "korvanti/player.h"

#define LAYOUT(record, field) offsetof(record, field)

extern "C" const size_t cxx_layout[] = {
    sizeof(SyncSnapshot),  LAYOUT(SyncSnapshot, row),           LAYOUT(SyncSnapshot, elapsed_ms),
    LAYOUT(SyncSnapshot, channel_notes),
    sizeof(SongInfo),      LAYOUT(SongInfo, tracker_name),      LAYOUT(SongInfo, format_version),
    LAYOUT(SongInfo, channel_count),                            LAYOUT(SongInfo, linear_frequencies),
    LAYOUT(SongInfo, default_speed),                            LAYOUT(SongInfo, orders),
    sizeof(InstrumentInfo), LAYOUT(InstrumentInfo, sample_count),
    sizeof(SampleInfo),    LAYOUT(SampleInfo, length),          LAYOUT(SampleInfo, loop_type),
    LAYOUT(SampleInfo, stored_bits),
    sizeof(SongEnd),       LAYOUT(SongEnd, order),              LAYOUT(SongEnd, row),
    sizeof(SongRowStart),  LAYOUT(SongRowStart, order),
    sizeof(bool),          sizeof(enum SampleLoopType),
};
extern "C" const size_t cxx_layout_count = sizeof cxx_layout / sizeof cxx_layout[0];
