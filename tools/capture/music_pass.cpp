// The sound of the capture and the positions the pictures follow: the song
// rendered once from the start of play through the output stream's own block
// renderer, so the PCM is what the device would have played and every
// block's snapshot is the one the demo's frames would have read.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/capture/capture.h"

namespace {

bool fail(std::string* error, const std::string& text) {
    *error = text;
    return false;
}

// Writes the final header and cuts the file at `audio_frames` frames: the
// last block rendered usually runs past the capture's end.
bool finish_wav(std::FILE* file, int64_t audio_frames) {
    uint8_t header[WAV_HEADER_BYTES];
    const int64_t data_bytes = audio_frames * 4;
    wav_header(header, CAPTURE_RATE, static_cast<uint32_t>(data_bytes));
    if (std::fflush(file) != 0) return false;
    if (ftruncate(fileno(file), static_cast<off_t>(WAV_HEADER_BYTES + data_bytes)) != 0) return false;
    return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

// The capture's end as known so far: the end frame's time when the end has
// been seen, else the limit.
int64_t planned_end_ms(const EndSearch& search, int64_t limit_end_ms) {
    if (search.end_frame < 0) return limit_end_ms;
    int64_t end_ms = demo_frame_ms(search.end_frame);
    return end_ms < limit_end_ms ? end_ms : limit_end_ms;
}

bool render_blocks(std::FILE* file, int64_t limit_end_ms, MusicPlan* plan, EndSearch* search) {
    int64_t frames_rendered = 0;
    while (frames_rendered < audio_frames_before_ms(planned_end_ms(*search, limit_end_ms))) {
        SyncSnapshot snapshot;
        const int16_t* pcm = song_render_next(&snapshot);
        if (pcm == nullptr || !wav_write_pcm(file, pcm, plan->block_frames)) return false;
        plan->snapshots.push_back(snapshot);
        plan->orders.push_back(snapshot.order);
        frames_rendered += plan->block_frames;
        end_search_step(search, plan->orders.data(), static_cast<int64_t>(plan->orders.size()), plan->block_frames);
    }
    return true;
}

}  // namespace

bool render_music(Song* song, int64_t limit_ms, const std::string& wav_path, MusicPlan* plan,
                  std::string* error) {
    plan->snapshots.clear();
    plan->orders.clear();
    SongInfo info;
    plan->channel_count = song_info(song, &info) ? info.channel_count : 0;
    plan->block_frames = 0;
    if (!player_init_offline(CAPTURE_RATE) || !song_render_start(song)) {
        player_close();
        return fail(error, "the player cannot start musik.xm (its tempo gives no frames per tick)");
    }
    errno = 0;
    std::FILE* file = std::fopen(wav_path.c_str(), "wb+");
    if (file == nullptr) {
        std::string reason = std::strerror(errno);
        player_close();
        return fail(error, "cannot write " + wav_path + ": " + reason);
    }
    const uint8_t placeholder[WAV_HEADER_BYTES] = {};
    bool written = std::fwrite(placeholder, 1, sizeof placeholder, file) == sizeof placeholder;
    const int64_t limit_end_ms = limit_ms > 0 ? limit_ms : CAPTURE_MAX_MS;
    plan->block_frames = player_block_frames();
    EndSearch search = end_search_start();
    written = written && render_blocks(file, limit_end_ms, plan, &search);
    song_stop(song);
    player_close();

    plan->end_frame = search.end_frame;
    plan->end_ms = planned_end_ms(search, limit_end_ms);
    plan->audio_frames = audio_frames_before_ms(plan->end_ms);
    written = written && finish_wav(file, plan->audio_frames);
    if (std::fclose(file) != 0) written = false;
    if (!written) {
        std::string reason = errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
        return fail(error, "cannot write " + wav_path + reason);
    }
    if (search.end_frame < 0 && limit_ms <= 0) {
        return fail(error, "the music does not reach order position 8 within an hour; give --seconds");
    }
    return true;
}
