// korvanti-capture: the demo to a video file, offline and frame-exact.
#include <cstdio>
#include <string>

#include "tools/capture/capture.h"

int main(int argc, char** argv) {
    CaptureOptions options;
    std::string error;
    if (!parse_arguments(argc, argv, &options, &error)) {
        std::fprintf(stderr, "korvanti-capture: %s (see --help)\n", error.c_str());
        return EXIT_USAGE;
    }
    if (options.help) {
        print_help(argv[0]);
        return 0;
    }
    return run_capture(options);
}
