#include "tools/make_assets/assets.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "tools/make_assets/composition.h"
#include "tools/make_assets/images.h"
#include "tools/make_assets/tga_writer.h"
#include "tools/make_assets/xm_writer.h"

namespace {

bool make_directory(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    std::fprintf(stderr, "make_assets: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr && std::fclose(file) != 0) written = false;
    if (!written) std::fprintf(stderr, "make_assets: cannot write %s\n", path.c_str());
    return written;
}

}  // namespace

std::vector<AssetFile> build_assets() {
    std::vector<AssetFile> files;
    files.push_back({"musik.xm", xm_write(compose_music())});
    for (const NamedImage& image : build_images())
        files.push_back({image.path, tga_encode(image.image, image.run_length)});
    return files;
}

bool write_assets(const std::string& directory) {
    if (!make_directory(directory) || !make_directory(directory + "/Data")) return false;
    for (const AssetFile& file : build_assets())
        if (!write_file(directory + "/" + file.path, file.bytes)) return false;
    return true;
}
