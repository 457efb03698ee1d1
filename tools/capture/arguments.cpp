// The command line of korvanti-capture.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/capture/capture.h"

namespace {

constexpr int64_t FPS_PART_MAX = 1000;

bool parse_integer(const char* text, int64_t* value) {
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0') return false;
    *value = parsed;
    return true;
}

// "N" or "N/M", both whole numbers from 1 to 1000.
bool parse_fps(const char* text, FrameRate* fps) {
    std::string value = text;
    size_t slash = value.find('/');
    int64_t numerator = 0;
    int64_t denominator = 1;
    if (!parse_integer(value.substr(0, slash).c_str(), &numerator)) return false;
    if (slash != std::string::npos && !parse_integer(value.substr(slash + 1).c_str(), &denominator)) {
        return false;
    }
    if (numerator < 1 || numerator > FPS_PART_MAX || denominator < 1 || denominator > FPS_PART_MAX) {
        return false;
    }
    *fps = FrameRate{numerator, denominator};
    return true;
}

// Seconds to whole milliseconds, rounded.
bool parse_seconds(const char* text, int64_t* ms) {
    errno = 0;
    char* end = nullptr;
    double parsed = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(parsed)) return false;
    if (parsed <= 0.0 || parsed * 1000.0 > static_cast<double>(CAPTURE_MAX_MS)) return false;
    *ms = std::llround(parsed * 1000.0);
    return *ms > 0;
}

const char* option_value(int argc, char** argv, int* index, std::string* error) {
    if (*index + 1 >= argc) {
        *error = std::string(argv[*index]) + " needs a value";
        return nullptr;
    }
    *index += 1;
    return argv[*index];
}

bool parse_valued_option(const char* name, const char* value, CaptureOptions* options,
                         std::string* error) {
    if (std::strcmp(name, "--fps") == 0) {
        if (parse_fps(value, &options->fps)) return true;
        *error = std::string("--fps wants N or N/M with whole numbers from 1 to 1000, not ") + value;
        return false;
    }
    if (std::strcmp(name, "--seconds") == 0) {
        if (parse_seconds(value, &options->limit_ms)) return true;
        *error = std::string("--seconds wants a length above 0 and up to 3600, not ") + value;
        return false;
    }
    if (std::strcmp(name, "--height") == 0) {
        int64_t height = 0;
        if (parse_integer(value, &height) && height >= MIN_HEIGHT && height <= MAX_HEIGHT && height % 2 == 0) {
            options->height = static_cast<int32_t>(height);
            return true;
        }
        *error = "--height wants an even number of rows from " + std::to_string(MIN_HEIGHT) + " to " +
                 std::to_string(MAX_HEIGHT) + ", not " + value;
        return false;
    }
    std::string* path = std::strcmp(name, "--frames") == 0 ? &options->frames_dir : &options->data_dir;
    if (*value == '\0') {
        *error = std::string(name) + " needs a directory name";
        return false;
    }
    *path = value;
    return true;
}

bool parse_option(int argc, char** argv, int* index, CaptureOptions* options, std::string* error) {
    const char* name = argv[*index];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
        options->help = true;
        return true;
    }
    if (std::strcmp(name, "--quiet") == 0 || std::strcmp(name, "-q") == 0) {
        options->quiet = true;
        return true;
    }
    const char* const valued[] = {"--fps", "--seconds", "--height", "--frames", "--data"};
    bool known = false;
    for (const char* option : valued) known = known || std::strcmp(name, option) == 0;
    if (!known) {
        *error = std::string("unknown option ") + name;
        return false;
    }
    const char* value = option_value(argc, argv, index, error);
    return value != nullptr && parse_valued_option(name, value, options, error);
}

}  // namespace

bool parse_arguments(int argc, char** argv, CaptureOptions* options, std::string* error) {
    *options = CaptureOptions{};
    options->fps = FrameRate{60, 1};
    options->limit_ms = -1;
    bool output_given = false;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            if (!parse_option(argc, argv, &i, options, error)) return false;
        } else if (!output_given) {
            options->output_path = argv[i];
            output_given = true;
        } else {
            *error = std::string("one output at a time: ") + argv[i] + " is one too many";
            return false;
        }
    }
    if (options->help) return true;
    if (output_given && !options->frames_dir.empty()) {
        *error = "give an output video or --frames DIR, not both";
        return false;
    }
    if (!output_given) options->output_path = "korvanti.mp4";
    return true;
}

FrameLayout frame_layout(int32_t height) {
    if (height <= 0) return FrameLayout{DEFAULT_WIDTH, DEFAULT_HEIGHT, DEFAULT_WIDTH, DEFAULT_HEIGHT};
    // Both widths rounded to even pixels, as 4:2:0 video needs.
    int32_t render_width = (height * 4 + 3) / 6 * 2;
    int32_t frame_width = (height * 16 + 17) / 18 * 2;
    return FrameLayout{render_width, height, frame_width, height};
}

void print_help(const char* program) {
    std::printf(
        "Usage: %s [options] [OUT.mp4]\n"
        "\n"
        "Renders the korvanti demo offline, without a display, into a video: what a\n"
        "viewer of the demo sees and hears, frame by frame, from the start of the music\n"
        "until the demo ends by itself. The demo draws a frame every 28 ms; each one is\n"
        "drawn here at its time and follows the music heard at that moment, and the\n"
        "sound is the same PCM the demo sends to the sound device.\n"
        "\n"
        "The data are read like the demo reads them: musik.xm and Data/*.tga from the\n"
        "working directory (or from --data DIR). The video (H.264 and AAC in an mp4,\n"
        "default korvanti.mp4) is encoded by the ffmpeg program; without ffmpeg, PNG\n"
        "frames and a WAV are written to OUT_frames/ instead (OUT without .mp4).\n"
        "\n"
        "Options:\n"
        "  --fps N[/M]      video frames per second (default 60); each video frame shows\n"
        "                   the latest demo frame at its time; 250/7 is the demo's own rate\n"
        "  --height H       draw the scenes at H rows in 4:3 and centre them in a 16:9\n"
        "                   frame with black bars (1080 gives 1440x1080 in 1920x1080);\n"
        "                   H even, %d to %d. Default: the demo's 640x480, no bars\n"
        "  --seconds S      capture at most the first S seconds\n"
        "  --frames DIR     write DIR/frame_000000.png, ... (frame j shows the time\n"
        "                   j/fps) and DIR/audio.wav instead of a video; DIR must not\n"
        "                   exist or be empty\n"
        "  --data DIR       read musik.xm and Data/*.tga from DIR\n"
        "  -q, --quiet      no progress line\n"
        "  -h, --help       print this help and exit\n"
        "\n"
        "Nothing appears under the output name until the capture is complete: the\n"
        "work goes to OUT.part (or DIR.part) and is renamed at the end, or removed on\n"
        "failure or Ctrl-C.\n"
        "\n"
        "Exit status: 0 done, 1 data missing or unreadable, output not writable or\n"
        "ffmpeg failed, 2 bad arguments, 130 interrupted.\n",
        program, MIN_HEIGHT, MAX_HEIGHT);
}
