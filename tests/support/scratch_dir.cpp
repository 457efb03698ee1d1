#include "support/scratch_dir.h"

#include <filesystem>
#include <random>

std::string make_scratch_dir(const char* tag) {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) return "";
    // A random name, taken only if nobody has it yet (create_directory is
    // atomic): the same guarantee as mkdtemp, on every system.
    std::random_device seed;
    std::mt19937_64 random(static_cast<uint64_t>(seed()) << 32 | seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path path = base / (std::string("korvanti_") + tag + "_" + std::to_string(random()));
        if (std::filesystem::create_directory(path, error)) return path.string();
        if (error) return "";
    }
    return "";
}

void remove_scratch_dir(const std::string& path) {
    if (path.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}
