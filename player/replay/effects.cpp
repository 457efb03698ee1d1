// STUB: to be replaced.
#include "player/replay/effects.h"
void process_later_tick(Song*) {}
void volume_column(Channel*, uint8_t) {}
void effect_first_tick(Song*, Channel*, const NoteCell*, Sample*) {}
void tone_portamento(Channel*) {}
void vibrato(Channel*) {}
void vibrato_advance(Channel*) {}
void tremolo(Channel*) {}
void tremor(Channel*) {}
