#include "e2e/sound_check.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "korvanti/player.h"
#include "support/child_process.h"

namespace {

// Below this peak a stretch counts as silent: dither-free 16-bit music that
// is playing rises far above it.
constexpr int SOUND_PEAK = 100;
// Blocks in the player's ring: all rendered before a live play starts.
constexpr int32_t RING_BLOCKS = 100;
// Dropouts longer than this are not looked for: a device that stalls that
// long fails the test anyway.
constexpr double LONGEST_GAP_SECONDS = 2.0;
// After a run of zeros the reference must go on for this many frames (or to
// its end) for the zeros to count as a dropout.
constexpr int64_t GAP_CONFIRM_FRAMES = 32;
// What a dropout may take from the recording after its zeros: what the
// server renders ahead, a few milliseconds.
constexpr double LONGEST_LOSS_SECONDS = 0.05;
// How far into the song's sound the recording's first sound is looked for:
// a server may drop the first milliseconds of a stream as it starts.
constexpr double START_SEARCH_SECONDS = 0.1;
// Frames that must agree for the recording's start to be placed in the
// reference: a chance match of 64 stereo frames of music does not happen.
constexpr int64_t START_MATCH_FRAMES = 64;

int64_t first_sound_frame(const std::vector<int16_t>& pcm) {
    for (size_t i = 0; i < pcm.size(); ++i) {
        if (pcm[i] != 0) return int64_t(i / 2);
    }
    return -1;
}

int64_t last_sound_frame(const std::vector<int16_t>& pcm) {
    for (size_t i = pcm.size(); i > 0; --i) {
        if (pcm[i - 1] != 0) return int64_t((i - 1) / 2);
    }
    return -1;
}

int peak_of(const int16_t* pcm, int64_t frames) {
    int peak = 0;
    for (int64_t i = 0; i < 2 * frames; ++i) peak = std::max(peak, std::abs(int{pcm[i]}));
    return peak;
}

bool silent_frame(const std::vector<int16_t>& pcm, int64_t frame) {
    return pcm[size_t(2 * frame)] == 0 && pcm[size_t(2 * frame + 1)] == 0;
}

bool same_frame(const std::vector<int16_t>& reference, int64_t at, const std::vector<int16_t>& recorded,
                int64_t recorded_at) {
    return reference[size_t(2 * at)] == recorded[size_t(2 * recorded_at)] &&
           reference[size_t(2 * at + 1)] == recorded[size_t(2 * recorded_at + 1)];
}

// The reference frame in [from, to] at which the recording's frames from
// `recorded_at` on agree with the reference, or -1.
int64_t place_in_reference(const std::vector<int16_t>& reference, int64_t from, int64_t to,
                           const std::vector<int16_t>& recorded, int64_t recorded_at) {
    const int64_t reference_frames = int64_t(reference.size() / 2);
    const int64_t recorded_frames = int64_t(recorded.size() / 2);
    for (int64_t at = from; at <= to && at < reference_frames; ++at) {
        const int64_t frames = std::min({START_MATCH_FRAMES, reference_frames - at, recorded_frames - recorded_at});
        bool agree = frames > 0;
        for (int64_t i = 0; i < frames && agree; ++i) agree = same_frame(reference, at + i, recorded, recorded_at + i);
        if (agree) return at;
    }
    return -1;
}

// Follows the reference from frame `from` to `to` through the recording,
// which may hold dropouts: where the device ran dry the server played zeros
// and the sound came that much later, possibly without its first few frames
// (the server took back silence it had rendered ahead, which the monitor had
// already passed on). Fewer frames are lost than the zeros last, so a dropout
// always delays the sound: sound merely replaced by zeros is a difference.
// A dropout begins where the recording is in step: `in_step` tells whether
// the frames before `from` were heard, so that zeros in the place of sound
// are not taken for one from their middle.
// Returns the reference frame reached: `to` or beyond (frames lost in a
// dropout) when all was heard exactly, dropouts aside, else the first frame
// that differs. *offset follows each dropout, which is counted in the figures.
int64_t heard_frames(const std::vector<int16_t>& reference, int64_t from, int64_t to, bool in_step,
                     const std::vector<int16_t>& recorded, int64_t* offset, SoundFigures* figures,
                     int64_t rate) {
    const int64_t longest_gap = int64_t(LONGEST_GAP_SECONDS * double(rate));
    const int64_t longest_loss = int64_t(LONGEST_LOSS_SECONDS * double(rate));
    const int64_t reference_frames = int64_t(reference.size() / 2);
    const int64_t recorded_frames = int64_t(recorded.size() / 2);
    int64_t at = from;
    while (at < to) {
        const int64_t recorded_at = *offset + at;
        if (recorded_at < 0 || recorded_at >= recorded_frames) return at;
        if (same_frame(reference, at, recorded, recorded_at)) {
            ++at;
            continue;
        }
        // A dropout shows as zeros where the reference has sound.
        if ((at == from && !in_step) || !silent_frame(recorded, recorded_at)) return at;
        int64_t gap = 0;
        while (gap <= longest_gap && recorded_at + gap < recorded_frames && silent_frame(recorded, recorded_at + gap)) {
            ++gap;
        }
        if (gap > longest_gap) return at;
        // The sound goes on right after the zeros, from the first frame not lost.
        const int64_t most_lost = std::min(gap - 1, longest_loss);
        int64_t lost = 0;
        for (; lost <= most_lost; ++lost) {
            const int64_t confirm = std::min(GAP_CONFIRM_FRAMES, reference_frames - (at + lost));
            bool goes_on = confirm > 0;
            for (int64_t i = 0; i < confirm && goes_on; ++i) {
                goes_on = recorded_at + gap + i < recorded_frames &&
                          same_frame(reference, at + lost + i, recorded, recorded_at + gap + i);
            }
            if (goes_on) break;
        }
        if (lost > most_lost) return at;
        *offset += gap - lost;
        at += lost;
        ++figures->gaps;
        figures->gap_seconds += double(gap) / double(rate);
        figures->lost_seconds += double(lost) / double(rate);
    }
    return at;
}

}  // namespace

Reference render_reference(const std::string& module_path, int32_t rate, int32_t end_order) {
    Reference reference = {{}, -1, 0, 0, rate};
    korvanti_song* song = korvanti_song_load_file(module_path.c_str(), nullptr);
    korvanti_player* player = song != nullptr ? korvanti_player_create(rate, nullptr) : nullptr;
    // The demo plays on past the song's end.
    if (player != nullptr) korvanti_player_set_passes(player, 0);
    if (player == nullptr || korvanti_player_start(player, song) != KORVANTI_OK) {
        korvanti_player_destroy(player);
        korvanti_song_free(song);
        return reference;
    }
    const int32_t block_frames = korvanti_player_block_frames(player);
    reference.block_frames = block_frames;
    reference.ring_blocks = RING_BLOCKS;
    std::vector<int16_t> pcm(size_t(2 * block_frames));
    const int32_t block_limit = 30 * 60 * rate / block_frames;  // half an hour
    for (int32_t block = 0; block < block_limit; ++block) {
        korvanti_sync_snapshot snapshot = {};
        if (korvanti_player_render(player, pcm.data(), block_frames) != block_frames) break;
        korvanti_player_get_snapshot(player, block, &snapshot);
        reference.pcm.insert(reference.pcm.end(), pcm.begin(), pcm.end());
        if (snapshot.order == end_order) {
            reference.end_block = block;
            break;
        }
    }
    korvanti_player_destroy(player);
    korvanti_song_free(song);
    return reference;
}

double reference_seconds(const Reference& reference) {
    return reference.rate > 0 ? double(reference.pcm.size() / 2) / reference.rate : 0.0;
}

std::vector<int16_t> read_pcm(const std::string& path) {
    std::string bytes = read_whole_file(path);
    std::vector<int16_t> pcm(bytes.size() / 4 * 2);
    if (!pcm.empty()) std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

SoundFigures compare_with_reference(const Reference& reference, const std::vector<int16_t>& recorded) {
    SoundFigures figures = {};
    const int64_t rate = reference.rate;
    const int64_t block = reference.block_frames;
    const int64_t reference_frames = int64_t(reference.pcm.size() / 2);
    const int64_t recorded_frames = int64_t(recorded.size() / 2);
    figures.recorded_seconds = rate > 0 ? double(recorded_frames) / rate : 0.0;
    const int64_t reference_start = first_sound_frame(reference.pcm);
    const int64_t recorded_start = first_sound_frame(recorded);
    figures.reference_sounds = reference_start >= 0;
    figures.recording_sounds = recorded_start >= 0;
    if (!figures.reference_sounds || !figures.recording_sounds || block <= 0) return figures;
    // The recording may lack the song's first milliseconds: it is compared
    // from where its first sound lies in the reference. Found nowhere near the
    // song's start, it is lined up first sound on first sound, and differs.
    const int64_t start = place_in_reference(reference.pcm, reference_start,
                                             reference_start + int64_t(START_SEARCH_SECONDS * double(rate)),
                                             recorded, recorded_start);
    figures.start_lost_frames = start >= 0 ? start - reference_start : -1;
    const int64_t compared_from = start >= 0 ? start : 0;
    int64_t offset = recorded_start - (start >= 0 ? start : reference_start);
    figures.offset = offset;
    figures.first_sound_seconds = double(recorded_start) / rate;
    figures.last_sound_seconds = double(last_sound_frame(recorded) + 1 - offset) / rate;
    figures.reference_last_sound_seconds = double(last_sound_frame(reference.pcm) + 1) / rate;

    // The first ring is rendered before play starts and handed over whole.
    figures.ring_frames = std::min<int64_t>(reference.ring_blocks * block, reference_frames);
    const int64_t ring_reached =
        heard_frames(reference.pcm, compared_from, figures.ring_frames, true, recorded, &offset, &figures, rate);
    figures.ring_exact_frames = std::min(ring_reached, figures.ring_frames);

    // Later blocks come from the feeder while the device plays. A block may
    // begin with frames lost in a dropout at the end of the one before.
    const int64_t blocks_in_reference = reference_frames / block;
    figures.reference_blocks = int(std::max<int64_t>(0, blocks_in_reference - reference.ring_blocks));
    std::vector<int64_t> offsets(size_t(blocks_in_reference), offset);
    int64_t covered = std::max(ring_reached, figures.ring_frames);
    bool in_step = ring_reached >= figures.ring_frames;
    for (int64_t index = reference.ring_blocks; index < blocks_in_reference; ++index) {
        const int64_t at = index * block;
        offsets[size_t(index)] = offset;
        if (offset + at + block > recorded_frames) {
            in_step = false;
            continue;
        }
        ++figures.blocks;
        const int64_t reached = heard_frames(reference.pcm, std::max(at, covered), at + block, in_step, recorded,
                                             &offset, &figures, rate);
        in_step = reached >= at + block;
        if (in_step) ++figures.matching_blocks;
        covered = std::max(reached, at + block);
    }

    // Every second with sound in the reference has sound in the recording.
    for (int64_t second = 0; blocks_in_reference > 0 && (second + 1) * rate <= reference_frames; ++second) {
        const int64_t at = second * rate;
        const int64_t recorded_at = at + offsets[size_t(std::min(at / block, blocks_in_reference - 1))];
        if (recorded_at < 0 || recorded_at + rate > recorded_frames) break;
        if (peak_of(&reference.pcm[size_t(2 * at)], rate) <= SOUND_PEAK) continue;
        ++figures.sounding_seconds;
        if (peak_of(&recorded[size_t(2 * recorded_at)], rate) <= SOUND_PEAK) {
            figures.silent_seconds.push_back(int(second));
        }
    }
    return figures;
}
