#include "scene_assets.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <vector>

Rgb wall_texel(int32_t x, int32_t y) {
    return ((x / WALL_CELL + y / WALL_CELL) % 2 == 0) ? WALL_LIGHT : WALL_DARK;
}

bool in_band(int32_t y) { return y >= BAND_FIRST && y <= BAND_LAST; }

Rgb mask_texel(int32_t x, int32_t y) {
    return (x < PICTURE_SIZE / 2 || in_band(y)) ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
}

Rgb image_texel(int32_t x, int32_t y) {
    if (x >= PICTURE_SIZE / 2) return in_band(y) ? IMAGE_BAND : Rgb{0, 0, 0};
    return y < PICTURE_SIZE / 2 ? IMAGE_TOP : IMAGE_BOTTOM;
}

bool write_tga(const std::string& path, int32_t width, int32_t height, int32_t bits,
               const std::function<Rgb(int32_t, int32_t)>& pixel, uint8_t alpha) {
    std::vector<uint8_t> bytes = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    bytes.insert(bytes.end(), {static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                               static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8),
                               static_cast<uint8_t>(bits), 0});
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const Rgb p = pixel(x, y);
            bytes.insert(bytes.end(), {p.b, p.g, p.r});
            if (bits == 32) bytes.push_back(alpha);
        }
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool write_scene_assets() {
    const auto grey = [](int32_t, int32_t) { return Rgb{128, 128, 128}; };
    const auto floor = [](int32_t x, int32_t y) {
        return ((x + y) / 4) % 2 == 0 ? FLOOR_COLOUR : Rgb{20, 100, 160};
    };
    const bool written =
        write_tga("Data/gul.tga", PICTURE_SIZE, PICTURE_SIZE, 24, wall_texel) &&
        write_tga("Data/mask_alpha.tga", 8, 8, 24, grey) &&
        write_tga("Data/mask_main.tga", 8, 8, 24, grey) &&
        write_tga("Data/mask2.tga", 8, 8, 24, grey) &&
        write_tga("Data/vand.tga", PICTURE_SIZE, PICTURE_SIZE, 24, floor) &&
        write_tga("Data/hud3_mask.tga", PICTURE_SIZE, PICTURE_SIZE, 24, mask_texel) &&
        write_tga("Data/hud3.tga", PICTURE_SIZE, PICTURE_SIZE, 24, image_texel) &&
        write_tga("Data/code_mask.tga", 16, 16, 24, grey) &&
        write_tga("Data/code.tga", 16, 16, 32, grey);
    return written;
}

std::string enter_scene_asset_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "scenes-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return "";
    const std::string root = name.data();
    std::error_code error;
    std::filesystem::create_directory(root + "/Data", error);
    if (error || chdir(root.c_str()) != 0) return "";

    return write_scene_assets() ? root : "";
}

void leave_scene_asset_dir(const std::string& root) {
    if (root.empty()) return;
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(root).parent_path(), error);
    std::filesystem::remove_all(root, error);
}
