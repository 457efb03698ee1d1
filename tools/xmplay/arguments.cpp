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
    if (option.name == "--seconds") {
        if (!parse_seconds(value, &options->seconds) || options->seconds <= 0.0 || options->seconds > 86400.0) {
            *error = "--seconds wants a number of seconds above 0 and up to 86400, not " + value;
            return false;
        }
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
// the next word only when it is a number.
bool set_loop(int argc, char** argv, int* index, const OptionWord& option, XmplayOptions* options,
              std::string* error) {
    std::string value;
    if (option.has_value) {
        value = option.value;
    } else if (*index + 1 < argc && all_digits(argv[*index + 1])) {
        *index += 1;
        value = argv[*index];
    } else {
        options->passes = 0;
        return true;
    }
    int64_t count = 0;
    if (!parse_integer(value, &count) || count < 1 || count > MAX_PASSES) {
        *error = "--loop wants a number of times from 1 to " + std::to_string(MAX_PASSES) + ", not " + value;
        return false;
    }
    options->passes = static_cast<int32_t>(count);
    return true;
}

bool parse_option(int argc, char** argv, int* index, XmplayOptions* options, bool* loop_given, std::string* error) {
    OptionWord option = split_option(argv[*index]);
    bool* flag = option.name == "--help" || option.name == "-h" ? &options->help
                 : option.name == "--version"                   ? &options->version
                 : option.name == "--info"                      ? &options->info
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
    bool numeric = option.name == "--blocks" || option.name == "--seconds" || option.name == "--rate";
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

bool options_agree(const XmplayOptions& options, bool loop_given, std::string* error) {
    if (options.module_paths.empty()) {
        *error = "no module given";
        return false;
    }
    if (options.blocks >= 0 && options.seconds >= 0.0) {
        *error = "give --blocks or --seconds, not both";
        return false;
    }
    bool offline = renders_offline(options);
    if (options.info && (offline || loop_given)) {
        *error = "--info only prints; it takes no --wav, --raw, --snapshots or --loop";
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
    bool loop_given = false;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (!options_end && std::strcmp(word, "--") == 0) {
            options_end = true;
        } else if (!options_end && word[0] == '-' && word[1] != '\0') {
            if (!parse_option(argc, argv, &i, options, &loop_given, error)) return false;
        } else {
            options->module_paths.push_back(word);
        }
    }
    if (options->help || options->version) return true;
    // A length plays that long, through the song's end, unless --loop says
    // how often the song may play.
    if (!loop_given && (options->blocks >= 0 || options->seconds >= 0.0)) options->passes = 0;
    return options_agree(*options, loop_given, error);
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

void print_help(const char* program) {
    std::printf(
        "Usage: %s [options] FILE.xm...\n"
        "\n"
        "Plays XM (Extended Module) files in turn through the sound device, with a\n"
        "status line on a terminal (order/song length, pattern, row, speed, BPM, time\n"
        "heard / duration), or renders one of them to files. A song plays once: it\n"
        "ends when play comes back to a row it has already played (the wrap after the\n"
        "last order position, or a backward jump; pattern loops do not count), and\n"
        "offline after two hours of sound at most. FILE may be - for standard input.\n"
        "Files that cannot be played are reported and skipped.\n"
        "\n"
        "Options:\n"
        "  --wav OUT.wav        render offline into a WAV file (16-bit stereo PCM);\n"
        "                       - writes it to standard output as a stream\n"
        "  --raw OUT.raw        render offline into bare PCM: interleaved signed 16-bit\n"
        "                       little-endian stereo, left first (- for standard output)\n"
        "  --snapshots OUT.tsv  render offline and write one line per block:\n"
        "                       block order row elapsed_ms n0 n1 ... n31\n"
        "                       (decimal, single spaces; block counts from 0 since the\n"
        "                       start; n0..n31 are the per-channel note flags, 0 from the\n"
        "                       module's channel count on; - for standard output)\n"
        "  --blocks N           length: N output blocks (a block is about 20 ms)\n"
        "  --seconds S          length: S seconds, played through the song's end\n"
        "  --loop [N]           play each song N times through (with a length: until\n"
        "                       either comes first); without N until stopped\n"
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
        "Options take their value as the next word or after '=' (--wav=out.wav). A file\n"
        "name that starts with '-' follows \"--\": --wav -- -out.wav, or -- -song.xm for\n"
        "modules. --wav, --raw and --snapshots may be combined, for one module, each on\n"
        "its own file; offline rendering uses no sound device and runs much faster\n"
        "than real time, through the same block renderer as live play, so its output\n"
        "is what the device would play.\n"
        "\n"
        "Keys while playing (on a terminal):\n"
        "  Space                pause / go on\n"
        "  Left, Right          previous / next order position\n"
        "  p, n                 previous / next file\n"
        "  q, Escape            quit\n"
        "  Ctrl-C               stop (exit status 130)\n"
        "\n"
        "Exit status: 0 done, 1 a file was missing, not an XM module, refused by the\n"
        "loader, or could not be written or played (or no sound device), 2 bad\n"
        "arguments, 130 stopped by Ctrl-C or SIGTERM.\n",
        program, KORVANTI_RATE_MIN, KORVANTI_RATE_MAX);
}
