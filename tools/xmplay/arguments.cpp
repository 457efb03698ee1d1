// The command line of xmplay.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "player/output/stream.h"
#include "tools/xmplay/xmplay.h"

namespace {

bool parse_integer(const char* text, int64_t* value) {
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0') return false;
    *value = parsed;
    return true;
}

bool parse_seconds(const char* text, double* value) {
    errno = 0;
    char* end = nullptr;
    double parsed = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

// The option's value, or null (with the reason) when the line ends.
const char* option_value(int argc, char** argv, int* index, std::string* error) {
    if (*index + 1 >= argc) {
        *error = std::string(argv[*index]) + " needs a value";
        return nullptr;
    }
    *index += 1;
    return argv[*index];
}

bool parse_option(int argc, char** argv, int* index, XmplayOptions* options, std::string* error) {
    const char* name = argv[*index];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
        options->help = true;
        return true;
    }
    if (std::strcmp(name, "--info") == 0) {
        options->info = true;
        return true;
    }
    std::string* path = std::strcmp(name, "--wav") == 0         ? &options->wav_path
                        : std::strcmp(name, "--raw") == 0       ? &options->raw_path
                        : std::strcmp(name, "--snapshots") == 0 ? &options->snapshots_path
                                                                : nullptr;
    bool is_blocks = std::strcmp(name, "--blocks") == 0;
    bool is_seconds = std::strcmp(name, "--seconds") == 0;
    bool is_rate = std::strcmp(name, "--rate") == 0;
    if (path == nullptr && !is_blocks && !is_seconds && !is_rate) {
        *error = std::string("unknown option ") + name;
        return false;
    }
    const char* value = option_value(argc, argv, index, error);
    if (value == nullptr) return false;
    if (path != nullptr) {
        if (*value == '\0') {
            *error = std::string(name) + " needs a file name";
            return false;
        }
        *path = value;
        return true;
    }
    int64_t number = 0;
    if (is_blocks) {
        // At most a day of audio at the highest rate: the WAV size limit comes first anyway.
        if (!parse_integer(value, &number) || number < 1 || number > 100000000) {
            *error = std::string("--blocks wants a whole number of blocks from 1, not ") + value;
            return false;
        }
        options->blocks = number;
        return true;
    }
    if (is_seconds) {
        if (!parse_seconds(value, &options->seconds) || options->seconds <= 0.0 || options->seconds > 86400.0) {
            *error = std::string("--seconds wants a number of seconds above 0 and up to 86400, not ") + value;
            return false;
        }
        return true;
    }
    if (!parse_integer(value, &number) || number < MIXING_RATE_MIN || number > MIXING_RATE_MAX) {
        *error = "--rate wants frames per second from " + std::to_string(MIXING_RATE_MIN) + " to " +
                 std::to_string(MIXING_RATE_MAX) + ", not " + value;
        return false;
    }
    options->rate = static_cast<int32_t>(number);
    return true;
}

}  // namespace

bool parse_arguments(int argc, char** argv, XmplayOptions* options, std::string* error) {
    *options = XmplayOptions{};
    options->blocks = -1;
    options->seconds = -1.0;
    options->rate = 44100;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            if (!parse_option(argc, argv, &i, options, error)) return false;
        } else if (options->module_path.empty()) {
            options->module_path = argv[i];
        } else {
            *error = std::string("one module at a time: ") + argv[i] + " is one too many";
            return false;
        }
    }
    if (options->help) return true;
    if (options->module_path.empty()) {
        *error = "no module given";
        return false;
    }
    if (options->blocks >= 0 && options->seconds >= 0.0) {
        *error = "give --blocks or --seconds, not both";
        return false;
    }
    return true;
}

bool renders_offline(const XmplayOptions& options) {
    return !options.wav_path.empty() || !options.raw_path.empty() || !options.snapshots_path.empty();
}

int64_t requested_frames(const XmplayOptions& options, int32_t frames_per_block) {
    if (options.blocks >= 0) return options.blocks * frames_per_block;
    if (options.seconds >= 0.0) return std::llround(options.seconds * options.rate);
    return -1;
}

void print_help(const char* program) {
    std::printf(
        "Usage: %s [options] FILE.xm\n"
        "\n"
        "Plays an XM (Extended Module) file through the sound device with a status\n"
        "line (order/song length, pattern, row, time), or renders it to files.\n"
        "Without a length it plays the song once: it stops when play comes back to a\n"
        "row it has already played (the wrap after the last order position, or a\n"
        "backward jump; pattern loops do not count) and says so on standard error;\n"
        "offline it stops after two hours of sound at most. Ctrl-C stops live play.\n"
        "\n"
        "Options:\n"
        "  --wav OUT.wav        render offline into a WAV file (16-bit stereo PCM)\n"
        "  --raw OUT.raw        render offline into bare PCM: interleaved signed 16-bit\n"
        "                       little-endian stereo, left first\n"
        "  --snapshots OUT.tsv  render offline and write one line per block:\n"
        "                       block order row elapsed_ms n0 n1 ... n31\n"
        "                       (decimal, single spaces; block counts from 0 since the\n"
        "                       start; n0..n31 are the per-channel note flags, 0 from the\n"
        "                       module's channel count on)\n"
        "  --blocks N           length: N output blocks (a block is about 20 ms)\n"
        "  --seconds S          length: S seconds\n"
        "  --rate R             mixing rate in frames per second (default 44100,\n"
        "                       %d to %d)\n"
        "  --info               print the module's header facts and exit\n"
        "  -h, --help           print this help and exit\n"
        "\n"
        "--wav, --raw and --snapshots may be combined; offline rendering uses no sound\n"
        "device and runs much faster than real time, through the same block renderer\n"
        "as live play, so its output is what the device would play.\n"
        "\n"
        "Exit status: 0 done, 1 the file is missing, not an XM module, refused by the\n"
        "loader, or cannot be written or played, 2 bad arguments, 130 stopped by Ctrl-C.\n",
        program, MIXING_RATE_MIN, MIXING_RATE_MAX);
}
