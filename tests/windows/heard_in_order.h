// Follows the music through a recording that may skip: some sound servers
// (Wine's PulseAudio driver among them) catch up after a dropout by
// dropping what should have played meanwhile, so the recording holds the
// reference's frames bit for bit and in order, with pieces left out and
// zeros put in.
#pragma once

#include <cstdint>
#include <vector>

struct InOrderFigures {
    int64_t reference_frames;  // from the reference's first sound to its end
    int64_t heard_frames;      // of them, found in the recording in order
    int skips;                 // places where the recording jumps ahead
    int64_t skipped_frames;    // reference frames left out at those places
    int64_t foreign_frames;    // sounding recorded frames found nowhere near
    int64_t inserted_frames;   // zeros put in where the music was due (dropouts)
    int64_t last_heard_frame;  // the last reference frame heard, -1 for none
    int64_t start_lost_frames; // reference frames before the first one heard, -1 for none
};

// `reference` and `recorded` are interleaved stereo. Jumps ahead of up to
// `longest_skip_frames` are looked for.
InOrderFigures follow_in_order(const std::vector<int16_t>& reference, const std::vector<int16_t>& recorded,
                               int64_t longest_skip_frames);

// Sounding (not all-zero) frames among `frames` interleaved stereo frames:
// how much of the music a recording holds, whatever zeros dropouts put in.
int64_t sounding_frames(const int16_t* pcm, int64_t frames);
