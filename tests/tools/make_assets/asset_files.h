// The generated files, built once per test program.
#pragma once

#include <string>
#include <vector>

#include "tools/make_assets/assets.h"

const std::vector<AssetFile>& generated_assets();
const AssetFile& generated_file(const std::string& path);  // fails the test when missing

// A fresh empty directory under the system's temporary folder.
std::string make_temporary_directory(const char* tag);
