// The volume column: one byte per cell, its upper nibble the command and its
// lower nibble (y) the value. It runs before the cell's effect on every tick.
#include <cstdint>

#include "player/replay/effects.h"

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
    switch (value >> 4) {
        case 0x1: case 0x2: case 0x3: case 0x4: case 0x5:  // 0x10..0x50 set volume
            if (value > 0x50) break;
            channel->volume = value - 16;
            channel->update_flags |= VOLUME;
            break;
        case 0x6: case 0x8: volume_down(channel, y); break;  // slide / fine slide down
        case 0x7: case 0x9: volume_up(channel, y); break;    // slide / fine slide up
        case 0xA: channel->vibrato_speed = y; break;
        case 0xB: channel->vibrato_depth = y; break;
        case 0xC:
            channel->panning = y * 16;
            channel->update_flags |= PANNING;
            break;
        case 0xD: panning_slide_unlimited(channel, -y); break;
        case 0xE: panning_slide_unlimited(channel, y); break;
        case 0xF:  // tone portamento: the note still sets the period, only the restart is kept back
            if (y != 0) channel->porta_speed = static_cast<uint8_t>(y * 16);
            channel->porta_target = channel->note_period;
            clear_flags(channel, TRIGGER);
            break;
        default: break;  // 0x01..0x0F
    }
}

void volume_column_later(Channel* channel, uint8_t value) {
    uint8_t y = value & 15;
    switch (value >> 4) {
        case 0x6: volume_down(channel, y); break;
        case 0x7: volume_up(channel, y); break;
        case 0xB:
            channel->vibrato_depth = y;
            vibrato(channel);
            vibrato_advance(channel);
            break;
        case 0xD: panning_slide_unlimited(channel, -y); break;
        case 0xE: panning_slide_unlimited(channel, y); break;
        case 0xF: tone_portamento(channel); break;
        default: break;
    }
}
