#include "tools/make_assets/score_parts.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "tools/make_assets/instruments.h"

XmCell& cell_at(XmPattern& pattern, int row, int channel) {
    return pattern.cells[static_cast<size_t>(row) * MUSIC_CHANNELS + static_cast<size_t>(channel)];
}

void put_note(XmPattern& pattern, int row, int channel, uint8_t note, uint8_t instrument, int volume) {
    XmCell& cell = cell_at(pattern, row, channel);
    cell.note = note;
    cell.instrument = note == KEY_OFF ? 0 : instrument;
    if (volume >= 0) cell.volume = static_cast<uint8_t>(0x10 + std::min(volume, 64));
}

void put_effect(XmPattern& pattern, int row, int channel, uint8_t effect, uint8_t param) {
    XmCell& cell = cell_at(pattern, row, channel);
    cell.effect = effect;
    cell.param = param;
}

XmPattern blank_pattern(int rows) {
    XmPattern pattern;
    pattern.rows = static_cast<uint16_t>(rows);
    pattern.cells.assign(static_cast<size_t>(rows) * MUSIC_CHANNELS, XmCell{});
    return pattern;
}

// --- Drums -----------------------------------------------------------------

// 'x' loud hit, 'o' soft hit, 'd' soft hit delayed by half a row (ED3),
// 'r' loud hit retriggered every 2 ticks (E92), '.' nothing.
void drum_bar(XmPattern& pattern, int bar, int channel, uint8_t instrument, const char* rhythm,
              int loud, int soft) {
    for (int step = 0; step < ROWS_PER_BAR && rhythm[step] != '\0'; ++step) {
        int row = bar * ROWS_PER_BAR + step;
        switch (rhythm[step]) {
            case 'x': put_note(pattern, row, channel, DRUM_NOTE, instrument, loud); break;
            case 'o': put_note(pattern, row, channel, DRUM_NOTE, instrument, soft); break;
            case 'd':
                put_note(pattern, row, channel, DRUM_NOTE, instrument, soft);
                put_effect(pattern, row, channel, EFFECT_EXTENDED, EXTENDED_NOTE_DELAY | 3);
                break;
            case 'r':
                put_note(pattern, row, channel, DRUM_NOTE, instrument, loud);
                put_effect(pattern, row, channel, EFFECT_EXTENDED, EXTENDED_RETRIGGER | 2);
                break;
            default: break;
        }
    }
}

void drum_bars(XmPattern& pattern, int first_bar, int last_bar, int channel, uint8_t instrument,
               const char* rhythm, int loud, int soft) {
    for (int bar = first_bar; bar <= last_bar; ++bar)
        drum_bar(pattern, bar, channel, instrument, rhythm, loud, soft);
}

// Four on the floor: a kick on every beat of every bar, which the cube grids
// follow. `volumes` gives one kick volume per bar.
void kicks(XmPattern& pattern, const int (&volumes)[BARS]) {
    for (int bar = 0; bar < BARS; ++bar)
        drum_bar(pattern, bar, CHANNEL_KICK, INSTRUMENT_KICK, "x...x...x...x...", volumes[bar], 0);
}

// Toms falling over the last beat of a bar, one per row.
void tom_fill(XmPattern& pattern, int bar) {
    static const char* const TOMS[4] = {"E4", "C4", "A3", "F3"};
    for (int i = 0; i < 4; ++i)
        put_note(pattern, bar * ROWS_PER_BAR + 12 + i, CHANNEL_TOM, note_named(TOMS[i]), INSTRUMENT_TOM, 48);
}

// A snare crescendo over one bar: sixteenths rising from `from` to `to`, the
// last beat retriggered into a roll.
void snare_roll(XmPattern& pattern, int bar, int from, int to) {
    for (int step = 0; step < ROWS_PER_BAR; ++step) {
        int row = bar * ROWS_PER_BAR + step;
        put_note(pattern, row, CHANNEL_SNARE, DRUM_NOTE, INSTRUMENT_SNARE, from + (to - from) * step / 15);
        if (step >= 12) put_effect(pattern, row, CHANNEL_SNARE, EFFECT_EXTENDED, EXTENDED_RETRIGGER | 3);
    }
}

void crash(XmPattern& pattern, int row, int volume) {
    put_note(pattern, row, CHANNEL_CRASH, DRUM_NOTE, INSTRUMENT_CRASH, volume);
}

// --- Harmony -----------------------------------------------------------------

void pad_chord(XmPattern& pattern, int bar, const Chord& chord, int volume) {
    for (int voice = 0; voice < 3; ++voice)
        put_note(pattern, bar * ROWS_PER_BAR, CHANNEL_PAD + voice, note_named(chord.tones[voice]),
                 INSTRUMENT_PAD, volume);
}

void pad_chords(XmPattern& pattern, const Progression& chords, int first_bar, int volume) {
    for (int bar = first_bar; bar < BARS; ++bar) pad_chord(pattern, bar, *chords[bar], volume);
}

// 'R' root, 'O' octave above, 'F' fifth above, '^' key off, '.' hold.
void bass_bar(XmPattern& pattern, int bar, const Chord& chord, const char* rhythm, int volume) {
    uint8_t root = note_named(chord.bass);
    for (int step = 0; step < ROWS_PER_BAR && rhythm[step] != '\0'; ++step) {
        int row = bar * ROWS_PER_BAR + step;
        switch (rhythm[step]) {
            case 'R': put_note(pattern, row, CHANNEL_BASS, root, INSTRUMENT_BASS, volume); break;
            case 'O': put_note(pattern, row, CHANNEL_BASS, root + 12, INSTRUMENT_BASS, volume - 6); break;
            case 'F': put_note(pattern, row, CHANNEL_BASS, root + 7, INSTRUMENT_BASS, volume - 4); break;
            case '^': put_note(pattern, row, CHANNEL_BASS, KEY_OFF, 0, -1); break;
            default: break;
        }
    }
}

void bass_bars(XmPattern& pattern, const Progression& chords, int first_bar, int last_bar,
               const char* rhythm, int volume) {
    for (int bar = first_bar; bar <= last_bar; ++bar) bass_bar(pattern, bar, *chords[bar], rhythm, volume);
}

// 'x' the chord's arpeggio root, 'X' an octave higher; the arpeggio effect
// runs on every row until the next note.
void arp_bar(XmPattern& pattern, int bar, const Chord& chord, const char* rhythm, int volume) {
    uint8_t root = note_named(chord.arp);
    for (int step = 0; step < ROWS_PER_BAR && rhythm[step] != '\0'; ++step) {
        int row = bar * ROWS_PER_BAR + step;
        if (rhythm[step] == 'x') put_note(pattern, row, CHANNEL_ARP, root, INSTRUMENT_ARP, volume);
        if (rhythm[step] == 'X') put_note(pattern, row, CHANNEL_ARP, root + 12, INSTRUMENT_ARP, volume);
        put_effect(pattern, row, CHANNEL_ARP, EFFECT_ARPEGGIO, chord.arp_param);
    }
}

void arp_bars(XmPattern& pattern, const Progression& chords, int first_bar, int last_bar,
              const char* rhythm, int volume) {
    for (int bar = first_bar; bar <= last_bar; ++bar) arp_bar(pattern, bar, *chords[bar], rhythm, volume);
}

// --- Melody ------------------------------------------------------------------

std::vector<MelodyNote> parse_melody(const char* text, int first_row) {
    std::vector<MelodyNote> notes;
    int row = first_row;
    const char* cursor = text;
    while (*cursor != '\0') {
        while (*cursor == ' ') ++cursor;
        if (*cursor == '\0') break;
        size_t length = std::strcspn(cursor, " ");
        std::string token(cursor, length);
        cursor += length;
        if (token == "^") {
            notes.push_back({row, KEY_OFF, false});
        } else if (token != ".") {
            bool slide = token.back() == '~';
            if (slide) token.pop_back();
            notes.push_back({row, note_named(token.c_str()), slide});
        }
        row += 2;
    }
    return notes;
}

// Writes the notes on one channel; a note held for six rows or more gets a
// gentle vibrato from its fourth row on.
void write_melody(XmPattern& pattern, int channel, const std::vector<MelodyNote>& notes, int volume,
                  int end_row) {
    for (size_t i = 0; i < notes.size(); ++i) {
        const MelodyNote& note = notes[i];
        if (note.row >= end_row) break;
        int next = i + 1 < notes.size() ? std::min(notes[i + 1].row, end_row) : end_row;
        put_note(pattern, note.row, channel, note.note, INSTRUMENT_LEAD, note.note == KEY_OFF ? -1 : volume);
        if (note.slide) {
            // No instrument, so the envelope is not restarted; the slide runs
            // on for two more rows (about 11 semitones in all at this speed).
            cell_at(pattern, note.row, channel).instrument = 0;
            for (int row = note.row; row < std::min(note.row + 3, next); ++row)
                put_effect(pattern, row, channel, EFFECT_TONE_PORTA, row == note.row ? 0x0C : 0x00);
        }
        if (note.note == KEY_OFF || next - note.row < 6) continue;
        for (int row = note.row + 3; row < next; ++row) put_effect(pattern, row, channel, EFFECT_VIBRATO, 0x52);
    }
}

std::vector<MelodyNote> delayed(std::vector<MelodyNote> notes, int rows) {
    for (MelodyNote& note : notes) note.row += rows;
    return notes;
}

// A second voice under the melody: for each note, the highest tone of the
// bar's chord at least a minor third below it (a third to a sixth under it),
// so the two voices stay consonant with the harmony.
std::vector<MelodyNote> harmony_below(std::vector<MelodyNote> notes, const Progression& chords) {
    for (MelodyNote& note : notes) {
        if (note.note == KEY_OFF) continue;
        const Chord& chord = *chords[std::min(note.row / ROWS_PER_BAR, BARS - 1)];
        for (int below = 3; below <= 9 && below < note.note; ++below) {
            int candidate = note.note - below;
            bool chord_tone = false;
            for (const char* tone : chord.tones) chord_tone = chord_tone || (note_named(tone) - candidate) % 12 == 0;
            if (chord_tone) {
                note.note = static_cast<uint8_t>(candidate);
                break;
            }
        }
    }
    return notes;
}
