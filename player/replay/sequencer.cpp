// The replay's clock: one call of sequencer_tick is one tick. The first tick
// of a row reads the row's cells (process_row); the others run the effect
// updates (process_later_tick). Both go through the channels in order, each
// channel's note, effects, auto-vibrato and voice update in turn. Then the
// tick counter moves on, and when the row's speed + pattern_delay_ticks ticks
// are over the position moves to the next row, or wherever B, D or E6 send it.
//
// Position safety: `order` only ever takes values below song_length (at most
// 256), and a row outside its pattern reads as a row of empty cells, so
// nothing is read outside `orders` or a pattern's cells whatever the module
// holds.
#include "player/replay/sequencer.h"

#include <climits>

#include "player/module/song.h"
#include "player/replay/effects.h"
#include "player/replay/play_state.h"
#include "player/replay/voice_update.h"

namespace korvanti {

namespace {

constexpr float TEMPO_FACTOR = 0.4f;
constexpr float MILLISECONDS = 0.001f;

// An order position to continue at when play runs past the last one.
int32_t restart_order(const Song* song) {
    if (song->restart_position < 0 || song->restart_position >= song->song_length) {
        return 0;  // a restart position outside the song would name no pattern
    }
    return song->restart_position;
}

// B: position jump.
void position_jump(PlayState* play, uint8_t param) {
    play->next_row = 0;
    play->next_order = param < play->song->song_length ? param : 0;
    play->row_flow.position_jump = true;
}

// D: pattern break; the nibbles are read as tens and units even when above 9.
void pattern_break(PlayState* play, uint8_t param) {
    int32_t target = (param >> 4) * 10 + (param & 15);
    play->next_row = target > 63 ? 0 : target;
    if (!play->row_flow.position_jump) {
        play->next_order = play->order + 1;
    }
    if (play->next_order >= play->song->song_length) {
        play->next_order = 0;  // a break on the last order position wraps to 0
    }
    play->row_flow.pattern_break = true;
}

// E6x: pattern loop, per channel; the last channel that asks to loop wins.
void pattern_loop(PlayState* play, Channel* channel, uint8_t count) {
    if (count == 0) {
        channel->loop_row = play->row;
        return;
    }
    if (channel->loop_count == 0) {
        channel->loop_count = count;
    } else {
        channel->loop_count -= 1;
    }
    if (channel->loop_count != 0) {
        play->row_flow.has_loop_target = true;
        play->row_flow.loop_target = channel->loop_row;
    }
}

// First-tick part of B, D, E6, EE and F; false for every other effect.
bool flow_effect(PlayState* play, Channel* channel, const NoteCell& cell) {
    uint8_t x = cell.param >> 4;
    uint8_t y = cell.param & 15;
    switch (cell.effect) {
        case EFFECT_POSITION_JUMP: position_jump(play, cell.param); return true;
        case EFFECT_PATTERN_BREAK: pattern_break(play, cell.param); return true;
        case EFFECT_SET_SPEED_OR_BPM:
            if (cell.param < 32) {
                play->speed = cell.param;
            } else {
                set_tempo(play, cell.param);
            }
            return true;
        case EFFECT_EXTENDED:
            if (x == EXTENDED_PATTERN_LOOP) {
                pattern_loop(play, channel, y);
                return true;
            }
            if (x == EXTENDED_PATTERN_DELAY) {
                play->pattern_delay_ticks = play->speed * y;
                return true;
            }
            return false;
        default: return false;
    }
}

// Latch, start, reset, volume column, key off, envelopes: the part of a row
// every cell goes through before its effect.
void start_channel_row(PlayState* play, int32_t index, Channel* channel, const NoteCell& cell,
                       ChannelSource* source) {
    bool porta_row = cell.effect == EFFECT_TONE_PORTAMENTO || cell.effect == EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE;
    bool has_note = cell.note != NOTE_NONE && cell.note != NOTE_KEY_OFF;
    if (cell.instrument != 0 && !porta_row) channel->instrument = cell.instrument - 1;
    if (has_note && !porta_row) channel->note = cell.note - 1;
    *source = channel_choose_sample(channel, play->song);
    const Sample* sample = source->sample;

    // A tremolo that has just ended leaves its last offset in the volume.
    if (channel->last_effect == EFFECT_TREMOLO && cell.effect != EFFECT_TREMOLO) {
        channel->volume += channel->volume_delta;
    }
    channel->last_effect = cell.effect;
    channel->volume_delta = 0;
    channel->update_flags = 0;
    play->channel_notes[index] = 0;

    if (has_note) {
        play->channel_notes[index] = 1;
        channel->real_note = static_cast<uint8_t>(cell.note + sample->relative_note - 1);
        int8_t finetune = sample_finetune(play, sample);
        channel->note_period = (play->song->flags & SONG_LINEAR_FREQUENCIES)
                                   ? linear_period(channel->real_note, finetune)
                                   : amiga_period(channel->real_note, finetune);
        if (!porta_row) channel->period = channel->note_period;
        channel->update_flags = TRIGGER;
    }
    channel->period_delta = 0;
    channel->update_flags |= FREQUENCY | VOLUME;
    if (cell.instrument != 0) reset_channel(channel, sample);
    if (cell.volume != 0) volume_column(channel, cell.volume);
    if (cell.note == NOTE_KEY_OFF || cell.effect == EFFECT_KEY_OFF) channel->released = 1;

    const Instrument* instrument = source->instrument;
    channel_step_envelopes(channel, instrument);
    // Key off silences an instrument without a volume envelope at once.
    if (!(instrument->volume_envelope_flags & ENVELOPE_ON) && channel->released) {
        channel->volume_envelope_value = 0;
    }
    fadeout_step(channel, instrument);
}

// The first tick of a row for one channel.
void channel_row(PlayState* play, int32_t index, Channel* channel, const NoteCell& cell) {
    if (play->flow_only) {
        flow_effect(play, channel, cell);
        return;
    }
    RowStartValues before = {channel->volume, channel->period, channel->panning};
    ChannelSource source;
    start_channel_row(play, index, channel, cell, &source);
    if (!flow_effect(play, channel, cell)) {
        effect_first_tick(play, channel, cell, source, before);
    }
    auto_vibrato(channel, source.instrument);
    update_voice(play, channel, source.sample);
}

// A later tick of a row for one channel.
void channel_later_tick(PlayState* play, Channel* channel, const NoteCell& cell) {
    ChannelSource source = channel_choose_sample(channel, play->song);
    channel->volume_delta = 0;
    channel->period_delta = 0;
    channel->update_flags = 0;
    channel_step_envelopes(channel, source.instrument);
    fadeout_step(channel, source.instrument);
    // The volume column comes first, so the effect sees its result.
    if (cell.volume != 0) volume_column_later(channel, cell.volume);
    effect_later_tick(play, channel, cell, source);
    auto_vibrato(channel, source.instrument);
    update_voice(play, channel, source.sample);
}

// Every channel of the row, in order, on its first tick or a later one.
void process_channels(PlayState* play, bool first_tick) {
    const NoteCell* cells = row_cells(play);
    if (cells == nullptr) return;
    int32_t count = play->song->channel_count;
    for (int32_t c = 0; c < count; ++c) {
        if (first_tick) {
            channel_row(play, c, &play->channels[c], cells[c]);
        } else {
            channel_later_tick(play, &play->channels[c], cells[c]);
        }
    }
}

// Where play goes after the row just processed, when B and D left it open.
void advance_row(PlayState* play) {
    const Song* song = play->song;
    play->next_row = play->row_flow.has_loop_target ? play->row_flow.loop_target : play->row + 1;
    int32_t row_count = 0;
    uint8_t pattern_index = song->orders[play->order];
    if (song->patterns != nullptr && pattern_index < song->pattern_count) {
        row_count = song->patterns[pattern_index].row_count;
    }
    if (play->next_row >= row_count) {
        play->next_order = play->order + 1;
        if (play->next_order >= song->song_length) play->next_order = restart_order(song);
        play->next_row = 0;
    }
}

}  // namespace

void set_tempo(PlayState* play, int32_t bpm) {
    play->bpm = bpm;
    // Below 1 BPM there is no tempo; 1 BPM gives the longest tick.
    double beats = bpm < 1 ? 1.0 : static_cast<double>(bpm);
    double frames = 1000.0 / (beats * static_cast<double>(TEMPO_FACTOR)) *
                    static_cast<double>(play->mixing_rate) * static_cast<double>(MILLISECONDS);
    // The block renderer needs at least one frame per tick.
    if (!(frames >= 1.0)) {
        play->frames_per_tick = 1;
    } else if (frames >= static_cast<double>(INT32_MAX)) {
        play->frames_per_tick = INT32_MAX;
    } else {
        play->frames_per_tick = static_cast<int32_t>(frames);
    }
}

const NoteCell* row_cells(const PlayState* play) {
    static const NoteCell empty_row[CHANNEL_COUNT] = {};
    const Song* song = play->song;
    if (song == nullptr || play->order < 0 || play->order > 255) return nullptr;
    uint8_t pattern_index = song->orders[play->order];
    if (song->patterns == nullptr || pattern_index >= song->pattern_count) return nullptr;
    const Pattern& pattern = song->patterns[pattern_index];
    if (pattern.cells == nullptr) return nullptr;
    // A row outside the pattern (a far D, a loop row from a longer pattern)
    // plays as a row of empty cells.
    if (play->row < 0 || play->row >= pattern.row_count) return empty_row;
    return pattern.cells + static_cast<int64_t>(play->row) * song->channel_count;
}

void process_row(PlayState* play) {
    play->next_order = -1;
    play->next_row = -1;
    play->row_flow = {};
    process_channels(play, true);
}

void process_later_tick(PlayState* play) {
    if (!play->flow_only) process_channels(play, false);
}

void sequencer_tick(PlayState* play) {
    if (play->tick != 0) {
        process_later_tick(play);
    } else {
        if (play->next_order >= 0) play->order = play->next_order;
        if (play->next_row >= 0) play->row = play->next_row;
        // Only reachable from a position set outside the sequencer.
        if (play->order < 0 || play->order > 255) play->order = 0;
        process_row(play);
        if (play->next_row == -1) advance_row(play);
    }
    play->tick += 1;
    if (play->tick >= play->speed + play->pattern_delay_ticks) {
        play->tick = 0;
        play->pattern_delay_ticks = 0;
    }
}

}  // namespace korvanti
