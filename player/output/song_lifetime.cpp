// A song's life as the player's users see it: loaded with its tick bound to
// the sequencer, released only once nothing renders it any more. The module
// layer reads and frees the records; the voices and the stream, which may
// still hold a song's samples, belong to the layers above it.
#include "player/module/song.h"
#include "player/output/song_end.h"
#include "player/output/stream.h"
#include "player/replay/sequencer.h"
#include "player/replay/voice.h"

const char* player_version() { return KORVANTI_PLAYER_VERSION; }

Song* song_load(const char* file_name, SampleDataSource sample_data_source) {
    Song* song = song_load_module(file_name, sample_data_source);
    if (song == nullptr) return nullptr;
    song->on_tick = sequencer_tick;
    song->end_passes = 1;
    return song;
}

bool song_free(Song* song) {
    if (song == nullptr) return false;
    // The feeder may be rendering this song: let the block finish first.
    while (stream_feeder_busy()) {
    }
    song_stop(song);
    voices_release_song(song);
    song_end_forget(song);
    song_release(song);
    return true;
}
