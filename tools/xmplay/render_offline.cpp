// Offline rendering: a player without a device renders the song block by
// block (each block's frames asked for at once, so each has its snapshot)
// into a WAV file, bare PCM and a snapshot table. The frames are bit for bit
// what live play sends the device.
//
// A WAV file starts with a plain 44-byte header. When the output can be
// rewound (a regular file) the header is written again at the end with the
// real sizes; on a pipe it stays as first written, with the largest sizes,
// which stream readers take as "until the end of the data". The PCM after
// the header is the same bytes either way.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/terminal.h"
#include "tools/xmplay/xmplay.h"

namespace {

constexpr uint32_t WAV_HEADER_BYTES = 44;
constexpr uint64_t WAV_DATA_LIMIT = 0xFFFFFFFFull - (WAV_HEADER_BYTES - 8);
constexpr uint32_t STREAM_SIZE = 0xFFFFFFFFu;  // a stream's RIFF and data sizes

constexpr bool LITTLE_ENDIAN_HOST = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
constexpr size_t OUTPUT_BUFFER_BYTES = 1 << 20;

// One output file and the first thing that went wrong with it.
struct Output {
    const char* option;  // "--wav", for messages
    std::string path;    // empty: not asked for; "-": standard output
    FILE* file;
    bool seekable;
    long start;          // where the output began in the file (standard output may be past 0)
    std::string error;   // empty while all is well
};

struct Outputs {
    Output wav;
    Output raw;
    Output snapshots;
};

void put_u32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void put_u16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

// RIFF header of 16-bit stereo PCM at `rate`; sizes as given.
void wav_header(uint8_t* header, int32_t rate, uint32_t riff_bytes, uint32_t data_bytes) {
    std::memcpy(header, "RIFF", 4);
    put_u32(header + 4, riff_bytes);
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

// Keeps the first failure of an output, in the system's words.
void note_failure(Output* output) {
    if (!output->error.empty()) return;
    output->error = errno != 0 ? std::strerror(errno) : "write failed";
}

void write_bytes(Output* output, const void* bytes, size_t count) {
    if (output->file == nullptr || !output->error.empty()) return;
    errno = 0;
    if (std::fwrite(bytes, 1, count, output->file) != count) note_failure(output);
}

// Interleaved int16 as little-endian bytes, whatever the host's order.
void write_pcm(Output* output, const int16_t* pcm, int64_t frames) {
    if (output->file == nullptr) return;
    if constexpr (LITTLE_ENDIAN_HOST) {
        write_bytes(output, pcm, static_cast<size_t>(frames) * 4);
        return;
    }
    uint8_t bytes[4096];
    int64_t values = frames * 2;
    for (int64_t at = 0; at < values;) {
        int64_t count = values - at < 2048 ? values - at : 2048;
        for (int64_t i = 0; i < count; ++i) put_u16(bytes + 2 * i, static_cast<uint16_t>(pcm[at + i]));
        write_bytes(output, bytes, static_cast<size_t>(count) * 2);
        at += count;
    }
}

void write_snapshot(Output* output, int64_t block, const korvanti_sync_snapshot& snapshot) {
    if (output->file == nullptr) return;
    char line[512];
    int length = std::snprintf(line, sizeof line, "%" PRId64 " %u %u %" PRId32, block, snapshot.order, snapshot.row,
                               snapshot.elapsed_ms);
    for (int i = 0; i < 32; ++i) {
        int32_t note;
        std::memcpy(&note, reinterpret_cast<const uint8_t*>(&snapshot.channel_notes) + 4 * i, 4);
        length += std::snprintf(line + length, sizeof line - static_cast<size_t>(length), " %" PRId32, note);
    }
    line[length++] = '\n';
    write_bytes(output, line, static_cast<size_t>(length));
}

// False, with the reason on standard error, when the file cannot be made.
bool open_output(Output* output) {
    if (output->path.empty()) return true;
    bool binary = output->option != std::string("--snapshots");
    if (output->path == "-" && binary && terminal_is_terminal(stdout)) {
        std::fprintf(stderr, "xmplay: %s - writes sound to standard output, which is a terminal; send it to a file or a pipe\n",
                     output->option);
        return false;
    }
    errno = 0;
    output->file = output->path == "-" ? stdout : std::fopen(output->path.c_str(), "wb");
    if (output->file == nullptr) {
        std::fprintf(stderr, "xmplay: cannot write %s: %s\n", output->path.c_str(), std::strerror(errno));
        return false;
    }
    output->seekable = file_is_seekable(output->file);
    output->start = output->seekable ? std::ftell(output->file) : 0;
    if (output->start < 0) output->seekable = false;
    std::setvbuf(output->file, nullptr, _IOFBF, OUTPUT_BUFFER_BYTES);  // fewer, larger writes
    return true;
}

// The final sizes over the first header, where the file can be rewound.
void finish_wav(Output* wav, int32_t rate, uint64_t data_bytes) {
    if (wav->file == nullptr || !wav->seekable || !wav->error.empty()) return;
    uint8_t header[WAV_HEADER_BYTES];
    auto data = static_cast<uint32_t>(data_bytes);
    wav_header(header, rate, data + (WAV_HEADER_BYTES - 8), data);
    errno = 0;
    if (std::fseek(wav->file, wav->start, SEEK_SET) != 0) {
        note_failure(wav);
        return;
    }
    write_bytes(wav, header, sizeof header);
}

// Flushes and closes; false, with the reason on standard error, when any
// write of the output failed.
bool close_output(Output* output) {
    if (output->file == nullptr) return true;
    errno = 0;
    if (std::fflush(output->file) != 0) note_failure(output);
    if (output->file != stdout) {
        errno = 0;
        if (std::fclose(output->file) != 0) note_failure(output);
    }
    output->file = nullptr;
    if (output->error.empty()) return true;
    const char* name = output->path == "-" ? "standard output" : output->path.c_str();
    std::fprintf(stderr, "xmplay: cannot write %s (%s): %s\n", name, output->option, output->error.c_str());
    return false;
}

bool any_failed(const Outputs& outputs) {
    return !outputs.wav.error.empty() || !outputs.raw.error.empty() || !outputs.snapshots.error.empty();
}

// Tells how the render ended: at the song's end, or at the pass limit.
void report_end(korvanti_player* player, int64_t written, int64_t target) {
    korvanti_song_end end;
    bool ended = korvanti_player_get_end(player, &end) == KORVANTI_OK;
    if (ended && end.returns && (target < 0 || written < target)) {
        std::fprintf(stderr, "xmplay: end of song after %" PRId64 " frames: play returned to order %d row %d\n",
                     written, end.order, end.row);
    } else if (target < 0) {
        std::fprintf(stderr, "xmplay: no end of song in the first %" PRId64 " s; stopped there (--seconds renders more)\n",
                     ONCE_LIMIT_SECONDS);
    }
}

// Samples at the limits of 16 bits, where the player clips, where they lie,
// and the largest magnitude of the pieces that did not clip.
struct Stretch {
    int64_t first_frame;  // from the song's start
    int64_t frames;
};
struct ClipCount {
    int64_t clipped;               // values at 32767 or -32768
    int64_t values;                // all values, two a frame
    int32_t unclipped_peak;        // largest magnitude in the pieces without a clipped value
    std::vector<Stretch> clipped_stretches;  // the pieces with one, joined where they touch
};

void count_clips(ClipCount* count, const int16_t* pcm, int64_t frames, int64_t first_frame) {
    // Branch-free in 16-bit lanes, so the compiler runs it on whole vectors:
    // it sees every value of every render. A piece is at most a block, so
    // its count fits 16 bits.
    uint16_t clipped_here = 0;
    int16_t lowest = 0, highest = 0;
    for (int64_t i = 0; i < frames * 2; ++i) {
        int16_t value = pcm[i];
        clipped_here = static_cast<uint16_t>(clipped_here + ((value == INT16_MAX) | (value == INT16_MIN)));
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    const int64_t clipped = clipped_here;
    const int32_t peak = std::max(int32_t{highest}, -int32_t{lowest});
    count->clipped += clipped;
    count->values += frames * 2;
    if (clipped == 0) {
        count->unclipped_peak = std::max(count->unclipped_peak, peak);
        return;
    }
    std::vector<Stretch>& stretches = count->clipped_stretches;
    if (!stretches.empty() && stretches.back().first_frame + stretches.back().frames == first_frame) {
        stretches.back().frames += frames;
    } else {
        stretches.push_back(Stretch{first_frame, frames});
    }
}

// The player's own gain at `db`, as it holds it: a float.
double applied_gain(double db) { return static_cast<double>(static_cast<float>(std::pow(10.0, db / 20.0))); }

// A player set up as the options say, at `gain_db`, started at the options'
// start point; null, with a line on standard error, when it cannot be.
korvanti_player* start_player(korvanti_song* song, const XmplayOptions& options, double gain_db,
                              const std::string& path) {
    int error = KORVANTI_OK;
    korvanti_player* player = korvanti_player_create(options.rate, &error);
    if (player != nullptr) korvanti_player_set_passes(player, options.passes);
    XmplayOptions settings = options;
    settings.gain_db = gain_db;
    if (player != nullptr && (!use_mixer(player, options) || !apply_output_options(player, settings))) {
        korvanti_player_destroy(player);
        return nullptr;
    }
    if (player != nullptr) error = korvanti_player_start(player, song);
    if (player == nullptr || error != KORVANTI_OK) {
        std::fprintf(stderr, "xmplay: the module cannot be played at %d Hz: %s\n", options.rate,
                     korvanti_error_message(error));
        korvanti_player_destroy(player);
        return nullptr;
    }
    if (!seek_to_start(player, song, options, path)) {
        korvanti_player_destroy(player);
        return nullptr;
    }
    return player;
}

// Renders up to `target` frames (-1: to the end of the play) from where the
// player stands, in pieces that never cross a block's end, so each piece
// belongs to one block: sink(pcm, frames, first_frame) for each, the frame
// counted from the song's start; false from the sink stops. The frames
// rendered.
template <typename Sink>
int64_t render_stretch(korvanti_player* player, int64_t target, std::vector<int16_t>* pcm, Sink sink) {
    const int32_t block_frames = korvanti_player_block_frames(player);
    pcm->resize(static_cast<size_t>(block_frames) * 2);
    korvanti_position position;
    int64_t at = korvanti_player_get_position(player, &position) == KORVANTI_OK ? position.frame : 0;
    int64_t written = 0;
    for (;;) {
        int64_t wanted = block_frames - at % block_frames;
        if (target >= 0 && target - written < wanted) wanted = target - written;
        int64_t frames = wanted > 0 ? korvanti_player_render(player, pcm->data(), wanted) : 0;
        if (frames <= 0) break;
        if (!sink(pcm->data(), frames, at)) break;
        written += frames;
        at += frames;
        if (frames < wanted) break;
    }
    return written;
}

// The largest magnitude of the pieces that clipped, rendered again at `db`,
// a gain low enough for them not to clip: the player seeks from piece to
// piece, mixing nothing in between. -1 when they clip even so.
int32_t clipped_peak_at(korvanti_song* song, const XmplayOptions& options, const std::string& path,
                        const std::vector<Stretch>& stretches, double db) {
    korvanti_player* player = start_player(song, options, db, path);
    if (player == nullptr) return -1;
    std::vector<int16_t> pcm;
    ClipCount count = {0, 0, 0, {}};
    for (const Stretch& stretch : stretches) {
        if (korvanti_player_seek_frame(player, stretch.first_frame) != KORVANTI_OK) continue;
        render_stretch(player, stretch.frames, &pcm, [&](const int16_t* frames, int64_t frame_count, int64_t first) {
            count_clips(&count, frames, frame_count, first);
            return true;
        });
    }
    korvanti_player_destroy(player);
    return count.clipped == 0 ? count.unclipped_peak : -1;
}

// The highest gain, to a tenth of a decibel below, that clips nothing. The
// player's gain scales the mix before it is rounded, so a value v at gain g
// came from a mix of at most (|v| + 0.5) / g: the pieces that did not clip
// tell it from the render itself, those that did from a render of them alone
// at a gain low enough, and any gain under 32766 over the largest such mix
// keeps every value under 32767 in magnitude, with room for the rounding of
// the gain itself. False when even the player's lowest gain clips.
bool gain_avoiding_clips(korvanti_song* song, const XmplayOptions& options, const std::string& path,
                         const ClipCount& count, double* db) {
    constexpr double LOWEST_GAIN_DB = -100.0;
    constexpr double STEP_DB = 40.0;  // leaves the peak some 330 steps of precision, or more
    double mix_peak = (count.unclipped_peak + 0.5) / applied_gain(options.gain_db);
    for (double low = options.gain_db - STEP_DB;; low -= STEP_DB) {
        if (low < LOWEST_GAIN_DB) low = LOWEST_GAIN_DB;
        int32_t peak = clipped_peak_at(song, options, path, count.clipped_stretches, low);
        if (peak >= 0) {
            mix_peak = std::max(mix_peak, (peak + 0.5) / applied_gain(low));
            *db = std::floor(200.0 * std::log10(32766.0 / mix_peak)) / 10.0;
            return true;
        }
        if (low <= LOWEST_GAIN_DB) return false;
    }
}

void report_clips(korvanti_song* song, const XmplayOptions& options, const std::string& path,
                  const ClipCount& count) {
    if (count.clipped == 0) {
        std::fprintf(stderr, "xmplay: no sample clipped\n");
        return;
    }
    std::fprintf(stderr, "xmplay: %" PRId64 " of %" PRId64 " samples clipped (at 32767 or -32768)", count.clipped,
                 count.values);
    double db = 0.0;
    if (gain_avoiding_clips(song, options, path, count, &db)) {
        std::fprintf(stderr, "; --gain %.1f avoids it\n", db);
    } else {
        std::fprintf(stderr, "; no gain avoids it\n");
    }
}

}  // namespace

int render_offline(korvanti_song* song, const XmplayOptions& options, const std::string& path) {
    korvanti_player* player = start_player(song, options, options.gain_db, path);
    if (player == nullptr) return EXIT_FAILED;
    Outputs outputs{{"--wav", options.wav_path, nullptr, false, 0, ""},
                    {"--raw", options.raw_path, nullptr, false, 0, ""},
                    {"--snapshots", options.snapshots_path, nullptr, false, 0, ""}};
    bool opened = open_output(&outputs.wav) && open_output(&outputs.raw) && open_output(&outputs.snapshots);
    if (opened && outputs.wav.file != nullptr) {
        uint8_t header[WAV_HEADER_BYTES];
        wav_header(header, options.rate, STREAM_SIZE, STREAM_SIZE);
        write_bytes(&outputs.wav, header, sizeof header);
    }
    const int32_t block_frames = korvanti_player_block_frames(player);
    std::vector<int16_t> pcm(static_cast<size_t>(block_frames) * 2);
    int64_t target = requested_frames(options, block_frames);
    int64_t written = 0;
    bool too_long = false;
    ClipCount clips = {0, 0, 0, {}};
    if (opened) {
        render_stretch(player, target, &pcm, [&](const int16_t* frames, int64_t count, int64_t first_frame) {
            if (any_failed(outputs)) return false;
            if (outputs.wav.file != nullptr && static_cast<uint64_t>(written + count) * 4 > WAV_DATA_LIMIT) {
                too_long = true;
                return false;
            }
            write_pcm(&outputs.wav, frames, count);
            write_pcm(&outputs.raw, frames, count);
            count_clips(&clips, frames, count, first_frame);
            const int64_t block = first_frame / block_frames;
            korvanti_sync_snapshot snapshot;
            if (korvanti_player_get_snapshot(player, block, &snapshot) == KORVANTI_OK) {
                write_snapshot(&outputs.snapshots, block, snapshot);
            }
            written += count;
            return true;
        });
    }
    finish_wav(&outputs.wav, options.rate, static_cast<uint64_t>(written) * 4);
    bool ok = opened;
    for (Output* output : {&outputs.wav, &outputs.raw, &outputs.snapshots}) ok = close_output(output) && ok;
    if (ok && too_long) std::fprintf(stderr, "xmplay: stopped at the 4 GB size limit of a WAV file\n");
    if (ok && !too_long) report_end(player, written, target);
    korvanti_player_destroy(player);
    if (ok && !too_long) report_clips(song, options, path, clips);
    return ok && !too_long ? 0 : EXIT_FAILED;
}
