// Reading a module file for xmplay, with the system's reason when it cannot
// be read, and loading it from the bytes already in memory (so standard
// input works like a file).
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/xmplay/xmplay.h"

namespace {

constexpr char XM_SIGNATURE[] = "Extended Module: ";
constexpr size_t XM_SIGNATURE_LENGTH = sizeof XM_SIGNATURE - 1;
constexpr size_t READ_CHUNK = 1 << 16;

std::string system_reason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

}  // namespace

ModuleFile read_module_file(const std::string& path) {
    ModuleFile file{};
    bool from_input = path == "-";
    FILE* stream = from_input ? stdin : std::fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        file.error = "cannot open " + path + ": " + system_reason(errno);
        return file;
    }
    // A regular file is read in one piece into room made for it; a pipe in
    // chunks as they come.
    errno = 0;
    struct stat status {};
    if (fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        file.bytes.resize(static_cast<size_t>(status.st_size));
        file.bytes.resize(std::fread(&file.bytes[0], 1, file.bytes.size(), stream));
    }
    char chunk[READ_CHUNK];
    for (;;) {
        size_t got = std::fread(chunk, 1, sizeof chunk, stream);
        file.bytes.append(chunk, got);
        if (got < sizeof chunk) break;
    }
    bool failed = std::ferror(stream) != 0;
    int error = errno;
    if (!from_input) std::fclose(stream);
    if (failed) {
        file.error = "cannot read " + (from_input ? std::string("standard input") : path) + ": " + system_reason(error);
        file.bytes.clear();
        return file;
    }
    file.readable = true;
    return file;
}

bool has_xm_signature(const std::string& bytes) {
    return bytes.compare(0, XM_SIGNATURE_LENGTH, XM_SIGNATURE) == 0;
}

korvanti_song* load_module(const std::string& path, const ModuleFile& file) {
    if (!has_xm_signature(file.bytes)) {
        std::fprintf(stderr, "xmplay: %s is not an XM module\n", path.c_str());
        return nullptr;
    }
    int error = KORVANTI_OK;
    korvanti_song* song = korvanti_song_load_memory(file.bytes.data(), file.bytes.size(), &error);
    if (song == nullptr) {
        if (error == KORVANTI_ERROR_MEMORY) {
            std::fprintf(stderr, "xmplay: %s: %s\n", path.c_str(), korvanti_error_message(error));
        } else {
            std::fprintf(stderr, "xmplay: %s: the module is damaged or not supported; refused\n", path.c_str());
        }
        return nullptr;
    }
    for (int32_t i = 0; i < korvanti_song_warning_count(song); ++i) {
        std::fprintf(stderr, "xmplay: warning: %s is %s; playing what is there\n", path.c_str(),
                     korvanti_song_warning(song, i));
    }
    return song;
}
