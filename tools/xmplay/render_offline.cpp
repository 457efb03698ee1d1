// Offline rendering: the output stream's render_block without a device or a
// thread, block after block, into a WAV file, bare PCM and a snapshot table.
// The blocks come out in the order the device would have been given them, so
// the sound is bit for bit what live play sends.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "player/output/stream.h"
#include "tools/xmplay/xmplay.h"

namespace {

constexpr uint32_t WAV_HEADER_BYTES = 44;
// Playing a song once stops here even when play never comes back to a row it
// has played (pattern loops of several channels can run for ages).
constexpr int64_t ONCE_LIMIT_SECONDS = 2 * 60 * 60;
constexpr uint64_t WAV_DATA_LIMIT = 0xFFFFFFFFull - (WAV_HEADER_BYTES - 8);

constexpr bool LITTLE_ENDIAN_HOST = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
constexpr size_t OUTPUT_BUFFER_BYTES = 1 << 20;

struct Outputs {
    FILE* wav;
    FILE* raw;
    FILE* snapshots;
    bool failed;  // a write went wrong
};

void put_u32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void put_u16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

// RIFF header of 16-bit stereo PCM at `rate` with `data_bytes` of samples.
void wav_header(uint8_t* header, int32_t rate, uint32_t data_bytes) {
    std::memcpy(header, "RIFF", 4);
    put_u32(header + 4, 36 + data_bytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put_u32(header + 16, 16);
    put_u16(header + 20, 1);  // PCM
    put_u16(header + 22, 2);
    put_u32(header + 24, static_cast<uint32_t>(rate));
    put_u32(header + 28, static_cast<uint32_t>(rate) * 4);
    put_u16(header + 32, 4);
    put_u16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    put_u32(header + 40, data_bytes);
}

// Interleaved int16 as little-endian bytes, whatever the host's order.
void write_pcm(FILE* file, const int16_t* pcm, int64_t frames, Outputs* outputs) {
    if constexpr (LITTLE_ENDIAN_HOST) {
        auto values = static_cast<size_t>(frames) * 2;
        if (std::fwrite(pcm, 2, values, file) != values) outputs->failed = true;
        return;
    }
    uint8_t bytes[4096];
    int64_t values = frames * 2;
    for (int64_t at = 0; at < values;) {
        int64_t count = values - at < 2048 ? values - at : 2048;
        for (int64_t i = 0; i < count; ++i) put_u16(bytes + 2 * i, static_cast<uint16_t>(pcm[at + i]));
        if (std::fwrite(bytes, 2, static_cast<size_t>(count), file) != static_cast<size_t>(count)) {
            outputs->failed = true;
        }
        at += count;
    }
}

void write_snapshot(FILE* file, int64_t block, const SyncSnapshot& snapshot, Outputs* outputs) {
    int written = std::fprintf(file, "%" PRId64 " %u %u %" PRId32, block, snapshot.order, snapshot.row,
                               snapshot.elapsed_ms);
    for (int i = 0; i < 32 && written > 0; ++i) {
        int32_t note;
        std::memcpy(&note, reinterpret_cast<const uint8_t*>(&snapshot.channel_notes) + 4 * i, 4);
        written = std::fprintf(file, " %" PRId32, note);
    }
    if (written < 0 || std::fputc('\n', file) == EOF) outputs->failed = true;
}

FILE* open_output(const std::string& path, bool* ok) {
    if (path.empty()) return nullptr;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "xmplay: cannot write %s\n", path.c_str());
        *ok = false;
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IOFBF, OUTPUT_BUFFER_BYTES);  // fewer, larger writes
    return file;
}

bool close_output(FILE* file, const std::string& path) {
    if (file == nullptr) return true;
    if (std::fclose(file) != 0) {
        std::fprintf(stderr, "xmplay: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// Writes the final header over the placeholder.
bool finish_wav(FILE* file, int32_t rate, uint64_t data_bytes) {
    uint8_t header[WAV_HEADER_BYTES];
    wav_header(header, rate, static_cast<uint32_t>(data_bytes));
    return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

bool close_outputs(Outputs* outputs, const XmplayOptions& options, uint64_t data_bytes) {
    bool ok = !outputs->failed;
    if (outputs->wav != nullptr && !finish_wav(outputs->wav, options.rate, data_bytes)) ok = false;
    if (!close_output(outputs->wav, options.wav_path)) ok = false;
    if (!close_output(outputs->raw, options.raw_path)) ok = false;
    if (!close_output(outputs->snapshots, options.snapshots_path)) ok = false;
    if (outputs->failed) std::fprintf(stderr, "xmplay: writing the output failed\n");
    return ok;
}

// Frames of the block just rendered (starting at frame `written`) that belong
// to the output; 0 ends the rendering. Without a target: up to the song's end.
int64_t frames_to_keep(int64_t written, int64_t target) {
    int64_t end = song_end_frame();
    int64_t stop = target >= 0 ? target : end >= 0 ? end : ONCE_LIMIT_SECONDS * mixing_rate;
    int64_t frames = stop - written < block_frames ? stop - written : block_frames;
    return frames < 0 ? 0 : frames;
}

}  // namespace

int render_offline(Song* song, const XmplayOptions& options) {
    song_end_watch(song);
    if (!player_init_offline(options.rate) || !song_render_start(song)) {
        std::fprintf(stderr, "xmplay: the module cannot be played at %d Hz\n", options.rate);
        player_close();
        return EXIT_FAILED;
    }
    bool ok = true;
    Outputs outputs{open_output(options.wav_path, &ok), open_output(options.raw_path, &ok),
                    open_output(options.snapshots_path, &ok), false};
    uint8_t placeholder[WAV_HEADER_BYTES] = {};
    if (ok && outputs.wav != nullptr && std::fwrite(placeholder, 1, sizeof placeholder, outputs.wav) != sizeof placeholder) {
        outputs.failed = true;
    }
    int64_t target = requested_frames(options, block_frames);
    int64_t written = 0;
    bool too_long = false;
    for (int64_t block = 0; ok && !outputs.failed; ++block) {
        SyncSnapshot snapshot;
        const int16_t* pcm = song_render_next(&snapshot);
        int64_t frames = frames_to_keep(written, target);
        if (frames == 0) break;
        if (outputs.wav != nullptr && static_cast<uint64_t>(written + frames) * 4 > WAV_DATA_LIMIT) {
            too_long = true;
            break;
        }
        if (outputs.wav != nullptr) write_pcm(outputs.wav, pcm, frames, &outputs);
        if (outputs.raw != nullptr) write_pcm(outputs.raw, pcm, frames, &outputs);
        if (outputs.snapshots != nullptr) write_snapshot(outputs.snapshots, block, snapshot, &outputs);
        written += frames;
        if (frames < block_frames) break;
    }
    if (ok && target < 0 && song_end_frame() >= 0) {
        std::fprintf(stderr, "xmplay: end of song after %" PRId64 " frames: play returned to order %d row %d\n",
                     written, song_end_order(), song_end_row());
    } else if (ok && target < 0 && !outputs.failed && !too_long) {
        std::fprintf(stderr, "xmplay: no end of song in the first %" PRId64 " s; stopped there (--seconds renders more)\n",
                     ONCE_LIMIT_SECONDS);
    }
    if (too_long) std::fprintf(stderr, "xmplay: stopped at the 4 GB size limit of a WAV file\n");
    ok = close_outputs(&outputs, options, static_cast<uint64_t>(written) * 4) && ok && !too_long;
    song_stop(song);
    player_close();
    return ok ? 0 : EXIT_FAILED;
}
