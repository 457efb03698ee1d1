// The command line of xmplay: options with their values as the next word or
// after '=', "--" before names that would look like options, and the checks
// that keep one run from writing over its own input or output.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "korvanti/player.h"
#include "tools/xmplay/xmplay.h"

namespace {

constexpr int32_t MAX_PASSES = 1000000;
constexpr double GAIN_DB_LOWEST = -100.0;  // the player's range
constexpr double GAIN_DB_HIGHEST = 40.0;

bool all_digits(const char* text);

bool parse_integer(const std::string& text, int64_t* value) {
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    *value = parsed;
    return true;
}

bool parse_seconds(const std::string& text, double* value) {
    errno = 0;
    char* end = nullptr;
    double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

// A whole number of at most `digits` digits and nothing else.
bool parse_small(const std::string& text, int32_t* value) {
    if (text.empty() || text.size() > 6 || !all_digits(text.c_str())) return false;
    *value = static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
    return true;
}

// "1,3-5": channels 1, 3, 4 and 5 (1-based, 1..32) as bits 0, 2, 3 and 4.
bool parse_channel_list(const std::string& text, uint32_t* channels) {
    uint32_t bits = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        std::string item = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        size_t dash = item.find('-');
        int32_t first = 0, last = 0;
        if (!parse_small(item.substr(0, dash), &first)) return false;
        last = first;
        if (dash != std::string::npos && !parse_small(item.substr(dash + 1), &last)) return false;
        if (first < 1 || last > 32 || first > last) return false;
        for (int32_t channel = first; channel <= last; ++channel) bits |= 1u << (channel - 1);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    *channels = bits;
    return true;
}

// ORDER or ORDER:ROW, each 0..255.
bool parse_start(const std::string& text, StartPoint* start) {
    size_t colon = text.find(':');
    int32_t order = 0, row = 0;
    if (!parse_small(text.substr(0, colon), &order)) return false;
    if (colon != std::string::npos && !parse_small(text.substr(colon + 1), &row)) return false;
    if (order > 255 || row > 255) return false;
    *start = StartPoint{StartKind::ORDER, order, row, 0};
    return true;
}

// M:SS or M:SS.ss (any number of decimals), or seconds alone: S or S.ss.
bool parse_start_time(const std::string& text, StartPoint* start) {
    size_t colon = text.find(':');
    int32_t minutes = 0;
    if (colon != std::string::npos && !parse_small(text.substr(0, colon), &minutes)) return false;
    std::string rest = colon == std::string::npos ? text : text.substr(colon + 1);
    size_t point = rest.find('.');
    std::string whole = rest.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : rest.substr(point + 1);
    int32_t seconds = 0;
    if (!parse_small(whole, &seconds) || (colon != std::string::npos && (whole.size() != 2 || seconds > 59))) {
        return false;
    }
    if (point != std::string::npos && (fraction.empty() || !all_digits(fraction.c_str()))) return false;
    int64_t ms = (int64_t{minutes} * 60 + seconds) * 1000;
    for (size_t i = 0; i < 3 && i < fraction.size(); ++i) ms += (fraction[i] - '0') * (i == 0 ? 100 : i == 1 ? 10 : 1);
    *start = StartPoint{StartKind::TIME, 0, 0, ms};
    return true;
}

bool all_digits(const char* text) {
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

// One option word split at '=': "--wav=a.wav" is "--wav" with "a.wav".
struct OptionWord {
    std::string name;
    std::string value;
    bool has_value;  // the word carried '='
};

OptionWord split_option(const char* word) {
    const char* equals = std::strncmp(word, "--", 2) == 0 ? std::strchr(word, '=') : nullptr;
    if (equals == nullptr) return {word, "", false};
    return {std::string(word, static_cast<size_t>(equals - word)), equals + 1, true};
}

// The value of an option that needs one: after '=', or the next word. A next
// word of "--" takes the word after it as it stands, so a file name may
// start with '-'.
bool take_value(int argc, char** argv, int* index, const OptionWord& option, std::string* value,
                bool* quoted, std::string* error) {
    *quoted = false;
    if (option.has_value) {
        *value = option.value;
        return true;
    }
    if (*index + 1 < argc && std::strcmp(argv[*index + 1], "--") == 0 && *index + 2 < argc) {
        *index += 2;
        *value = argv[*index];
        *quoted = true;
        return true;
    }
    if (*index + 1 >= argc) {
        *error = option.name + " needs a value";
        return false;
    }
    *index += 1;
    *value = argv[*index];
    return true;
}

bool set_output(const OptionWord& option, const std::string& value, bool quoted, std::string* path,
                std::string* error) {
    if (!path->empty()) {
        *error = option.name + " is given twice";
        return false;
    }
    if (value.empty()) {
        *error = option.name + " needs a file name";
        return false;
    }
    if (value[0] == '-' && value != "-" && !quoted) {
        *error = option.name + ": " + value + " looks like an option, not a file name (write " + option.name +
                 " -- " + value + " to name a file so)";
        return false;
    }
    *path = value;
    return true;
}

bool set_length_or_rate(const OptionWord& option, const std::string& value, XmplayOptions* options,
                        std::string* error) {
    int64_t number = 0;
    if (option.name == "--blocks") {
        // At most a day of audio at the highest rate: the WAV size limit comes first anyway.
        if (!parse_integer(value, &number) || number < 1 || number > 100000000) {
            *error = "--blocks wants a whole number of blocks from 1, not " + value;
            return false;
        }
        options->blocks = number;
        return true;
    }
    if (option.name == "--seconds" || option.name == "--max-seconds") {
        if (options->seconds >= 0.0) {
            *error = "give --seconds or --max-seconds once";
            return false;
        }
        if (!parse_seconds(value, &options->seconds) || options->seconds <= 0.0 || options->seconds > 86400.0) {
            *error = option.name + " wants a number of seconds above 0 and up to 86400, not " + value;
            return false;
        }
        options->seconds_at_most = option.name == "--max-seconds";
        return true;
    }
    if (!parse_integer(value, &number) || number < KORVANTI_RATE_MIN || number > KORVANTI_RATE_MAX) {
        *error = "--rate wants frames per second from " + std::to_string(KORVANTI_RATE_MIN) + " to " +
                 std::to_string(KORVANTI_RATE_MAX) + ", not " + value;
        return false;
    }
    options->rate = static_cast<int32_t>(number);
    return true;
}

// --loop N, --loop=N, or --loop alone (until stopped): a count is taken from
// the next word only when it is a number. -1 also means until stopped.
bool set_loop(int argc, char** argv, int* index, const OptionWord& option, XmplayOptions* options,
              std::string* error) {
    std::string value;
    if (option.has_value) {
        value = option.value;
    } else if (*index + 1 < argc && (all_digits(argv[*index + 1]) || std::strcmp(argv[*index + 1], "-1") == 0)) {
        *index += 1;
        value = argv[*index];
    } else {
        options->passes = 0;
        return true;
    }
    int64_t count = 0;
    if (value == "-1") {
        options->passes = 0;
        return true;
    }
    if (!parse_integer(value, &count) || count < 1 || count > MAX_PASSES) {
        *error = "--loop wants a number of times from 1 to " + std::to_string(MAX_PASSES) + " (or -1: until stopped), not " + value;
        return false;
    }
    options->passes = static_cast<int32_t>(count);
    return true;
}

// The options that shape what is heard: --gain, --stereo, --mute, --solo,
// --start and --start-time. False for another name.
bool is_play_option(const std::string& name) {
    return name == "--gain" || name == "--stereo" || name == "--mute" || name == "--solo" || name == "--start" ||
           name == "--start-time";
}

bool set_play_option(const OptionWord& option, const std::string& value, XmplayOptions* options,
                     uint32_t* solo_channels, std::string* error) {
    if (option.name == "--gain") {
        double db = 0.0;
        if (!parse_seconds(value, &db) || db < GAIN_DB_LOWEST || db > GAIN_DB_HIGHEST) {
            *error = "--gain wants decibels from -100 to 40, not " + value;
            return false;
        }
        options->gain_db = db;
        return true;
    }
    if (option.name == "--stereo") {
        int32_t percent = 0;
        if (!parse_small(value, &percent) || percent > 100) {
            *error = "--stereo wants a separation from 0 (mono) to 100 (as the song pans), not " + value;
            return false;
        }
        options->stereo_percent = percent;
        return true;
    }
    if (option.name == "--mute" || option.name == "--solo") {
        uint32_t channels = 0;
        if (!parse_channel_list(value, &channels)) {
            *error = option.name + " wants channels from 1 to 32, as in 1,3-5, not " + value;
            return false;
        }
        if (option.name == "--mute") options->muted_channels |= channels;
        if (option.name == "--solo") *solo_channels |= channels;
        return true;
    }
    if (options->start.kind != StartKind::SONG_START) {
        *error = "give --start or --start-time once";
        return false;
    }
    if (option.name == "--start" && !parse_start(value, &options->start)) {
        *error = "--start wants an order position from 0 to 255, and a row after ':' (as in 12:32), not " + value;
        return false;
    }
    if (option.name == "--start-time" && !parse_start_time(value, &options->start)) {
        *error = "--start-time wants a time as M:SS or M:SS.ss (or seconds), not " + value;
        return false;
    }
    return true;
}

bool parse_option(int argc, char** argv, int* index, XmplayOptions* options, bool* loop_given,
                  uint32_t* solo_channels, std::string* error) {
    OptionWord option = split_option(argv[*index]);
    bool* flag = option.name == "--help" || option.name == "-h" ? &options->help
                 : option.name == "--version"                   ? &options->version
                 : option.name == "--info"                      ? &options->info
                 : option.name == "--shuffle"                   ? &options->shuffle
                                                                : nullptr;
    if (flag != nullptr) {
        if (option.has_value) {
            *error = option.name + " takes no value";
            return false;
        }
        *flag = true;
        return true;
    }
    if (option.name == "--loop") {
        *loop_given = true;
        return set_loop(argc, argv, index, option, options, error);
    }
    std::string* path = option.name == "--wav"         ? &options->wav_path
                        : option.name == "--raw"       ? &options->raw_path
                        : option.name == "--snapshots" ? &options->snapshots_path
                                                       : nullptr;
    bool numeric = option.name == "--blocks" || option.name == "--seconds" || option.name == "--max-seconds" ||
                   option.name == "--rate";
    if (is_play_option(option.name)) {
        std::string value;
        bool quoted = false;
        // The value as it stands: "--gain -6" takes the negative number.
        if (!take_value(argc, argv, index, option, &value, &quoted, error)) return false;
        return set_play_option(option, value, options, solo_channels, error);
    }
    if (option.name == "--mixer") {
        std::string value;
        bool quoted = false;
        if (!take_value(argc, argv, index, option, &value, &quoted, error)) return false;
        if (value != "plain" && value != "sse2" && value != "avx2" && value != "avx512") {
            *error = "--mixer wants plain, sse2, avx2 or avx512, not " + value;
            return false;
        }
        options->mixer = value;
        return true;
    }
    if (path == nullptr && !numeric) {
        *error = "unknown option " + option.name;
        return false;
    }
    std::string value;
    bool quoted = false;
    if (!take_value(argc, argv, index, option, &value, &quoted, error)) return false;
    if (path != nullptr) return set_output(option, value, quoted, path, error);
    return set_length_or_rate(option, value, options, error);
}

// The same file by name or, when both exist, by identity ("./a.wav", a link).
bool same_file(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return a == b;
    std::error_code failure;
    if (std::filesystem::equivalent(a, b, failure)) return true;
    std::filesystem::path first = std::filesystem::weakly_canonical(std::filesystem::absolute(a, failure), failure);
    if (failure) return false;
    std::filesystem::path second = std::filesystem::weakly_canonical(std::filesystem::absolute(b, failure), failure);
    return !failure && first == second;
}

// Two outputs on one file, or an output on an input, would ruin the file.
bool outputs_apart(const XmplayOptions& options, std::string* error) {
    struct Output {
        const char* option;
        const std::string* path;
    };
    const Output outputs[] = {{"--wav", &options.wav_path},
                              {"--raw", &options.raw_path},
                              {"--snapshots", &options.snapshots_path}};
    for (size_t i = 0; i < 3; ++i) {
        if (outputs[i].path->empty()) continue;
        for (size_t j = i + 1; j < 3; ++j) {
            if (!outputs[j].path->empty() && same_file(*outputs[i].path, *outputs[j].path)) {
                *error = std::string(outputs[i].option) + " and " + outputs[j].option + " both write " +
                         *outputs[i].path;
                return false;
            }
        }
        for (const std::string& module : options.module_paths) {
            if (module != "-" && same_file(*outputs[i].path, module)) {
                *error = std::string(outputs[i].option) + " would write over the module " + module;
                return false;
            }
        }
    }
    return true;
}

bool options_agree(const XmplayOptions& options, bool loop_given, bool play_given, std::string* error) {
    if (options.module_paths.empty()) {
        *error = "no module given";
        return false;
    }
    if (options.blocks >= 0 && options.seconds >= 0.0) {
        *error = std::string("give --blocks or ") + (options.seconds_at_most ? "--max-seconds" : "--seconds") +
                 ", not both";
        return false;
    }
    bool offline = renders_offline(options);
    if (options.info && (offline || loop_given || play_given || options.shuffle)) {
        *error = "--info only prints; it takes no --wav, --raw, --snapshots, --loop, --shuffle or play options";
        return false;
    }
    if (offline && options.shuffle) {
        *error = "--shuffle orders the files to play; offline there is one";
        return false;
    }
    if (offline && options.module_paths.size() > 1) {
        *error = "--wav, --raw and --snapshots render one module, not " + std::to_string(options.module_paths.size());
        return false;
    }
    if (offline && options.passes == 0 && options.blocks < 0 && options.seconds < 0.0) {
        *error = "--loop without a count plays until stopped; to render, give a count or a length";
        return false;
    }
    return outputs_apart(options, error);
}

}  // namespace

bool parse_arguments(int argc, char** argv, XmplayOptions* options, std::string* error) {
    *options = XmplayOptions{};
    options->blocks = -1;
    options->seconds = -1.0;
    options->rate = 44100;
    options->passes = 1;
    options->stereo_percent = 100;
    options->start = StartPoint{StartKind::SONG_START, 0, 0, 0};
    bool loop_given = false;
    bool play_given = false;
    uint32_t solo_channels = 0;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (!options_end && std::strcmp(word, "--") == 0) {
            options_end = true;
        } else if (!options_end && word[0] == '-' && word[1] != '\0') {
            play_given = play_given || is_play_option(split_option(word).name);
            if (!parse_option(argc, argv, &i, options, &loop_given, &solo_channels, error)) return false;
        } else {
            options->module_paths.push_back(word);
        }
    }
    if (options->help || options->version) return true;
    // A length plays that long, repeating the song, unless --loop says how
    // often the song may play; --max-seconds only caps the play.
    bool repeats = options->blocks >= 0 || (options->seconds >= 0.0 && !options->seconds_at_most);
    if (!loop_given && repeats) options->passes = 0;
    // Solo: every channel not named is muted.
    if (solo_channels != 0) options->muted_channels |= ~solo_channels;
    return options_agree(*options, loop_given, play_given, error);
}

bool renders_offline(const XmplayOptions& options) {
    return !options.wav_path.empty() || !options.raw_path.empty() || !options.snapshots_path.empty();
}

int64_t requested_frames(const XmplayOptions& options, int32_t frames_per_block) {
    if (options.blocks >= 0) return options.blocks * frames_per_block;
    if (options.seconds >= 0.0) return std::llround(options.seconds * options.rate);
    return -1;
}

void print_version() { std::printf("xmplay %s (korvanti)\n", XMPLAY_VERSION); }

const char XMPLAY_KEYS[] =
    "  Space                pause / go on\n"
    "  Left, Right          previous / next order position (presses add up)\n"
    "  +, -                 gain up / down by 1 dB\n"
    "  1 .. 9, 0            mute / unmute channel 1 .. 9, 10\n"
    "  p, n                 previous / next file\n"
    "  h, ?                 list these keys\n"
    "  q, Escape            quit\n"
    "  Ctrl-C               stop, ending by the signal (SIGINT)\n";

void print_help(const char* program) {
    std::printf(
        "Usage: %s [options] FILE.xm...\n"
        "\n"
        "Plays XM (Extended Module) files in turn through the sound device, with a\n"
        "status line on a terminal (order/song length, pattern, row, speed, BPM, time\n"
        "heard / duration, pass, gain, muted channels), or renders one of them to files.\n"
        "A song plays once: it ends when play comes back to a row it has already played\n"
        "(the wrap after the last order position, or a backward jump; pattern loops do\n"
        "not count), and offline after two hours of sound at most. FILE may be - for\n"
        "standard input. Files that cannot be played are reported and skipped.\n"
        "\n"
        "Options:\n"
        "  --wav OUT.wav        render offline into a WAV file (16-bit stereo PCM);\n"
        "                       - writes it to standard output as a stream\n"
        "  --raw OUT.raw        render offline into bare PCM: interleaved signed 16-bit\n"
        "                       little-endian stereo, left first (- for standard output)\n"
        "  --snapshots OUT.tsv  render offline and write one line per block:\n"
        "                       block order row elapsed_ms n0 n1 ... n31\n"
        "                       (decimal, single spaces; block counts from 0 since the\n"
        "                       song's start; n0..n31 are the per-channel note flags, 0\n"
        "                       from the module's channel count on; - for standard output)\n"
        "  --blocks N           length: N output blocks (a block is about 20 ms); the\n"
        "                       song repeats to fill them\n"
        "  --seconds S          length: S seconds; the song repeats from where it comes\n"
        "                       back to (as with --loop alone) to fill them\n"
        "  --max-seconds S      at most S seconds: the song plays once (or --loop N\n"
        "                       times) and is cut after S seconds\n"
        "  --loop [N]           play each song N times through (with a length: until\n"
        "                       either comes first); without N, or -1, until stopped\n"
        "  --gain DB            gain in decibels, -100 to 40, before the clip to 16 bits\n"
        "                       (default 0: the player's own level; --gain -6 lowers)\n"
        "  --stereo PERCENT     stereo separation, 0 (mono) to 100 (default: as the song\n"
        "                       pans)\n"
        "  --mute LIST          silence channels, counted from 1: 2 or 1,3-5\n"
        "  --solo LIST          silence every channel but these\n"
        "  --start ORDER[:ROW]  start at an order position (from 0, as the status line\n"
        "                       shows it) and row, as the song's own course first gets\n"
        "                       there\n"
        "  --start-time M:SS[.ss]  start that far into the song\n"
        "  --shuffle            play the files in a random order\n"
        "  --rate R             mixing rate in frames per second (default 44100,\n"
        "                       %d to %d)\n"
        "  --mixer LOOPS        for measurements: mix with the plain, sse2, avx2 or\n"
        "                       avx512 loops (default: the fastest the processor runs;\n"
        "                       all give the same bits); refused where the build or\n"
        "                       processor lacks them\n"
        "  --info               print each module's facts, duration, instruments and\n"
        "                       samples, and exit\n"
        "  --version            print the version and exit\n"
        "  -h, --help           print this help and exit\n"
        "\n"
        "Options take their value as the next word or after '=' (--wav=out.wav,\n"
        "--gain=-6). A file name that starts with '-' follows \"--\": --wav -- -out.wav,\n"
        "or -- -song.xm for modules. --wav, --raw and --snapshots may be combined, for\n"
        "one module, each on its own file; offline rendering uses no sound device and\n"
        "runs much faster than real time, through the same block renderer as live\n"
        "play, so its output is what the device would play. After a render one line\n"
        "on standard error tells how many samples were clipped (at 32767 or -32768)\n"
        "and, if any were, the --gain that avoids it. With the default gain, stereo\n"
        "and no mutes, the output is the player's exact output.\n"
        "\n"
        "Keys while playing (on a terminal; with a module on standard input, the keys\n"
        "of the controlling terminal):\n"
        "%s"
        "\n"
        "Exit status: 0 done, 1 a file was missing, not an XM module, refused by the\n"
        "loader, or could not be written or played (or no sound device), 2 bad\n"
        "arguments. Ctrl-C, SIGTERM and SIGHUP end xmplay by that signal once the\n"
        "terminal is put back (a shell reports 130, 143 and 129).\n",
        program, KORVANTI_RATE_MIN, KORVANTI_RATE_MAX, XMPLAY_KEYS);
}
