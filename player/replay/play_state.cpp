// The start of a play, and a state put back.
#include "player/replay/play_state.h"

#include <cstring>

#include "player/replay/sequencer.h"
#include "player/replay/song_end.h"

namespace korvanti {

namespace {

// The position a play starts at.
void reset_song_position(PlayState* play, const Song* song) {
    play->global_volume = song->initial_global_volume;
    play->next_order = -1;
    play->next_row = -1;
    play->speed = song->default_tempo;
    play->row = 0;
    play->order = 0;
    play->tick_frames_left = 0;
    play->tick = 0;
    play->pattern_delay_ticks = 0;
    play->elapsed_ms = 0;
}

void bind_channels(PlayState* play) {
    for (int32_t i = 0; i < CHANNEL_COUNT; ++i) play->channels[i].voice = &play->voice_table[i];
}

// The finetunes as the file stores them.
void load_finetunes(PlayState* play, const Song* song) {
    play->finetunes[0] = 0;
    for (int32_t i = 0; i < song->instrument_count; ++i) {
        const Instrument& instrument = song->instruments[i];
        for (int32_t j = 0; j < instrument.sample_count; ++j) {
            const Sample* sample = instrument.samples[j];
            play->finetunes[sample->number] = sample->finetune;
        }
    }
}

}  // namespace

bool play_state_begin(PlayState* play, const Song* song, int32_t mixing_rate, int32_t passes) {
    std::memset(static_cast<void*>(play), 0, sizeof *play);
    play->song = song;
    play->mixing_rate = mixing_rate;
    voices_reset(play->voice_table);
    bind_channels(play);
    load_finetunes(play, song);
    reset_song_position(play, song);
    if (song->on_play_start != nullptr) song->on_play_start(play);
    set_tempo(play, song->default_bpm);
    song_end_begin(play, passes);
    // The renderer needs ticks of at least one frame.
    return play->frames_per_tick > 0;
}

void play_state_restore(PlayState* play, const PlayState* saved) {
    if (play == saved) return;
    std::memcpy(static_cast<void*>(play), saved, sizeof *play);
    for (Channel& channel : play->channels) {
        if (channel.voice != nullptr) channel.voice = &play->voice_table[channel.voice->index];
    }
}

}  // namespace korvanti
