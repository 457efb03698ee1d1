// The slides and oscillators that several effects share.
//
// Oscillator phases run over -32..31, 64 positions a cycle; the sine is
// |sin| scaled to 0..256, the sign coming from the half of the cycle.
#include <cmath>
#include <cstdint>

#include "player/module/song.h"
#include "player/replay/effects.h"
#include "player/replay/play_state.h"
#include "player/replay/voice_update.h"

namespace korvanti {

namespace {

// 2 pi / 128 as the player has always used it.
constexpr float OSCILLATOR_STEP = 0.049087375f;

}  // namespace

double oscillator_sine_unrounded(int8_t position) {
    double angle = (position * 2) * static_cast<double>(OSCILLATOR_STEP);
    return std::fabs(std::sin(angle)) * 256.0;
}

namespace {

// The oscillator's sine at phases -32..31, truncated, formed once.
struct OscillatorTable {
    int32_t values[64];
};

OscillatorTable make_oscillator_table() {
    OscillatorTable table = {};
    for (int32_t p = -32; p < 32; ++p) {
        table.values[p + 32] = static_cast<int32_t>(oscillator_sine_unrounded(static_cast<int8_t>(p)));
    }
    return table;
}

// Phases stay within -32..31 (advance_phase folds them back).
int32_t sine_value(int8_t position) {
    static const OscillatorTable table = make_oscillator_table();
    if (position < -32 || position > 31) return static_cast<int32_t>(oscillator_sine_unrounded(position));
    return table.values[position + 32];
}

// Phase step in 8-bit signed arithmetic, folded back into -32..31.
int8_t advance_phase(int8_t position, uint8_t speed) {
    int8_t next = static_cast<int8_t>(static_cast<uint8_t>(position + speed));
    if (next > 31) next = static_cast<int8_t>(next - 64);
    return next;
}

// Rxy volume codes 1..5 and 9..13 add these; 6, 7, 14, 15 scale.
constexpr int8_t RETRIG_STEPS[16] = {0, -1, -2, -4, -8, -16, 0, 0, 0, 1, 2, 4, 8, 16, 0, 0};

int32_t retrig_volume(uint8_t code, int32_t volume) {
    switch (code) {
        case 6: return volume * 2 / 3;
        case 7: return volume >> 1;
        case 14: return volume * 3 / 2;
        case 15: return volume * 2;
        default: return volume + RETRIG_STEPS[code & 15];
    }
}

}  // namespace

void tone_portamento(Channel* channel) {
    int64_t step = 4 * channel->porta_speed;
    int64_t period = channel->period;
    int64_t target = channel->porta_target;
    if (period < target) {
        period = period + step > target ? target : period + step;
    } else if (period > target) {
        period = period - step < target ? target : period - step;
    }
    channel->period = static_cast<int32_t>(period);
    channel->update_flags |= FREQUENCY;
}

void vibrato(Channel* channel) {
    int8_t position = channel->vibrato_position;
    int32_t value;
    switch (channel->waveforms & 3) {
        case 0: value = sine_value(position); break;
        case 1: value = position >= 0 ? position * 8 : 255 - ((position * 8) & 255); break;  // ramp
        default: value = 255; break;  // 2 and 3: square
    }
    int32_t delta = ((value * channel->vibrato_depth) >> 5) & ~3;
    channel->period_delta = position >= 0 ? -delta : delta;
    channel->update_flags |= FREQUENCY;
}

void vibrato_advance(Channel* channel) {
    channel->vibrato_position = advance_phase(channel->vibrato_position, channel->vibrato_speed);
}

void tremolo(Channel* channel) {
    int8_t position = channel->tremolo_position;
    int32_t value;
    switch ((channel->waveforms >> 4) & 3) {
        case 1: value = position >= 0 ? (position & 31) * 8 : 255 - (position & 31) * 8; break;
        case 2: value = 255; break;
        default: value = sine_value(position); break;  // 0 and 3: sine (3 is a square for the vibrato)
    }
    int32_t delta = (value * channel->tremolo_depth) >> 6;
    if (position >= 0) {
        if (channel->volume + delta > 64) delta = 64 - channel->volume;
    } else {
        if (channel->volume - delta < 0) delta = channel->volume;
        delta = -delta;
    }
    channel->volume_delta = delta;
    channel->tremolo_position = advance_phase(position, channel->tremolo_speed);
    channel->update_flags |= VOLUME;
}

void tremor(Channel* channel) {
    if (channel->tremor_counter >= channel->tremor_on) channel->volume_delta = -channel->volume;
    // 8-bit counter: after a change of on/off mid-cycle it may run past the
    // sum and wrap at 256 before it meets it again.
    channel->tremor_counter = static_cast<uint8_t>(channel->tremor_counter + 1);
    if (channel->tremor_counter == static_cast<uint8_t>(channel->tremor_on + channel->tremor_off)) {
        channel->tremor_counter = 0;
    }
    channel->update_flags |= VOLUME;
}

// Shared by A, 5 and 6 on later ticks: the upward nibble wins.
void volume_slide(Channel* channel) {
    uint8_t x = channel->volume_slide >> 4;
    uint8_t y = channel->volume_slide & 15;
    if (x != 0) {
        channel->volume = at_most(channel->volume + x, 64);
    } else {
        channel->volume = at_least(channel->volume - y, 0);
    }
    channel->update_flags |= VOLUME;
}

void arpeggio(const PlayState* play, Channel* channel, uint8_t param, const Sample* sample) {
    int32_t phase = play->tick % 3;
    if (phase != 0) {  // phase 0 plays the note itself
        int32_t semitones = phase == 1 ? param >> 4 : param & 15;
        if (play->song->flags & SONG_LINEAR_FREQUENCIES) {
            channel->period_delta = 64 * semitones;
        } else {
            int32_t note = channel->real_note;
            int8_t finetune = sample_finetune(play, sample);
            channel->period_delta = amiga_period(note + semitones, finetune) - amiga_period(note, finetune);
        }
    }
    channel->update_flags |= FREQUENCY;
}

void multi_retrig(const PlayState* play, Channel* channel) {
    if (channel->retrig_interval == 0 || play->tick % channel->retrig_interval != 0) return;
    if (channel->retrig_volume != 0) {
        int32_t volume = retrig_volume(channel->retrig_volume, channel->volume);
        channel->volume = at_least(at_most(volume, 64), 0);
        channel->update_flags |= VOLUME;
    }
    channel->update_flags |= TRIGGER;
}

}  // namespace korvanti
