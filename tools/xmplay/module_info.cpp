// --info: the module's header facts, its duration as --wav would render it,
// and its instruments and samples with their names.
#include <cstdio>

#include "tools/xmplay/xmplay.h"

namespace {

const char* loop_name(uint8_t loop_type) {
    switch (loop_type) {
        case SAMPLE_LOOP_FORWARD: return "forward";
        case SAMPLE_LOOP_PINGPONG: return "ping-pong";
        default: return "none";
    }
}

// The stored samples of one instrument, their lengths and loops as loaded
// (in frames, after the loader's fitting), their width as stored.
void print_samples(Song* song, int32_t instrument, int32_t sample_count) {
    for (int32_t j = 0; j < sample_count && j < 16; ++j) {
        SampleInfo sample;
        if (!song_sample_info(song, instrument, j, &sample)) continue;
        std::printf("      sample %2d  %-22s  %2d-bit  %8u frames  loop %s", j,
                    ("\"" + printable(sample.name) + "\"").c_str(), sample.stored_bits, sample.length,
                    loop_name(sample.loop_type));
        if (sample.loop_type != SAMPLE_LOOP_NONE) {
            std::printf(" %u..%u", sample.loop_start, sample.loop_start + sample.loop_length);
        }
        std::printf("\n");
    }
}

void print_duration(Song* song, int32_t rate) {
    if (!player_init_offline(rate)) return;
    SongLength length = survey_song_length(song, 1, rate);
    player_close();
    if (length.end_frame < 0) {
        std::printf("duration:         no end within %lld hours (the song loops forever, or is longer)\n",
                    static_cast<long long>(ONCE_LIMIT_SECONDS / 3600));
        return;
    }
    std::printf("duration:         %s\n", format_time(length.end_frame, rate).c_str());
    std::printf("ends:             play returns to order %d row %d\n", length.end_order, length.end_row);
}

}  // namespace

void print_module_info(Song* song, int32_t rate) {
    SongInfo info;
    if (!song_info(song, &info)) return;
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
        InstrumentInfo instrument;
        if (!song_instrument_info(song, i, &instrument)) continue;
        std::printf("instrument %3d    \"%s\"\n", i + 1, printable(instrument.name).c_str());
        print_samples(song, i, instrument.sample_count);
    }
    std::fflush(stdout);
}
