// xmplay: a command-line player for XM modules. Checks the file, loads it
// through the module player's file callbacks and plays it live or renders it
// offline.
#include <cstdio>

#include "player/module/file_access.h"
#include "player/module/song.h"
#include "tools/xmplay/xmplay.h"

namespace {

// Null, with the reason on standard error, when the file is not a playable module.
Song* load_module(const std::string& path, ModuleFile* file) {
    *file = read_module_file(path);
    if (!file->readable) {
        std::fprintf(stderr, "xmplay: %s\n", file->error.c_str());
        return nullptr;
    }
    if (!has_xm_signature(file->bytes)) {
        std::fprintf(stderr, "xmplay: %s is not an XM module\n", path.c_str());
        return nullptr;
    }
    set_file_callbacks(memory_file_open, memory_file_close, memory_file_read, memory_file_seek,
                       memory_file_tell);
    Song* song = song_load(path.c_str(), nullptr);
    if (song == nullptr) {
        std::fprintf(stderr, "xmplay: %s: the module is damaged or not supported; refused\n", path.c_str());
    }
    return song;
}

}  // namespace

int main(int argc, char** argv) {
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
    ModuleFile file;
    Song* song = load_module(options.module_path, &file);
    if (song == nullptr) return EXIT_FAILED;
    int status = 0;
    if (options.info) {
        print_module_info(song, file.bytes);
    } else if (renders_offline(options)) {
        status = render_offline(song, options);
    } else {
        status = play_live(song, options);
    }
    song_free(song);
    return status;
}
