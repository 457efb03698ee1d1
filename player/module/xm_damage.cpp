// The warning of a module file cut short: where the cut falls and what
// lies beyond it. Instruments count from 1 and samples within one from 0,
// as trackers show them.
#include <cstdio>
#include <string>

#include "player/module/xm_reader.h"

namespace korvanti {

namespace {

std::string plural(int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "patterns 3-7", "pattern 3", or empty, counted from `first` to `last`.
std::string span(const char* one, const char* many, int64_t first, int64_t last) {
    if (first > last) return "";
    if (first == last) return std::string(one) + " " + std::to_string(first);
    return std::string(many) + " " + std::to_string(first) + "-" + std::to_string(last);
}

// A stored name without its padding, bytes outside printable ASCII as '?'.
std::string printable_name(const char* stored, size_t length) {
    std::string text;
    for (size_t i = 0; i < length && stored[i] != '\0'; ++i) {
        auto c = static_cast<unsigned char>(stored[i]);
        text.push_back(c < 32 || c > 126 ? '?' : static_cast<char>(c));
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// One phrase: what the file lacks from the cut on.
std::string describe_missing(const Song* song, const CutShort& cut) {
    const int64_t stored_patterns = song->stored_pattern_count;
    const int64_t instrument_count = song->instrument_count;
    std::string text;
    int64_t next_pattern = stored_patterns;  // the first pattern missing whole
    int64_t next_instrument = 0;             // the first instrument missing whole, from 0
    switch (cut.part) {
        case ModulePart::NONE: return "";
        case ModulePart::HEADER:
            text = "part of the module header";
            next_pattern = 0;
            break;
        case ModulePart::PATTERN:
            text = "the end of pattern " + std::to_string(cut.index);
            next_pattern = cut.index + 1;
            break;
        case ModulePart::INSTRUMENT:
            text = "the end of instrument " + std::to_string(cut.index + 1) + "'s header";
            next_instrument = cut.index + 1;
            break;
        case ModulePart::SAMPLE_HEADER:
        case ModulePart::SAMPLE_DATA: {
            const Instrument& instrument = song->instruments[cut.index];
            std::string name = printable_name(instrument.name, sizeof instrument.name);
            std::string sample = "sample " + std::to_string(cut.sample) + " of instrument " +
                                 std::to_string(cut.index + 1);
            if (!name.empty()) sample += " (\"" + name + "\")";
            text = cut.part == ModulePart::SAMPLE_HEADER
                       ? "the header of " + sample
                       : plural(cut.bytes_wanted - cut.bytes_held, "byte", "bytes") + " of the " +
                             std::to_string(cut.bytes_wanted) + " of " + sample;
            next_instrument = cut.index + 1;
            break;
        }
    }
    std::string patterns = span("pattern", "patterns", next_pattern, stored_patterns - 1);
    std::string instruments = next_instrument == 0 && instrument_count > 1
                                  ? "all " + plural(instrument_count, "instrument", "instruments")
                                  : span("instrument", "instruments", next_instrument + 1, instrument_count);
    for (const std::string& piece : {patterns, instruments}) {
        if (!piece.empty()) text += ", " + piece;
    }
    return text;
}

}  // namespace

void xm_note_damage(Song* song, const ModuleReader& reader) {
    std::string missing = describe_missing(song, reader.cut);
    if (missing.empty() || song->warning_count >= MAX_WARNINGS) return;
    std::snprintf(song->warnings[song->warning_count], WARNING_LENGTH, "cut short after %lld bytes: %s missing",
                  static_cast<long long>(reader.file_size), missing.c_str());
    song->warning_count += 1;
}

}  // namespace korvanti
