// The effect dispatch: the first-tick and later-tick parts of every effect
// other than the flow effects (sequencer.cpp) and the E effects
// (effects_extended.cpp). Effects only change channel state and
// raise update flags; update_voice turns them into pitch and volume once per
// tick.
#include "player/replay/effects.h"

#include <cstdint>

#include "player/module/song.h"
#include "player/replay/play_state.h"
#include "player/replay/voice.h"
#include "player/replay/voice_update.h"

namespace korvanti {

namespace {

// 9xx: the offset waits in the voice until the next TRIGGER; an offset at or
// beyond the loop end starts no note and rewinds the playing one instead.
void sample_offset(Channel* channel, uint8_t param, const Sample* sample) {
    if (param != 0) channel->sample_offset = param;
    uint32_t offset = static_cast<uint32_t>(channel->sample_offset) * 256u;
    uint32_t loop_end = sample->loop_start + sample->loop_length;
    if (offset < loop_end) {
        if (channel->voice != nullptr) channel->voice->start_offset = static_cast<int32_t>(offset);
    } else {
        clear_flags(channel, TRIGGER);
        channel->update_flags |= RESET_POSITION;
    }
}

// Xxy: extra fine portamento, first tick only; x 1 up, 2 down.
constexpr uint8_t EXTRA_FINE_UP = 1;
constexpr uint8_t EXTRA_FINE_DOWN = 2;

void extra_fine_portamento(Channel* channel, uint8_t param) {
    uint8_t y = param & 15;
    if ((param >> 4) == EXTRA_FINE_UP) {
        remember(&channel->extra_fine_up, y);
        channel->period = period_add(channel->period, -channel->extra_fine_up);
    } else if ((param >> 4) == EXTRA_FINE_DOWN) {
        remember(&channel->extra_fine_down, y);
        channel->period = period_add(channel->period, channel->extra_fine_down);
    }
}

// Hxy on later ticks: the upward nibble wins.
void global_volume_slide(PlayState* play) {
    uint8_t x = play->global_volume_slide >> 4;
    uint8_t y = play->global_volume_slide & 15;
    if (x != 0) {
        play->global_volume = at_most(play->global_volume + x, 64);
    } else if (y != 0) {
        play->global_volume = at_least(play->global_volume - y, 0);
    }
}

// Pxy on later ticks: limited to 0..255, unlike the volume-column slides.
void panning_slide(Channel* channel) {
    uint8_t x = channel->panning_slide >> 4;
    uint8_t y = channel->panning_slide & 15;
    if (x != 0) {
        channel->panning = at_most(channel->panning + x, 255);
    } else {
        channel->panning = at_least(channel->panning - y, 0);
    }
    channel->update_flags |= PANNING;
}

// Two's-complement 32-bit arithmetic, as the envelope's 16.16 numbers use:
// values of a well-formed envelope never come near the wrap.
int32_t wrap32(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

}  // namespace

int32_t period_add(int32_t period, int32_t amount) {
    int64_t sum = static_cast<int64_t>(period) + amount;
    if (sum > PERIOD_LIMIT) return PERIOD_LIMIT;
    if (sum < -PERIOD_LIMIT) return -PERIOD_LIMIT;
    return static_cast<int32_t>(sum);
}

void set_envelope_position(Channel* channel, const Instrument* instrument, uint8_t position) {
    if (!(instrument->volume_envelope_flags & ENVELOPE_ON)) return;
    int32_t n = instrument->volume_point_count < 12 ? instrument->volume_point_count : 12;
    if (n == 0) return;  // an envelope that is on has at least two points
    const EnvelopePoint* points = instrument->volume_envelope;
    // The first segment that ends at or after the position; the search stops
    // at the last point, so nothing past the table is read.
    int32_t i = 0;
    while (i < n - 1 && position > points[i + 1].x) ++i;
    channel->volume_envelope_point = i;
    if (i >= n - 1) {
        channel->volume_envelope_value = points[n - 1].y;
        channel->volume_envelope_done = 1;
        return;
    }
    const EnvelopePoint& from = points[i];
    const EnvelopePoint& to = points[i + 1];
    int32_t from_fixed = wrap32(static_cast<int64_t>(from.y) << 16);
    int32_t to_fixed = wrap32(static_cast<int64_t>(to.y) << 16);
    int32_t span = to.x - from.x;
    int32_t slope = span == 0 ? 0 : wrap32(static_cast<int64_t>(wrap32(int64_t{to_fixed} - from_fixed)) / span);
    channel->volume_envelope_done = 0;
    channel->volume_envelope_tick = position;
    channel->volume_envelope_slope = slope;
    channel->volume_envelope_fixed = wrap32(int64_t{from_fixed} + int64_t{position - from.x} * slope);
    channel->volume_envelope_point = i + 1;
    channel->volume_envelope_value = channel->volume_envelope_fixed >> 16;
}

void effect_first_tick(PlayState* play, Channel* channel, const NoteCell& cell,
                       const ChannelSource& source, const RowStartValues& before) {
    uint8_t param = cell.param;
    uint8_t x = param >> 4;
    uint8_t y = param & 15;
    switch (cell.effect) {
        case EFFECT_PORTAMENTO_UP: remember(&channel->porta_up_speed, param); break;
        case EFFECT_PORTAMENTO_DOWN: remember(&channel->porta_down_speed, param); break;
        case EFFECT_TONE_PORTAMENTO:  // 3xx: the note only sets the target
            remember(&channel->porta_speed, param);
            channel->porta_target = channel->note_period;
            clear_flags(channel, FREQUENCY | TRIGGER);
            break;
        case EFFECT_VIBRATO:  // 4xy: bends at the current phase already
            remember(&channel->vibrato_speed, x);
            remember(&channel->vibrato_depth, y);
            vibrato(channel);
            break;
        case EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE:  // 5xy: the portamento speed unchanged
            channel->porta_target = channel->note_period;
            remember(&channel->volume_slide, param);
            clear_flags(channel, FREQUENCY | TRIGGER);
            break;
        case EFFECT_VIBRATO_VOLUME_SLIDE:  // 6xy
            remember(&channel->volume_slide, param);
            vibrato(channel);
            break;
        case EFFECT_TREMOLO:  // 7xy
            remember(&channel->tremolo_speed, x);
            remember(&channel->tremolo_depth, y);
            break;
        case EFFECT_SET_PANNING:  // 8xx
            channel->panning = param;
            channel->update_flags |= PANNING;
            break;
        case EFFECT_SAMPLE_OFFSET: sample_offset(channel, param, source.sample); break;
        case EFFECT_VOLUME_SLIDE: remember(&channel->volume_slide, param); break;
        case EFFECT_SET_VOLUME:  // Cxx, not limited
            channel->volume = param;
            channel->update_flags |= VOLUME;
            break;
        case EFFECT_EXTENDED: extended_first_tick(play, channel, cell, source.sample, before); break;
        case EFFECT_SET_GLOBAL_VOLUME:  // Gxx: other channels hear it at their next VOLUME
            play->global_volume = at_most(param, 64);
            channel->update_flags |= VOLUME;
            break;
        case EFFECT_GLOBAL_VOLUME_SLIDE: remember(&play->global_volume_slide, param); break;
        case EFFECT_SET_ENVELOPE_POSITION: set_envelope_position(channel, source.instrument, param); break;
        case EFFECT_PANNING_SLIDE:  // Pxy
            remember(&channel->panning_slide, param);
            if (param != 0) channel->update_flags |= PANNING;
            break;
        case EFFECT_MULTI_RETRIG:  // Rxy: both nibbles at once
            if (param != 0) {
                channel->retrig_interval = y;
                channel->retrig_volume = x;
            }
            break;
        case EFFECT_TREMOR:  // Txy
            if (param != 0) {
                channel->tremor_on = static_cast<uint8_t>(x + 1);
                channel->tremor_off = static_cast<uint8_t>(y + 1);
            }
            tremor(channel);
            break;
        case EFFECT_EXTRA_FINE_PORTAMENTO: extra_fine_portamento(channel, param); break;
        default: break;  // 0 arpeggio, K (key off, in process_row) and unknown effects
    }
}

void effect_later_tick(PlayState* play, Channel* channel, const NoteCell& cell,
                       const ChannelSource& source) {
    switch (cell.effect) {
        case EFFECT_ARPEGGIO:
            if (cell.param != 0) arpeggio(play, channel, cell.param, source.sample);
            break;
        case EFFECT_PORTAMENTO_UP:  // not above the highest pitch
            channel->period = at_least(period_add(channel->period, -4 * channel->porta_up_speed), 56);
            channel->period_delta = 0;
            channel->update_flags |= FREQUENCY;
            break;
        case EFFECT_PORTAMENTO_DOWN:  // no limit
            channel->period = period_add(channel->period, 4 * channel->porta_down_speed);
            channel->period_delta = 0;
            channel->update_flags |= FREQUENCY;
            break;
        case EFFECT_TONE_PORTAMENTO:
            channel->period_delta = 0;
            tone_portamento(channel);
            break;
        case EFFECT_VIBRATO:
            vibrato(channel);
            vibrato_advance(channel);
            break;
        case EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE:
            channel->period_delta = 0;
            tone_portamento(channel);
            volume_slide(channel);
            break;
        case EFFECT_VIBRATO_VOLUME_SLIDE:
            vibrato(channel);
            vibrato_advance(channel);
            volume_slide(channel);
            break;
        case EFFECT_TREMOLO: tremolo(channel); break;
        case EFFECT_VOLUME_SLIDE: volume_slide(channel); break;
        case EFFECT_EXTENDED: extended_later_tick(play, channel, cell, source.sample); break;
        case EFFECT_GLOBAL_VOLUME_SLIDE: global_volume_slide(play); break;
        case EFFECT_PANNING_SLIDE: panning_slide(channel); break;
        case EFFECT_MULTI_RETRIG: multi_retrig(play, channel); break;
        case EFFECT_TREMOR: tremor(channel); break;
        default: break;
    }
}

}  // namespace korvanti
