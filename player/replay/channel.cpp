// The channel table, the per-tick choice of instrument and current sample,
// and the defaults a sample loads into its channel.
#include "player/replay/channel.h"

#include "player/module/song.h"

namespace korvanti {

namespace {

constexpr int KEYMAP_NOTES = 96;
constexpr int SAMPLE_SLOTS = 16;

// The shared empty Sample has no data: it is always silent.
ChannelSource empty_source(const Instrument* instrument) { return {instrument, &empty_sample}; }

}  // namespace

ChannelSource channel_choose_sample(const Channel* channel, const Song* song) {
    if (!channel || !song || !song->instruments || channel->instrument >= song->instrument_count) {
        return empty_source(&empty_instrument);
    }
    const Instrument* instrument = &song->instruments[channel->instrument];
    // A cell note above 96 that is not key off latches a note past the keymap.
    if (channel->note >= KEYMAP_NOTES) return empty_source(instrument);
    uint8_t slot = instrument->keymap[channel->note];
    if (slot >= SAMPLE_SLOTS) return empty_source(instrument);
    const Sample* sample = instrument->samples[slot];
    if (!sample || sample == &empty_sample) return empty_source(instrument);
    return {instrument, sample};
}

void reset_channel(Channel* channel, const Sample* sample) {
    if (!sample) sample = &empty_sample;
    channel->volume = sample->volume;
    channel->panning = sample->panning;

    // Both 16.16 values stay: the first envelope step rewrites them from point 0.
    channel->volume_envelope_value = 64;
    channel->volume_envelope_point = 0;
    channel->volume_envelope_tick = 0;
    channel->volume_envelope_slope = 0;
    channel->volume_envelope_done = 0;
    channel->panning_envelope_value = 32;
    channel->panning_envelope_point = 0;
    channel->panning_envelope_tick = 0;
    channel->panning_envelope_slope = 0;
    channel->panning_envelope_done = 0;

    channel->released = 0;
    channel->fadeout_volume = 65536;
    channel->auto_vibrato_position = 0;
    channel->auto_vibrato_sweep = 0;
    channel->tremor_counter = 0;

    // Waveform controls 4..7 keep the oscillator phase across notes.
    if ((channel->waveforms & 0x0F) < 4) channel->vibrato_position = 0;
    if ((channel->waveforms >> 4) < 4) channel->tremolo_position = 0;

    channel->update_flags |= VOLUME | PANNING;
}

}  // namespace korvanti
