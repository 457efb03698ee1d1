// Scanning a song: its ticks from the beginning without mixing, through the
// same tick and end watch as rendering, with the frames of each tick counted
// as render_block counts them. What comes out (where the song ends, where
// each row starts) is what a render would find, hundreds of times faster.
//
// The ticks move the voices as play would; a scan keeps a copy of the voice
// table from its start and puts it back when it ends, so that what plays or
// renders after it starts as it would have without it.
#include <cstring>

#include "player/module/song.h"
#include "player/output/song_end.h"
#include "player/output/stream.h"
#include "player/replay/voice.h"

namespace {

struct Scan {
    Song* song;     // null: no scan runs
    int64_t frame;  // first frame of the next tick
    Voice saved_voices[VOICE_COUNT];
};

Scan scan;

}  // namespace

void scan_end() {
    if (scan.song == nullptr) return;
    std::memcpy(static_cast<void*>(voice_table), scan.saved_voices, sizeof voice_table);
    scan.song = nullptr;
}

bool song_scan_start(Song* song) {
    if (!stream_start_scan(song)) return false;
    std::memcpy(static_cast<void*>(scan.saved_voices), voice_table, sizeof voice_table);
    scan.song = song;
    scan.frame = 0;
    return true;
}

bool song_scan_next_row(SongRowStart* row, int64_t frame_limit) {
    Song* song = scan.song;
    if (song == nullptr || row == nullptr) return false;
    while (scan.frame < frame_limit) {
        bool row_start = song->tick == 0;
        int64_t frame = scan.frame;
        song_end_tick(song);
        // A tick lasts the frames_per_tick it leaves, as render_block counts.
        scan.frame += song->frames_per_tick > 0 ? song->frames_per_tick : 1;
        if (row_start) {
            *row = SongRowStart{frame, song->order, song->row};
            return true;
        }
    }
    return false;
}
