// Reading a module file for xmplay, with the system's reason when it cannot
// be read, and loading it through the player's file callbacks from the bytes
// already in memory (so standard input works like a file).
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/xmplay/xmplay.h"

namespace {

constexpr char XM_SIGNATURE[] = "Extended Module: ";
constexpr size_t XM_SIGNATURE_LENGTH = sizeof XM_SIGNATURE - 1;
constexpr size_t READ_CHUNK = 1 << 16;

// The one file the callbacks serve: the bytes being loaded. Reads are cut
// at the end and seeks stop at both ends, as the player's memory file does.
struct LoadedBytes {
    const std::string* bytes;  // set around song_load
    int32_t position;
};

LoadedBytes loaded;

int32_t loaded_size() {
    return loaded.bytes->size() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(loaded.bytes->size());
}

void* bytes_open(const char*) {
    if (loaded.bytes == nullptr) return nullptr;
    loaded.position = 0;
    return &loaded;
}

void bytes_close(void*) {}

void bytes_read(void* destination, int32_t count, void*) {
    int32_t left = loaded_size() - loaded.position;
    if (count > left) count = left;
    if (count <= 0) return;
    std::memcpy(destination, loaded.bytes->data() + loaded.position, static_cast<size_t>(count));
    loaded.position += count;
}

void bytes_seek(void*, int32_t offset, int32_t origin) {
    int64_t base = origin == 1 ? loaded.position : origin == 2 ? loaded_size() : 0;
    int64_t position = base + offset;
    if (position < 0) position = 0;
    if (position > loaded_size()) position = loaded_size();
    loaded.position = static_cast<int32_t>(position);
}

int32_t bytes_tell(void*) { return loaded.position; }

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
    char chunk[READ_CHUNK];
    errno = 0;
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

Song* load_module(const std::string& path, const ModuleFile& file) {
    if (!has_xm_signature(file.bytes)) {
        std::fprintf(stderr, "xmplay: %s is not an XM module\n", path.c_str());
        return nullptr;
    }
    set_file_callbacks(bytes_open, bytes_close, bytes_read, bytes_seek, bytes_tell);
    loaded = LoadedBytes{&file.bytes, 0};
    Song* song = song_load(path.c_str(), nullptr);
    loaded = LoadedBytes{};
    if (song == nullptr) {
        std::fprintf(stderr, "xmplay: %s: the module is damaged or not supported; refused\n", path.c_str());
        return nullptr;
    }
    std::string missing = describe_missing(read_module_layout(file.bytes));
    if (!missing.empty()) {
        std::fprintf(stderr, "xmplay: warning: %s is cut short after %zu bytes: %s missing; playing what is there\n",
                     path.c_str(), file.bytes.size(), missing.c_str());
    }
    return song;
}
