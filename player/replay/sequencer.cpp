// STUB: to be replaced.
#include "player/replay/sequencer.h"
void set_tempo(Song*, int32_t) {}
void sequencer_tick(Song*) {}
void process_row(Song*) {}
