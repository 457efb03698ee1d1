// Everything make_assets writes into a run directory: "musik.xm" and the
// nine pictures under "Data/".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AssetFile {
    std::string path;            // relative to the run directory
    std::vector<uint8_t> bytes;  // the whole file
};

// The ten files, music first, then the pictures in texture-slot order. The
// same bytes on every call.
std::vector<AssetFile> build_assets();

// Writes the files under `directory`, creating it and its "Data" folder when
// missing. False, with a line on standard error, when something cannot be
// written.
bool write_assets(const std::string& directory);
