// Surveying a song: where it ends, found by the player from its rows alone
// (no voice is mixed), equal to where a render stops.
#include <cstdio>

#include "tools/xmplay/xmplay.h"

SongLength survey_song_length(const korvanti_song* song, int32_t passes, int32_t rate) {
    korvanti_song_end end;
    if (korvanti_song_find_end(song, rate, passes, &end) != KORVANTI_OK || !end.returns) return SongLength{-1, 0, 0};
    return SongLength{end.frame, end.order, end.row};
}

bool use_mixer(korvanti_player* player, const XmplayOptions& options) {
    if (options.mixer.empty()) return true;
    int result = korvanti_player_set_mixer(player, options.mixer.c_str());
    if (result == KORVANTI_OK) return true;
    std::fprintf(stderr, "xmplay: --mixer %s: %s\n", options.mixer.c_str(), korvanti_error_message(result));
    return false;
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
