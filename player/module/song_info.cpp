// What a loaded module holds, for the player's users: names, counts,
// lengths and loops, copied out of the Song's records.
#include <cstring>

#include "player/module/song_info.h"

namespace korvanti {

namespace {

// The stored bytes up to the first zero, without trailing blanks,
// zero-terminated in `out` (which has room for `length` + 1 bytes).
void copy_name(char* out, const char* stored, size_t length) {
    size_t used = 0;
    while (used < length && stored[used] != '\0') ++used;
    while (used > 0 && stored[used - 1] == ' ') --used;
    std::memcpy(out, stored, used);
    out[used] = '\0';
}

const Instrument* instrument_at(const Song* song, int32_t instrument) {
    if (song == nullptr || song->instruments == nullptr) return nullptr;
    if (instrument < 0 || instrument >= song->instrument_count) return nullptr;
    return &song->instruments[instrument];
}

}  // namespace

bool song_info(const Song* song, korvanti_song_info* info) {
    if (song == nullptr || info == nullptr) return false;
    *info = korvanti_song_info{};
    copy_name(info->name, song->name, sizeof song->name);
    copy_name(info->tracker_name, song->tracker_name, sizeof song->tracker_name);
    info->format_version = song->format_version;
    info->channel_count = song->channel_count;
    info->song_length = song->song_length;
    info->restart_position = song->restart_position;
    info->pattern_count = song->pattern_count;
    info->instrument_count = song->instrument_count;
    for (int32_t i = 0; i < song->instrument_count && song->instruments != nullptr; ++i)
        info->sample_count += song->instruments[i].sample_count;
    info->linear_frequencies = (song->flags & SONG_LINEAR_FREQUENCIES) != 0;
    info->default_speed = song->default_tempo;
    info->default_bpm = song->default_bpm;
    std::memcpy(info->orders, song->orders, sizeof info->orders);
    return true;
}

bool song_instrument_info(const Song* song, int32_t instrument, korvanti_instrument_info* info) {
    const Instrument* record = instrument_at(song, instrument);
    if (record == nullptr || info == nullptr) return false;
    *info = korvanti_instrument_info{};
    copy_name(info->name, record->name, sizeof record->name);
    info->sample_count = record->sample_count;
    return true;
}

bool song_sample_info(const Song* song, int32_t instrument, int32_t sample, korvanti_sample_info* info) {
    const Instrument* record = instrument_at(song, instrument);
    if (record == nullptr || info == nullptr || sample < 0 || sample >= record->sample_count || sample >= 16)
        return false;
    const Sample* stored = record->samples[sample];
    if (stored == nullptr) return false;
    *info = korvanti_sample_info{};
    copy_name(info->name, stored->name, sizeof stored->name);
    info->length = stored->length;
    info->loop_start = stored->loop_start;
    info->loop_length = stored->loop_length;
    info->loop_type = stored->loop_type;
    info->stored_bits = stored->stored_bits;
    return true;
}

}  // namespace korvanti
