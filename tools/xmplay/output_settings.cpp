// What the options change in the player's output (gain, stereo separation,
// mutes) and where play starts. The defaults set nothing, so the output is
// the player's own, bit for bit.
#include <cinttypes>
#include <cstdio>

#include "tools/xmplay/xmplay.h"

namespace {

constexpr int32_t PLAYER_CHANNELS = 32;

bool refused(int result, const char* option) {
    if (result == KORVANTI_OK) return false;
    std::fprintf(stderr, "xmplay: %s: %s\n", option, korvanti_error_message(result));
    return true;
}

}  // namespace

bool apply_output_options(korvanti_player* player, const XmplayOptions& options) {
    if (options.gain_db != 0.0 && refused(korvanti_player_set_gain_db(player, options.gain_db), "--gain")) return false;
    if (options.stereo_percent != 100 &&
        refused(korvanti_player_set_stereo_separation(player, options.stereo_percent), "--stereo")) {
        return false;
    }
    for (int32_t channel = 0; channel < PLAYER_CHANNELS; ++channel) {
        if (((options.muted_channels >> channel) & 1u) == 0) continue;
        if (refused(korvanti_player_set_channel_muted(player, channel, true), "--mute")) return false;
    }
    return true;
}

bool seek_to_start(korvanti_player* player, const korvanti_song* song, const XmplayOptions& options,
                   const std::string& path) {
    const StartPoint& start = options.start;
    if (start.kind == StartKind::SONG_START) return true;
    int result = start.kind == StartKind::ORDER ? korvanti_player_seek_order(player, start.order, start.row)
                                                : korvanti_player_seek_ms(player, start.ms);
    if (result == KORVANTI_OK) return true;
    if (result != KORVANTI_ERROR_RANGE) {
        std::fprintf(stderr, "xmplay: %s: cannot start there: %s\n", path.c_str(), korvanti_error_message(result));
        return false;
    }
    korvanti_song_info info;
    korvanti_song_get_info(song, &info);
    if (start.kind == StartKind::ORDER) {
        std::fprintf(stderr, "xmplay: %s: --start %d:%d: the song never plays that row (%d order positions)\n",
                     path.c_str(), start.order, start.row, info.song_length);
    } else {
        int64_t length = korvanti_song_length_frames(song, options.rate);
        std::fprintf(stderr, "xmplay: %s: --start-time %s is past the end of the play (one pass is %s)\n",
                     path.c_str(), format_time(start.ms * options.rate / 1000, options.rate).c_str(),
                     format_time(length, options.rate).c_str());
    }
    return false;
}

std::string channel_list(uint32_t channels) {
    std::string text;
    for (int32_t first = 0; first < PLAYER_CHANNELS; ++first) {
        if (((channels >> first) & 1u) == 0) continue;
        int32_t last = first;
        while (last + 1 < PLAYER_CHANNELS && ((channels >> (last + 1)) & 1u) != 0) ++last;
        if (!text.empty()) text += ',';
        text += std::to_string(first + 1);
        if (last > first) text += "-" + std::to_string(last + 1);
        first = last;
    }
    return text;
}
