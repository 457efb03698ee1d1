// --info: the module's header facts, its duration as --wav would render it,
// and its instruments and samples with their names.
#include <cstdio>

#include "player/module/song.h"
#include "player/output/stream.h"
#include "tools/xmplay/xmplay.h"

namespace {

const char* loop_name(uint8_t loop_type) {
    switch (loop_type) {
        case LOOP_FORWARD: return "forward";
        case LOOP_PINGPONG: return "ping-pong";
        default: return "none";
    }
}

// The stored samples of one instrument, their lengths and loops as loaded
// (in frames, after the loader's fitting), their width as stored.
void print_samples(const Instrument& instrument, const InstrumentFacts& facts) {
    for (int32_t j = 0; j < instrument.sample_count && j < 16; ++j) {
        const Sample& sample = *instrument.samples[j];
        int bits = (facts.samples[j].type & 0x10) ? 16 : 8;
        std::printf("      sample %2d  %-22s  %2d-bit  %8u frames  loop %s", j,
                    ("\"" + facts.samples[j].name + "\"").c_str(), bits, sample.length, loop_name(sample.loop_type));
        if (sample.loop_type != LOOP_NONE) {
            std::printf(" %u..%u", sample.loop_start, sample.loop_start + sample.loop_length);
        }
        std::printf("\n");
    }
}

void print_duration(Song* song, int32_t rate) {
    if (!player_init_offline(rate)) return;
    SongLength length = survey_song_length(song);
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

void print_module_info(Song* song, const ModuleLayout& layout, int32_t rate) {
    int32_t samples = 0;
    for (int32_t i = 0; i < song->instrument_count; ++i) samples += song->instruments[i].sample_count;
    std::printf("name:             %s\n", layout.name.c_str());
    std::printf("tracker:          %s\n", layout.tracker.c_str());
    std::printf("format version:   %d.%02d\n", layout.version >> 8, layout.version & 255);
    std::printf("channels:         %d\n", song->channel_count);
    std::printf("song length:      %d\n", song->song_length);
    std::printf("restart position: %d\n", song->restart_position);
    std::printf("patterns:         %d\n", song->pattern_count);
    std::printf("instruments:      %d\n", song->instrument_count);
    std::printf("samples:          %d\n", samples);
    std::printf("frequency table:  %s\n", (song->flags & SONG_LINEAR_FREQUENCIES) ? "linear" : "Amiga");
    std::printf("tempo:            %d\n", song->default_tempo);
    std::printf("BPM:              %d\n", song->default_bpm);
    print_duration(song, rate);
    for (int32_t i = 0; i < song->instrument_count; ++i) {
        const InstrumentFacts& facts = layout.instruments[static_cast<size_t>(i)];
        std::printf("instrument %3d    \"%s\"\n", i + 1, facts.name.c_str());
        print_samples(song->instruments[i], facts);
    }
    std::fflush(stdout);
}
