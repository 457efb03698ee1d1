#include "asset_files.h"

#include <gtest/gtest.h>

#include "support/scratch_dir.h"

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

std::string make_temporary_directory(const char* tag) { return make_scratch_dir(tag); }
