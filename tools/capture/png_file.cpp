// 8-bit RGB PNG files: one IDAT of zlib data, every row with filter 0.
// Compression is zlib's fastest level: a two-minute capture has thousands of
// frames, and mostly black pictures shrink well even so.
#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "tools/capture/capture.h"

namespace {

void put_u32_big(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// Length, type, data, CRC over type and data.
bool write_chunk(std::FILE* file, const char* type, const uint8_t* data, uint32_t length) {
    uint8_t head[8];
    put_u32_big(head, length);
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
    if (length > 0) crc = crc32(crc, data, length);
    uint8_t tail[4];
    put_u32_big(tail, static_cast<uint32_t>(crc));
    return std::fwrite(head, 1, 8, file) == 8 &&
           (length == 0 || std::fwrite(data, 1, length, file) == length) &&
           std::fwrite(tail, 1, 4, file) == 4;
}

}  // namespace

bool write_png(const std::string& path, const uint8_t* rgb, int32_t width, int32_t height,
               std::vector<uint8_t>* scratch) {
    const size_t row_bytes = static_cast<size_t>(width) * 3;
    const size_t raw_bytes = (row_bytes + 1) * static_cast<size_t>(height);
    const uLong bound = compressBound(static_cast<uLong>(raw_bytes));
    scratch->resize(raw_bytes + bound);
    uint8_t* raw = scratch->data();
    uint8_t* packed = raw + raw_bytes;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = raw + static_cast<size_t>(y) * (row_bytes + 1);
        row[0] = 0;  // filter: none
        std::memcpy(row + 1, rgb + static_cast<size_t>(y) * row_bytes, row_bytes);
    }
    uLongf packed_bytes = bound;
    if (compress2(packed, &packed_bytes, raw, static_cast<uLong>(raw_bytes), Z_BEST_SPEED) != Z_OK) return false;

    uint8_t header[13];
    put_u32_big(header, static_cast<uint32_t>(width));
    put_u32_big(header + 4, static_cast<uint32_t>(height));
    header[8] = 8;   // bits per channel
    header[9] = 2;   // colour type: RGB
    header[10] = 0;  // deflate
    header[11] = 0;  // adaptive filtering
    header[12] = 0;  // no interlace
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(signature, 1, 8, file) == 8 && write_chunk(file, "IHDR", header, 13) &&
              write_chunk(file, "IDAT", packed, static_cast<uint32_t>(packed_bytes)) &&
              write_chunk(file, "IEND", nullptr, 0);
    return std::fclose(file) == 0 && ok;
}
