#include "support/scratch_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <vector>

std::string make_scratch_dir(const char* tag) {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) return "";
    std::string pattern = (base / (std::string("korvanti_") + tag + "_XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return mkdtemp(name.data()) == nullptr ? std::string() : std::string(name.data());
}

void remove_scratch_dir(const std::string& path) {
    if (path.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}
