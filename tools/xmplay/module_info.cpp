// --info: the module's header facts, its duration as --wav would render it,
// and its instruments and samples with their names.
#include <cstdio>

#include "tools/xmplay/xmplay.h"

namespace {

const char* loop_name(uint8_t loop_type) {
    switch (loop_type) {
        case KORVANTI_SAMPLE_LOOP_FORWARD: return "forward";
        case KORVANTI_SAMPLE_LOOP_PINGPONG: return "ping-pong";
        default: return "none";
    }
}

// The stored samples of one instrument, their lengths and loops as loaded
// (in frames, after the loader's fitting), their width as stored.
void print_samples(const korvanti_song* song, int32_t instrument, int32_t sample_count) {
    for (int32_t j = 0; j < sample_count && j < 16; ++j) {
        korvanti_sample_info sample;
        if (korvanti_song_get_sample_info(song, instrument, j, &sample) != KORVANTI_OK) continue;
        std::printf("      sample %2d  %-22s  %2d-bit  %8u frames  loop %s", j,
                    ("\"" + printable(sample.name) + "\"").c_str(), sample.stored_bits, sample.length,
                    loop_name(sample.loop_type));
        if (sample.loop_type != KORVANTI_SAMPLE_LOOP_NONE) {
            std::printf(" %u..%u", sample.loop_start, sample.loop_start + sample.loop_length);
        }
        std::printf("\n");
    }
}

void print_duration(const korvanti_song* song, int32_t rate) {
    SongLength length = survey_song_length(song, 1, rate);
    if (length.end_frame < 0) {
        std::printf("duration:         no end within %lld hours (the song loops forever, or is longer)\n",
                    static_cast<long long>(ONCE_LIMIT_SECONDS / 3600));
        return;
    }
    std::printf("duration:         %s\n", format_time(length.end_frame, rate).c_str());
    std::printf("ends:             play returns to order %d row %d\n", length.end_order, length.end_row);
}

}  // namespace

void print_module_info(const korvanti_song* song, int32_t rate) {
    korvanti_song_info info;
    if (korvanti_song_get_info(song, &info) != KORVANTI_OK) return;
    std::printf("name:             %s\n", printable(info.name).c_str());
    std::printf("tracker:          %s\n", printable(info.tracker_name).c_str());
    std::printf("format version:   %d.%02d\n", info.format_version >> 8, info.format_version & 255);
    std::printf("channels:         %d\n", info.channel_count);
    std::printf("song length:      %d\n", info.song_length);
    std::printf("restart position: %d\n", info.restart_position);
    std::printf("patterns:         %d\n", info.pattern_count);
    std::printf("instruments:      %d\n", info.instrument_count);
    std::printf("samples:          %d\n", info.sample_count);
    std::printf("frequency table:  %s\n", info.linear_frequencies ? "linear" : "Amiga");
    std::printf("tempo:            %d\n", info.default_speed);
    std::printf("BPM:              %d\n", info.default_bpm);
    print_duration(song, rate);
    for (int32_t i = 0; i < info.instrument_count; ++i) {
        korvanti_instrument_info instrument;
        if (korvanti_song_get_instrument_info(song, i, &instrument) != KORVANTI_OK) continue;
        std::printf("instrument %3d    \"%s\"\n", i + 1, printable(instrument.name).c_str());
        print_samples(song, i, instrument.sample_count);
    }
    std::fflush(stdout);
}
