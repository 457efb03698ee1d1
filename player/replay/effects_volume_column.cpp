// The volume column: one byte per cell, its upper nibble the command and its
// lower nibble (y) the value. It runs before the cell's effect on every tick.
#include <cstdint>

#include "player/module/song.h"
#include "player/replay/effects.h"

namespace korvanti {

namespace {

// Dy and Ey slide the panning without a limit; update_voice clamps what is
// heard. The saturation only keeps endless slides inside 32 bits.
void panning_slide_unlimited(Channel* channel, int32_t amount) {
    int32_t panning = channel->panning + amount;
    channel->panning = at_least(at_most(panning, PANNING_LIMIT), -PANNING_LIMIT);
    channel->update_flags |= PANNING;
}

void volume_down(Channel* channel, uint8_t y) {
    channel->volume = at_least(channel->volume - y, 0);
    channel->update_flags |= VOLUME;
}

void volume_up(Channel* channel, uint8_t y) {
    channel->volume = at_most(channel->volume + y, 64);
    channel->update_flags |= VOLUME;
}

}  // namespace

void volume_column(Channel* channel, uint8_t value) {
    uint8_t y = value & 15;
    if (value >= VOLUME_COLUMN_SET_LOWEST && value <= VOLUME_COLUMN_SET_HIGHEST) {
        channel->volume = value - VOLUME_COLUMN_SET_LOWEST;
        channel->update_flags |= VOLUME;
        return;
    }
    switch (value >> 4) {
        case VOLUME_COLUMN_SLIDE_DOWN:
        case VOLUME_COLUMN_FINE_SLIDE_DOWN: volume_down(channel, y); break;
        case VOLUME_COLUMN_SLIDE_UP:
        case VOLUME_COLUMN_FINE_SLIDE_UP: volume_up(channel, y); break;
        case VOLUME_COLUMN_VIBRATO_SPEED: channel->vibrato_speed = y; break;
        case VOLUME_COLUMN_VIBRATO: channel->vibrato_depth = y; break;
        case VOLUME_COLUMN_SET_PANNING:
            channel->panning = y * 16;
            channel->update_flags |= PANNING;
            break;
        case VOLUME_COLUMN_PANNING_SLIDE_LEFT: panning_slide_unlimited(channel, -y); break;
        case VOLUME_COLUMN_PANNING_SLIDE_RIGHT: panning_slide_unlimited(channel, y); break;
        case VOLUME_COLUMN_TONE_PORTAMENTO:  // the note still sets the period, only the restart is kept back
            if (y != 0) channel->porta_speed = static_cast<uint8_t>(y * 16);
            channel->porta_target = channel->note_period;
            clear_flags(channel, TRIGGER);
            break;
        default: break;  // 0x01..0x0F, 0x51..0x5F
    }
}

// The fine slides (8y, 9y) and the speed (Ay) act on the first tick only.
void volume_column_later(Channel* channel, uint8_t value) {
    uint8_t y = value & 15;
    switch (value >> 4) {
        case VOLUME_COLUMN_SLIDE_DOWN: volume_down(channel, y); break;
        case VOLUME_COLUMN_SLIDE_UP: volume_up(channel, y); break;
        case VOLUME_COLUMN_VIBRATO:
            channel->vibrato_depth = y;
            vibrato(channel);
            vibrato_advance(channel);
            break;
        case VOLUME_COLUMN_PANNING_SLIDE_LEFT: panning_slide_unlimited(channel, -y); break;
        case VOLUME_COLUMN_PANNING_SLIDE_RIGHT: panning_slide_unlimited(channel, y); break;
        case VOLUME_COLUMN_TONE_PORTAMENTO: tone_portamento(channel); break;
        default: break;
    }
}

}  // namespace korvanti
