// The pattern effects and volume-column commands.
#pragma once

#include <cstdint>

struct Channel;
struct Song;
struct NoteCell;
struct Sample;

// Every tick of a row but the first.
void process_later_tick(Song* song);
// First-tick part of a volume-column byte (not 0).
void volume_column(Channel* channel, uint8_t value);
// First-tick part of an effect other than the flow effects B, D, E6, EE, F.
void effect_first_tick(Song* song, Channel* channel, const NoteCell* cell, Sample* sample);

void tone_portamento(Channel* channel);
void vibrato(Channel* channel);
void vibrato_advance(Channel* channel);
void tremolo(Channel* channel);
void tremor(Channel* channel);
