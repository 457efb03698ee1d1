// Surveying a song: the player's scan runs its ticks from the start without
// mixing, with the frames of each tick counted as a render counts them and
// with the same end rule. What comes out (where the song ends, where each
// order position starts) is what a render would find, hundreds of times
// faster, since no voice is mixed.
#include <cstdio>

#include "tools/xmplay/xmplay.h"

SongLength survey_song_length(Song* song, int32_t passes, int32_t rate) {
    SongLength length{-1, 0, 0};
    song_set_passes(song, passes);
    if (!song_scan_start(song)) return length;
    const int64_t limit = ONCE_LIMIT_SECONDS * rate;
    SongEnd end;
    SongRowStart row;
    while (!song_end(song, &end) && song_scan_next_row(&row, limit)) {
    }
    if (song_end(song, &end)) length = SongLength{end.frame, end.order, end.row};
    song_stop(song);
    return length;
}

int64_t survey_order_start(Song* song, int32_t passes, int32_t rate, int64_t heard, int32_t direction) {
    song_set_passes(song, passes);
    if (!song_scan_start(song)) return -1;
    const int64_t limit = ONCE_LIMIT_SECONDS * rate;
    int64_t current = -1;   // start of the order position heard
    int64_t previous = -1;  // start of the one before it
    int64_t found = -1;
    int32_t order = -1;
    SongRowStart row;
    SongEnd end;
    while (song_scan_next_row(&row, limit)) {
        if (song_end(song, &end)) {  // the song ends before another order starts
            if (direction > 0) found = end.frame;
            break;
        }
        if (row.order == order) continue;
        order = row.order;
        if (row.frame > heard) {
            if (direction > 0) found = row.frame;
            break;
        }
        previous = current;
        current = row.frame;
    }
    if (direction < 0) found = previous >= 0 ? previous : current;
    song_stop(song);
    return found;
}

std::string format_time(int64_t frames, int32_t rate) {
    int64_t hundredths = rate > 0 ? frames * 100 / rate : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", static_cast<long long>(hundredths / 6000),
                  static_cast<long long>(hundredths / 100 % 60), static_cast<long long>(hundredths % 100));
    return text;
}

std::string printable(const char* name) {
    std::string text;
    for (const char* c = name; *c != '\0'; ++c) {
        auto byte = static_cast<unsigned char>(*c);
        text.push_back(byte < 32 || byte > 126 ? '?' : *c);
    }
    return text;
}
