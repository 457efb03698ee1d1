// Fuzz target: the input is read as a TGA file through the reader.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "image/tga.h"

static std::string input_path() {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/korvanti_fuzz_tga_" + std::to_string(getpid()) + ".tga";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = input_path();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);

    Texture texture = {};
    load_tga(&texture, path.c_str());
    if (texture.pixels) {
        // Touch the last byte the reader claims to have written.
        uint64_t bytes = uint64_t(texture.width) * texture.height * (texture.bits_per_pixel / 8);
        volatile uint8_t last = texture.pixels[bytes - 1];
        (void)last;
        std::free(texture.pixels);
    }
    return 0;
}
