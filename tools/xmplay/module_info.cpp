// Reading the module file for xmplay's checks, and --info.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "player/module/song.h"
#include "tools/xmplay/xmplay.h"

namespace {

constexpr char XM_SIGNATURE[] = "Extended Module: ";
constexpr size_t XM_SIGNATURE_LENGTH = sizeof XM_SIGNATURE - 1;
constexpr size_t NAME_OFFSET = 17;     // module name, 20 bytes
constexpr size_t TRACKER_OFFSET = 38;  // tracker name, 20 bytes
constexpr size_t NAME_LENGTH = 20;

// A fixed-width text field of the header, without trailing padding.
std::string header_text(const std::string& bytes, size_t offset) {
    if (bytes.size() < offset + NAME_LENGTH) return "";
    std::string text = bytes.substr(offset, NAME_LENGTH);
    size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    }
    return text;
}

}  // namespace

ModuleFile read_module_file(const std::string& path) {
    ModuleFile file{};
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        file.error = "cannot open " + path;
        return file;
    }
    std::ostringstream contents;
    contents << stream.rdbuf();
    if (stream.bad()) {
        file.error = "cannot read " + path;
        return file;
    }
    file.bytes = contents.str();
    file.readable = true;
    return file;
}

bool has_xm_signature(const std::string& bytes) {
    return bytes.compare(0, XM_SIGNATURE_LENGTH, XM_SIGNATURE) == 0;
}

void print_module_info(const Song* song, const std::string& bytes) {
    int32_t samples = 0;
    for (int32_t i = 0; i < song->instrument_count; ++i) samples += song->instruments[i].sample_count;
    std::printf("name:             %s\n", header_text(bytes, NAME_OFFSET).c_str());
    std::printf("tracker:          %s\n", header_text(bytes, TRACKER_OFFSET).c_str());
    std::printf("channels:         %d\n", song->channel_count);
    std::printf("song length:      %d\n", song->song_length);
    std::printf("restart position: %d\n", song->restart_position);
    std::printf("patterns:         %d\n", song->pattern_count);
    std::printf("instruments:      %d\n", song->instrument_count);
    std::printf("samples:          %d\n", samples);
    std::printf("frequency table:  %s\n", (song->flags & SONG_LINEAR_FREQUENCIES) ? "linear" : "Amiga");
    std::printf("tempo:            %d\n", song->default_tempo);
    std::printf("BPM:              %d\n", song->default_bpm);
}
