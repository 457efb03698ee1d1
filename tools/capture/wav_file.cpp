// 16-bit stereo PCM WAV files, written little-endian whatever the host's order.
#include <cstring>

#include "tools/capture/capture.h"

namespace {

void put_u32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void put_u16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

void wav_header(uint8_t header[WAV_HEADER_BYTES], int32_t rate, uint32_t data_bytes) {
    std::memcpy(header, "RIFF", 4);
    put_u32(header + 4, 36 + data_bytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put_u32(header + 16, 16);
    put_u16(header + 20, 1);  // PCM
    put_u16(header + 22, 2);  // stereo
    put_u32(header + 24, static_cast<uint32_t>(rate));
    put_u32(header + 28, static_cast<uint32_t>(rate) * 4);
    put_u16(header + 32, 4);  // bytes a frame
    put_u16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    put_u32(header + 40, data_bytes);
}

bool wav_write_pcm(std::FILE* file, const int16_t* pcm, int64_t frames) {
    uint8_t bytes[4096];
    const int64_t values = frames * 2;
    for (int64_t at = 0; at < values;) {
        int64_t count = values - at < 2048 ? values - at : 2048;
        for (int64_t i = 0; i < count; ++i) put_u16(bytes + 2 * i, static_cast<uint16_t>(pcm[at + i]));
        if (std::fwrite(bytes, 2, static_cast<size_t>(count), file) != static_cast<size_t>(count)) return false;
        at += count;
    }
    return true;
}
