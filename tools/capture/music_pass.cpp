// The sound of the capture and the positions the pictures follow: the song
// rendered once from the start of play, block by block, on a player without
// a device and without an end, as the demo plays it, so the PCM is what the
// device would have played and every block's snapshot is the one the demo's
// frames would have read.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

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

bool render_blocks(korvanti_player* player, std::FILE* file, int64_t limit_end_ms, MusicPlan* plan,
                   EndSearch* search) {
    int64_t frames_rendered = 0;
    std::vector<int16_t> pcm(static_cast<size_t>(plan->block_frames) * 2);
    while (frames_rendered < audio_frames_before_ms(planned_end_ms(*search, limit_end_ms))) {
        korvanti_sync_snapshot snapshot;
        int64_t block = static_cast<int64_t>(plan->snapshots.size());
        if (korvanti_player_render(player, pcm.data(), plan->block_frames) != plan->block_frames ||
            korvanti_player_get_snapshot(player, block, &snapshot) != KORVANTI_OK ||
            !wav_write_pcm(file, pcm.data(), plan->block_frames)) {
            return false;
        }
        plan->snapshots.push_back(snapshot);
        plan->orders.push_back(snapshot.order);
        frames_rendered += plan->block_frames;
        end_search_step(search, plan->orders.data(), static_cast<int64_t>(plan->orders.size()), plan->block_frames);
    }
    return true;
}

}  // namespace

bool render_music(korvanti_song* song, int64_t limit_ms, const std::string& wav_path, MusicPlan* plan,
                  std::string* error) {
    plan->snapshots.clear();
    plan->orders.clear();
    korvanti_song_info info;
    plan->channel_count = korvanti_song_get_info(song, &info) == KORVANTI_OK ? static_cast<int16_t>(info.channel_count) : 0;
    plan->block_frames = 0;
    int result = KORVANTI_OK;
    korvanti_player* player = korvanti_player_create(CAPTURE_RATE, &result);
    // The demo's music plays on past the song's end.
    if (player != nullptr) korvanti_player_set_passes(player, 0);
    if (player != nullptr) result = korvanti_player_start(player, song);
    if (result != KORVANTI_OK) {
        korvanti_player_destroy(player);
        return fail(error, std::string("the player cannot start musik.xm: ") + korvanti_error_message(result));
    }
    errno = 0;
    std::FILE* file = std::fopen(wav_path.c_str(), "wb+");
    if (file == nullptr) {
        std::string reason = std::strerror(errno);
        korvanti_player_destroy(player);
        return fail(error, "cannot write " + wav_path + ": " + reason);
    }
    const uint8_t placeholder[WAV_HEADER_BYTES] = {};
    bool written = std::fwrite(placeholder, 1, sizeof placeholder, file) == sizeof placeholder;
    const int64_t limit_end_ms = limit_ms > 0 ? limit_ms : CAPTURE_MAX_MS;
    plan->block_frames = korvanti_player_block_frames(player);
    EndSearch search = end_search_start();
    written = written && render_blocks(player, file, limit_end_ms, plan, &search);
    korvanti_player_destroy(player);

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
