// Compares what a sound device played, as recorded, with the module
// rendered offline through the same block renderer: the demo plays exactly
// the blocks the renderer makes, so the recording holds them bit for bit,
// shifted by when play started and by any dropout where the device ran dry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The module rendered offline up to the first block whose snapshot shows
// the end order.
struct Reference {
    std::vector<int16_t> pcm;  // interleaved stereo up to and including that block
    int32_t end_block;         // index of that block, -1 when never reached (or no module)
    int32_t block_frames;      // frames per block
    int32_t ring_blocks;       // blocks in the ring, all rendered before play starts
    int32_t rate;              // frames per second
};

Reference render_reference(const std::string& module_path, int32_t rate, int32_t end_order);

// Length of the reference in seconds, up to the end of its last block.
double reference_seconds(const Reference& reference);

// Raw interleaved s16le stereo from a file; empty when it cannot be read.
std::vector<int16_t> read_pcm(const std::string& path);

struct SoundFigures {
    double recorded_seconds;      // the whole recording, silence included
    bool reference_sounds;        // the reference holds a sample that is not 0
    bool recording_sounds;        // likewise the recording
    double first_sound_seconds;   // where the recording's first sound lies in it
    int64_t offset;               // recording frame minus reference frame, as lined up
    int64_t start_lost_frames;    // the song's sound before the recording's first sound (lost as the
                                  // stream started); -1 when that sound is not in the song's first 100 ms
    double last_sound_seconds;    // the recording's last sound, in the reference's time
    double reference_last_sound_seconds;  // the reference's own (a song may end quietly)
    int64_t ring_frames;          // frames in the first ring
    int64_t ring_exact_frames;    // the first difference in the ring, or ring_frames: heard exactly from
                                  // the recording's first sound on
    int reference_blocks;         // blocks after the first ring in the reference
    int blocks;                   // of them, compared (the recording reaches them)
    int matching_blocks;          // of those, heard exactly
    int gaps;                     // dropouts: zeros where the device ran dry, the rest coming later
    double gap_seconds;           // the zeros in all
    double lost_seconds;          // sound missing from the recording right after them
    int sounding_seconds;         // whole seconds with sound in the reference that were compared
    std::vector<int> silent_seconds;  // those of them without sound in the recording
};

SoundFigures compare_with_reference(const Reference& reference, const std::vector<int16_t>& recorded);
