// STUB: to be replaced.
#include "player/module/song.h"
Sample empty_sample = {};
Instrument empty_instrument = {};
Song* song_load(const char*, SampleDataSource) { return nullptr; }
bool song_free(Song*) { return false; }
bool xm_load(Song*, FileHandle*) { return false; }
