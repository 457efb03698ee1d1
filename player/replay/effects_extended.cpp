// The E effects (Exy), by x. E6 (pattern loop) and EE (pattern delay) move
// the position and live in sequencer.cpp.
#include <cstdint>

#include "player/module/song.h"
#include "player/replay/effects.h"
#include "player/replay/play_state.h"

namespace korvanti {

namespace {

// EDy on later ticks: the delayed note starts on tick y; until then the
// channel asks the voice for nothing.
void note_delay_tick(const PlayState* play, Channel* channel, const NoteCell& cell, const Sample* sample) {
    if (play->tick != (cell.param & 15)) {
        clear_flags(channel, FREQUENCY | VOLUME | PANNING | TRIGGER);
        return;
    }
    reset_channel(channel, sample);
    channel->period = channel->note_period;
    channel->update_flags |= FREQUENCY;
    if (cell.volume != 0) volume_column(channel, cell.volume);
    channel->update_flags |= TRIGGER;
}

}  // namespace

void extended_first_tick(PlayState* play, Channel* channel, const NoteCell& cell, const Sample* sample,
                         const RowStartValues& before) {
    uint8_t y = cell.param & 15;
    switch (cell.param >> 4) {
        case EXTENDED_FINE_PORTAMENTO_UP:  // E1y, no limit
            remember(&channel->fine_porta_up, y);
            channel->period = period_add(channel->period, -4 * channel->fine_porta_up);
            break;
        case EXTENDED_FINE_PORTAMENTO_DOWN:  // E2y
            remember(&channel->fine_porta_down, y);
            channel->period = period_add(channel->period, 4 * channel->fine_porta_down);
            break;
        case EXTENDED_VIBRATO_WAVEFORM:  // E4y
            channel->waveforms = static_cast<uint8_t>((channel->waveforms & 0xF0) | y);
            break;
        case EXTENDED_SET_FINETUNE:  // E5y: the sample keeps it for the rest of the play (the empty one too)
            play->finetunes[sample->number] = static_cast<int8_t>(y);
            break;
        case EXTENDED_TREMOLO_WAVEFORM:  // E7y
            channel->waveforms = static_cast<uint8_t>((channel->waveforms & 0x0F) | (y << 4));
            break;
        case EXTENDED_SET_PANNING:  // E8y
            channel->panning = y * 16;
            channel->update_flags |= PANNING;
            break;
        case EXTENDED_FINE_VOLUME_SLIDE_UP:  // EAy
            remember(&channel->fine_volume_slide, y);
            channel->volume = at_most(channel->volume + channel->fine_volume_slide, 64);
            channel->update_flags |= VOLUME;
            break;
        case EXTENDED_FINE_VOLUME_SLIDE_DOWN:  // EBy: memory shared with EA
            remember(&channel->fine_volume_slide, y);
            channel->volume = at_least(channel->volume - channel->fine_volume_slide, 0);
            channel->update_flags |= VOLUME;
            break;
        case EXTENDED_NOTE_DELAY:  // EDy: the old note goes on sounding as it was
            channel->volume = before.volume;
            channel->period = before.period;
            channel->panning = before.panning;
            clear_flags(channel, FREQUENCY | VOLUME | PANNING | TRIGGER);
            break;
        default: break;  // E0, E3 (glissando, not supported), E6, E9, EC, EE, EF
    }
}

void extended_later_tick(PlayState* play, Channel* channel, const NoteCell& cell, const Sample* sample) {
    uint8_t y = cell.param & 15;
    switch (cell.param >> 4) {
        case EXTENDED_RETRIGGER:  // E9y: every y ticks
            if (y != 0 && play->tick % y == 0) channel->update_flags |= FREQUENCY | VOLUME | TRIGGER;
            break;
        case EXTENDED_NOTE_CUT:  // ECy: on tick y
            if (play->tick == y) {
                channel->volume = 0;
                channel->update_flags |= VOLUME;
            }
            break;
        case EXTENDED_NOTE_DELAY: note_delay_tick(play, channel, cell, sample); break;
        default: break;
    }
}

}  // namespace korvanti
