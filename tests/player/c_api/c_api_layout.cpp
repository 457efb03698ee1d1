// The public records as C++ sees them, for c_api_test.c to hold against
// what C sees: a record that differs between the two (a field of another
// size, a packing that only one of them applies) would hand a C program
// values from the wrong bytes.
#include <cstddef>

#include "korvanti/player.h"

#include "record_layout.h"

extern "C" const size_t cxx_layout[] = {
    RECORD_LAYOUT
};
extern "C" const size_t cxx_layout_count = sizeof cxx_layout / sizeof cxx_layout[0];
