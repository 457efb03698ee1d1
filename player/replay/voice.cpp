// The voice table, and the two ways voices are put to rest: all of them
// (player_init), or those holding a song's samples (song_free).
#include "player/replay/voice.h"

#include <cstring>

#include "player/module/song.h"

Voice voice_table[VOICE_COUNT];

namespace {

bool owns_sample(const Song* song, const Sample* sample) {
    for (int32_t i = 0; i < song->instrument_count; ++i) {
        const Instrument& instrument = song->instruments[i];
        for (int32_t j = 0; j < instrument.sample_count && j < 16; ++j)
            if (instrument.samples[j] == sample) return true;
    }
    return false;
}

}  // namespace

void voices_reset() {
    std::memset(static_cast<void*>(voice_table), 0, sizeof voice_table);
    for (int32_t i = 0; i < VOICE_COUNT; ++i) {
        voice_table[i].index = i;
        voice_table[i].step_int = 1;
    }
}

void voices_release_song(const Song* song) {
    if (song == nullptr || song->instruments == nullptr) return;
    for (Voice& voice : voice_table)
        if (voice.sample && voice.sample != &empty_sample && owns_sample(song, voice.sample))
            voice.sample = nullptr;
}
