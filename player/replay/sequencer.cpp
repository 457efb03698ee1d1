// The replay's clock: one call of sequencer_tick is one tick. The first tick
// of a row reads the row's cells (process_row); the others run the effect
// updates (process_later_tick). Then the tick counter moves on, and when the
// row's speed + pattern_delay_ticks ticks are over the position moves to the
// next row, or wherever B, D or E6 send it.
//
// Position safety: `order` only ever takes values below song_length (at most
// 256), and a row outside its pattern reads as a row of empty cells, so
// nothing is read outside `orders` or a pattern's cells whatever the module
// holds.
#include "player/replay/sequencer.h"

#include <climits>

#include "player/module/song.h"
#include "player/replay/channel.h"
#include "player/replay/effects.h"
#include "player/replay/mixing_rate.h"
#include "player/replay/voice_update.h"

// The output stream sets it before any song plays.
int32_t mixing_rate = 44100;

namespace {

// What the flow effects of the row being processed decided.
struct RowFlow {
    bool position_jump;     // a B in this row (a later D keeps its order)
    bool has_loop_target;   // an E6x in this row asks to go back
    int32_t loop_target;    // row to go back to, valid with has_loop_target
};

RowFlow row_flow;

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
void position_jump(Song* song, uint8_t param) {
    song->next_row = 0;
    song->next_order = param < song->song_length ? param : 0;
    row_flow.position_jump = true;
}

// D: pattern break; the nibbles are read as tens and units even when above 9.
void pattern_break(Song* song, uint8_t param) {
    int32_t target = (param >> 4) * 10 + (param & 15);
    song->next_row = target > 63 ? 0 : target;
    if (!row_flow.position_jump) {
        song->next_order = song->order + 1;
    }
    if (song->next_order >= song->song_length) {
        song->next_order = 0;  // a break on the last order position wraps to 0
    }
}

// E6x: pattern loop, per channel; the last channel that asks to loop wins.
void pattern_loop(Song* song, Channel* channel, uint8_t count) {
    if (count == 0) {
        channel->loop_row = song->row;
        return;
    }
    if (channel->loop_count == 0) {
        channel->loop_count = count;
    } else {
        channel->loop_count -= 1;
    }
    if (channel->loop_count != 0) {
        row_flow.has_loop_target = true;
        row_flow.loop_target = channel->loop_row;
    }
}

// First-tick part of B, D, E6, EE and F; false for every other effect.
bool flow_effect(Song* song, Channel* channel, const NoteCell& cell) {
    uint8_t x = cell.param >> 4;
    uint8_t y = cell.param & 15;
    switch (cell.effect) {
        case EFFECT_POSITION_JUMP: position_jump(song, cell.param); return true;
        case EFFECT_PATTERN_BREAK: pattern_break(song, cell.param); return true;
        case EFFECT_SET_SPEED_OR_BPM:
            if (cell.param < 32) {
                song->speed = cell.param;
            } else {
                set_tempo(song, cell.param);
            }
            return true;
        case EFFECT_EXTENDED:
            if (x == EXTENDED_PATTERN_LOOP) {
                pattern_loop(song, channel, y);
                return true;
            }
            if (x == EXTENDED_PATTERN_DELAY) {
                song->pattern_delay_ticks = song->speed * y;
                return true;
            }
            return false;
        default: return false;
    }
}

// Steps 1 to 12 of process_row for one channel: latch, start, reset, volume
// column, key off, envelopes.
void start_channel_row(Song* song, int32_t index, Channel* channel, const NoteCell& cell,
                       ChannelSource* source) {
    bool porta_row = cell.effect == EFFECT_TONE_PORTAMENTO || cell.effect == EFFECT_TONE_PORTAMENTO_VOLUME_SLIDE;
    bool has_note = cell.note != NOTE_NONE && cell.note != NOTE_KEY_OFF;
    if (cell.instrument != 0 && !porta_row) channel->instrument = cell.instrument - 1;
    if (has_note && !porta_row) channel->note = cell.note - 1;
    *source = channel_choose_sample(channel, song);
    Sample* sample = source->sample;

    // A tremolo that has just ended leaves its last offset in the volume.
    if (channel->last_effect == EFFECT_TREMOLO && cell.effect != EFFECT_TREMOLO) {
        channel->volume += channel->volume_delta;
    }
    channel->last_effect = cell.effect;
    channel->volume_delta = 0;
    channel->update_flags = 0;
    song->channel_notes[index] = 0;

    if (has_note) {
        song->channel_notes[index] = 1;
        channel->real_note = static_cast<uint8_t>(cell.note + sample->relative_note - 1);
        channel->note_period = (song->flags & SONG_LINEAR_FREQUENCIES)
                                   ? linear_period(channel->real_note, sample->finetune)
                                   : amiga_period(channel->real_note, sample->finetune);
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

}  // namespace

void set_tempo(Song* song, int32_t bpm) {
    song->bpm = bpm;
    // Below 1 BPM there is no tempo; 1 BPM gives the longest tick.
    double beats = bpm < 1 ? 1.0 : static_cast<double>(bpm);
    double frames = 1000.0 / (beats * static_cast<double>(TEMPO_FACTOR)) *
                    static_cast<double>(mixing_rate) * static_cast<double>(MILLISECONDS);
    // The block renderer needs at least one frame per tick.
    if (!(frames >= 1.0)) {
        song->frames_per_tick = 1;
    } else if (frames >= static_cast<double>(INT32_MAX)) {
        song->frames_per_tick = INT32_MAX;
    } else {
        song->frames_per_tick = static_cast<int32_t>(frames);
    }
}

const NoteCell* row_cells(const Song* song) {
    static const NoteCell empty_row[CHANNEL_COUNT] = {};
    if (song->channel_count <= 0 || song->order < 0 || song->order > 255) return nullptr;
    uint8_t pattern_index = song->orders[song->order];
    if (song->patterns == nullptr || pattern_index >= song->pattern_count) return nullptr;
    const Pattern& pattern = song->patterns[pattern_index];
    if (pattern.cells == nullptr) return nullptr;
    // A row outside the pattern (a far D, a loop row from a longer pattern)
    // plays as a row of empty cells.
    if (song->row < 0 || song->row >= pattern.row_count) return empty_row;
    return pattern.cells + static_cast<int64_t>(song->row) * song->channel_count;
}

int32_t played_channel_count(const Song* song) {
    return song->channel_count < CHANNEL_COUNT ? song->channel_count : CHANNEL_COUNT;
}

void process_row(Song* song) {
    song->next_order = -1;
    song->next_row = -1;
    row_flow = {};
    const NoteCell* cells = row_cells(song);
    if (cells == nullptr) return;

    int32_t count = played_channel_count(song);
    for (int32_t c = 0; c < count; ++c) {
        Channel* channel = &channels[c];
        const NoteCell& cell = cells[c];
        RowStartValues before = {channel->volume, channel->period, channel->panning};
        ChannelSource source;
        start_channel_row(song, c, channel, cell, &source);
        if (!flow_effect(song, channel, cell)) {
            effect_first_tick(song, channel, cell, source, before);
        }
        auto_vibrato(channel, source.instrument);
        update_voice(channel, source.sample, song);
    }
}

// Where play goes after the row just processed, when B and D left it open.
static void advance_row(Song* song) {
    song->next_row = row_flow.has_loop_target ? row_flow.loop_target : song->row + 1;
    int32_t row_count = 0;
    uint8_t pattern_index = song->orders[song->order];
    if (song->patterns != nullptr && pattern_index < song->pattern_count) {
        row_count = song->patterns[pattern_index].row_count;
    }
    if (song->next_row >= row_count) {
        song->next_order = song->order + 1;
        if (song->next_order >= song->song_length) song->next_order = restart_order(song);
        song->next_row = 0;
    }
}

void sequencer_tick(Song* song) {
    if (song->tick != 0) {
        process_later_tick(song);
    } else {
        if (song->next_order >= 0) song->order = song->next_order;
        if (song->next_row >= 0) song->row = song->next_row;
        // Only reachable from a position set outside the sequencer.
        if (song->order < 0 || song->order > 255) song->order = 0;
        process_row(song);
        if (song->next_row == -1) advance_row(song);
    }
    song->tick += 1;
    if (song->tick >= song->speed + song->pattern_delay_ticks) {
        song->tick = 0;
        song->pattern_delay_ticks = 0;
    }
}
