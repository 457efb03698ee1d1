// Seeking. A seek goes where rendering from the start would be: the play is
// taken from the nearest copy of it at or before the block that holds the
// target frame (the start itself, the play as it stands, or a checkpoint),
// then run block by block without mixing (the voices move as if mixed, so
// every position, ramp and loop is where the render would leave it) up to
// that block, which is rendered whole. What follows is bit for bit the
// render from the start.
//
// Checkpoints are copies of the play taken every `spacing` blocks while a
// player renders, once a first seek has asked for them; when the copies are
// full, every other one goes and the spacing doubles, so a play of any
// length keeps copies spread over all of it.
#include <cstdlib>
#include <cstring>

#include "player/output/player.h"
#include "player/output/song_handle.h"
#include "player/output/song_scan.h"

namespace korvanti {

namespace {

bool allocate_checkpoints(Player* player) {
    Checkpoints& checkpoints = player->checkpoints;
    if (checkpoints.copies != nullptr) return true;
    checkpoints.copies = static_cast<Checkpoint*>(std::calloc(CHECKPOINT_COUNT, sizeof(Checkpoint)));
    checkpoints.count = 0;
    checkpoints.spacing = FIRST_CHECKPOINT_SPACING;
    return checkpoints.copies != nullptr;
}

// Keeps the copies on multiples of twice the spacing.
void thin_checkpoints(Checkpoints* checkpoints) {
    checkpoints->spacing *= 2;
    int32_t kept = 0;
    for (int32_t i = 0; i < checkpoints->count; ++i) {
        if (checkpoints->copies[i].block % checkpoints->spacing != 0) continue;
        if (kept != i) {
            checkpoints->copies[kept].block = checkpoints->copies[i].block;
            std::memcpy(static_cast<void*>(&checkpoints->copies[kept].play), &checkpoints->copies[i].play,
                        sizeof(PlayState));
        }
        ++kept;
    }
    checkpoints->count = kept;
}

// The latest copy at or before `block`; null when there is none.
const Checkpoint* checkpoint_before(const Checkpoints& checkpoints, int64_t block) {
    const Checkpoint* best = nullptr;
    for (int32_t i = 0; i < checkpoints.count; ++i) {
        const Checkpoint& copy = checkpoints.copies[i];
        if (copy.block <= block && (best == nullptr || copy.block > best->block)) best = &copy;
    }
    return best;
}

// The play at the start of `block`, put back, with the ring starting afresh
// there.
void take_up(Player* player, const PlayState* play, int64_t block) {
    play_state_restore(&player->play, play);
    player->next_block = block;
    player->ring_base_block = block;
    player->ring_valid_block = block;
    player->write_block.store(0, std::memory_order_release);
    player->audible_block.store(0, std::memory_order_release);
}

}  // namespace

void checkpoint_offer(Player* player) {
    Checkpoints& checkpoints = player->checkpoints;
    int64_t block = player->next_block;
    if (block == 0 || block % checkpoints.spacing != 0) return;
    if (checkpoints.count > 0 && checkpoints.copies[checkpoints.count - 1].block >= block) return;
    if (checkpoints.count == CHECKPOINT_COUNT) {
        thin_checkpoints(&checkpoints);
        if (block % checkpoints.spacing != 0) return;
    }
    Checkpoint& copy = checkpoints.copies[checkpoints.count];
    copy.block = block;
    std::memcpy(static_cast<void*>(&copy.play), &player->play, sizeof(PlayState));
    checkpoints.count += 1;
}

int seek_to_frame(Player* player, int64_t frame) {
    if (player->handle == nullptr) return KORVANTI_ERROR_STATE;
    if (frame < 0) return KORVANTI_ERROR_RANGE;
    // The passes this play was started with; a play without end goes on
    // past the end of its first pass.
    const int32_t passes = player->play.watch.passes;
    if (passes > 0) {
        int sounds = song_flow_sounds_at(player->handle->song, player->mixing_rate, passes, frame);
        if (sounds < 0) return sounds;
        if (sounds == 0) return KORVANTI_ERROR_RANGE;
    }

    bool live = player->run == StreamRun::LIVE;
    const int64_t target = frame / player->block_frames;
    // Offline, the block rendered last is still whole in the ring.
    if (!live && player->next_block == target + 1 && target >= player->ring_valid_block) {
        player->frame = frame;
        return KORVANTI_OK;
    }
    if (live) stop_live_stream(player);
    allocate_checkpoints(player);  // without them every seek starts further back

    // The play as it stands is the best start when it lies before the target.
    bool from_here = player->next_block <= target;
    const Checkpoint* copy = checkpoint_before(player->checkpoints, target);
    if (copy != nullptr && (!from_here || copy->block > player->next_block)) {
        take_up(player, &copy->play, copy->block);
    } else if (!from_here) {
        play_state_begin(&player->play, player->handle->song, player->mixing_rate, passes);
        take_up(player, &player->play, 0);
    }
    // Only the states of the last block_count blocks up to the target stay
    // in the ring.
    while (player->next_block < target) {
        const int64_t kept_from = target - block_count(player);
        if (player->next_block < kept_from) {
            // Up to the next checkpoint's block or the first kept one.
            const int64_t spacing = player->checkpoints.copies != nullptr ? player->checkpoints.spacing : 0;
            int64_t until = kept_from;
            if (spacing > 0) {
                int64_t due = (player->next_block / spacing + 1) * spacing;
                if (due < until) until = due;
            }
            skip_blocks(player, until - player->next_block);
        } else {
            render_block_as(player, true, true);
        }
    }

    if (live) {
        if (!start_live_stream(player)) {
            player_stop_play(player);
            return KORVANTI_ERROR_DEVICE;
        }
    } else {
        render_block(player, false);
        player->frame = frame;
    }
    return KORVANTI_OK;
}

}  // namespace korvanti
