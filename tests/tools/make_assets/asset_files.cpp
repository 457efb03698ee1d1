#include "asset_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

const std::vector<AssetFile>& generated_assets() {
    static const std::vector<AssetFile> files = build_assets();
    return files;
}

const AssetFile& generated_file(const std::string& path) {
    for (const AssetFile& file : generated_assets())
        if (file.path == path) return file;
    ADD_FAILURE() << "no generated file " << path;
    static const AssetFile none{};
    return none;
}

std::string make_temporary_directory(const char* tag) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string("korvanti_") + tag + "_XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = mkdtemp(buffer.data());
    return made == nullptr ? std::string() : std::string(made);
}
