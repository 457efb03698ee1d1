// A folder of its own for a test that writes files. ctest runs every case as
// its own process, several at once: fixed names under the shared temporary
// folder would be written and removed by other cases mid-test.
#pragma once

#include <string>

// A fresh empty folder under the system's temporary folder, named after
// `tag`; empty when it cannot be made.
std::string make_scratch_dir(const char* tag);
// Removes the folder and everything in it; harmless for an empty path.
void remove_scratch_dir(const std::string& path);
