// xmplay: a command-line player for XM modules. Checks the files, loads them
// and plays them live, renders one offline, or prints what they hold.
#include <cstdio>

#include "platform/terminal.h"
#include "tools/xmplay/xmplay.h"

namespace {

// --info for each file in turn; a file that fails is reported and passed.
int print_infos(const XmplayOptions& options) {
    bool failed = false;
    for (size_t i = 0; i < options.module_paths.size(); ++i) {
        const std::string& path = options.module_paths[i];
        ModuleFile file = read_module_file(path);
        korvanti_song* song = nullptr;
        if (!file.readable) {
            std::fprintf(stderr, "xmplay: %s\n", file.error.c_str());
        } else {
            song = load_module(path, file);
        }
        if (song == nullptr) {
            failed = true;
            continue;
        }
        if (options.module_paths.size() > 1) std::printf("%sfile:             %s\n", i > 0 ? "\n" : "", path.c_str());
        print_module_info(song, options.rate);
        korvanti_song_free(song);
    }
    return failed ? EXIT_FAILED : 0;
}

int render_one(const XmplayOptions& options) {
    const std::string& path = options.module_paths[0];
    ModuleFile file = read_module_file(path);
    if (!file.readable) {
        std::fprintf(stderr, "xmplay: %s\n", file.error.c_str());
        return EXIT_FAILED;
    }
    korvanti_song* song = load_module(path, file);
    if (song == nullptr) return EXIT_FAILED;
    int status = render_offline(song, options, path);
    korvanti_song_free(song);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    standard_streams_binary();
    broken_pipes_as_errors();
    // Double-clicked, with nothing to play: the usage, before the console
    // waits for a key and closes.
    if (argc <= 1 && terminal_console_is_own()) {
        print_help(argc > 0 ? argv[0] : "xmplay");
        return 0;
    }
    XmplayOptions options;
    std::string error;
    if (!parse_arguments(argc, argv, &options, &error)) {
        std::fprintf(stderr, "xmplay: %s (try --help)\n", error.c_str());
        return EXIT_USAGE;
    }
    if (options.help) {
        print_help(argc > 0 ? argv[0] : "xmplay");
        return 0;
    }
    if (options.version) {
        print_version();
        return 0;
    }
    if (options.info) return print_infos(options);
    if (renders_offline(options)) return render_one(options);
    return play_live(options);
}
