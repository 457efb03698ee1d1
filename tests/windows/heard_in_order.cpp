#include "heard_in_order.h"

#include <algorithm>

namespace {

// Frames that must agree before a jump is believed: a chance match of 64
// stereo frames of music does not happen.
constexpr int64_t MATCH_FRAMES = 64;
// Unplaced sounding frames are looked for again only this often.
constexpr int64_t SEARCH_STRIDE_FRAMES = 441;

int64_t first_sound(const std::vector<int16_t>& pcm) {
    for (size_t i = 0; i < pcm.size(); ++i) {
        if (pcm[i] != 0) return int64_t(i / 2);
    }
    return -1;
}

bool silent(const std::vector<int16_t>& pcm, int64_t frame) {
    return pcm[size_t(2 * frame)] == 0 && pcm[size_t(2 * frame + 1)] == 0;
}

bool same_run(const std::vector<int16_t>& reference, int64_t at, const std::vector<int16_t>& recorded,
              int64_t recorded_at, int64_t frames) {
    return std::equal(recorded.begin() + 2 * recorded_at, recorded.begin() + 2 * (recorded_at + frames),
                      reference.begin() + 2 * at);
}

// The reference frame in [from, to] where the recording's next frames
// start, or -1.
int64_t find_ahead(const std::vector<int16_t>& reference, int64_t from, int64_t to,
                   const std::vector<int16_t>& recorded, int64_t recorded_at) {
    const int64_t reference_end = int64_t(reference.size() / 2);
    const int64_t recorded_end = int64_t(recorded.size() / 2);
    if (recorded_at + MATCH_FRAMES > recorded_end) return -1;
    to = std::min(to, reference_end - MATCH_FRAMES);
    for (int64_t at = from; at <= to; ++at) {
        if (same_run(reference, at, recorded, recorded_at, MATCH_FRAMES)) return at;
    }
    return -1;
}

}  // namespace

InOrderFigures follow_in_order(const std::vector<int16_t>& reference, const std::vector<int16_t>& recorded,
                               int64_t longest_skip_frames) {
    InOrderFigures figures = {0, 0, 0, 0, 0, 0, -1, -1};
    const int64_t reference_start = first_sound(reference);
    const int64_t recorded_start = first_sound(recorded);
    const int64_t reference_end = int64_t(reference.size() / 2);
    const int64_t recorded_end = int64_t(recorded.size() / 2);
    if (reference_start < 0) return figures;
    figures.reference_frames = reference_end - reference_start;
    if (recorded_start < 0) return figures;
    // Both begin with their first sound: what comes before it is the time
    // the program took to start, and the song's own silence.
    int64_t at = reference_start;
    int64_t recorded_at = recorded_start;
    int64_t next_search = recorded_at;
    while (at < reference_end && recorded_at < recorded_end) {
        if (same_run(reference, at, recorded, recorded_at, 1)) {
            if (figures.heard_frames == 0) figures.start_lost_frames = at - reference_start;
            ++figures.heard_frames;
            figures.last_heard_frame = at;
            ++at;
            ++recorded_at;
            continue;
        }
        if (silent(recorded, recorded_at)) {  // zeros the server put in
            ++figures.inserted_frames;
            ++recorded_at;
            continue;
        }
        int64_t found = recorded_at >= next_search
                            ? find_ahead(reference, at, at + longest_skip_frames, recorded, recorded_at)
                            : -1;
        if (found >= 0) {
            if (found > at) {
                ++figures.skips;
                figures.skipped_frames += found - at;
            }
            at = found;
            continue;
        }
        if (recorded_at >= next_search) next_search = recorded_at + SEARCH_STRIDE_FRAMES;
        ++figures.foreign_frames;
        ++recorded_at;
    }
    return figures;
}

int64_t sounding_frames(const int16_t* pcm, int64_t frames) {
    int64_t count = 0;
    for (int64_t i = 0; i < frames; ++i) {
        if (pcm[2 * i] != 0 || pcm[2 * i + 1] != 0) ++count;
    }
    return count;
}
