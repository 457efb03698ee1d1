// Writing the parts of the score into patterns: notes and effects by row and
// channel, drum rhythms, chords for pad, bass and arpeggio, and melodies.
//
// Rhythm strings have one character per row of a bar. Melody strings have one
// token per eighth note (two rows): a note name, "." to hold, "^" for key off;
// a note ending in "~" slides into place with tone portamento.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/make_assets/composition.h"
#include "tools/make_assets/xm_writer.h"

constexpr int ROWS_PER_BAR = 16;
constexpr int BARS = MUSIC_SECTION_ROWS / ROWS_PER_BAR;
constexpr uint8_t KEY_OFF = 97;

// Effect numbers as stored.
constexpr uint8_t EFFECT_ARPEGGIO = 0x0;
constexpr uint8_t EFFECT_PORTA_UP = 0x1;
constexpr uint8_t EFFECT_TONE_PORTA = 0x3;
constexpr uint8_t EFFECT_VIBRATO = 0x4;
constexpr uint8_t EFFECT_VOLUME_SLIDE = 0xA;
constexpr uint8_t EFFECT_EXTENDED = 0xE;
constexpr uint8_t EFFECT_SPEED = 0xF;
constexpr uint8_t EFFECT_MULTI_RETRIG = 0x1B;
constexpr uint8_t EXTENDED_RETRIGGER = 0x90;
constexpr uint8_t EXTENDED_FINE_VOLUME_DOWN = 0xB0;
constexpr uint8_t EXTENDED_NOTE_DELAY = 0xD0;
constexpr uint8_t EXTENDED_PATTERN_DELAY = 0xE0;
constexpr uint8_t VOLUME_COLUMN_FINE_UP = 0x90;

struct Chord {
    const char* bass;      // root for the bass line
    const char* tones[3];  // pad voicing, one tone per pad channel
    const char* arp;       // root of the arpeggio
    uint8_t arp_param;     // arpeggio intervals: 0x37 minor, 0x47 major
};

// One chord per bar of a section.
using Progression = const Chord* [BARS];

XmCell& cell_at(XmPattern& pattern, int row, int channel);
// A volume below 0 leaves the volume column empty; a key off takes no instrument.
void put_note(XmPattern& pattern, int row, int channel, uint8_t note, uint8_t instrument, int volume);
void put_effect(XmPattern& pattern, int row, int channel, uint8_t effect, uint8_t param);
XmPattern blank_pattern(int rows);

// Drums. Rhythm characters: 'x' loud hit, 'o' soft hit, 'd' soft hit delayed
// by half a row (ED3), 'r' loud hit retriggered every 2 ticks (E92), '.' none.
void drum_bar(XmPattern& pattern, int bar, int channel, uint8_t instrument, const char* rhythm,
              int loud, int soft);
void drum_bars(XmPattern& pattern, int first_bar, int last_bar, int channel, uint8_t instrument,
               const char* rhythm, int loud, int soft);
// A kick on every beat of every bar, `volumes` one per bar.
void kicks(XmPattern& pattern, const int (&volumes)[BARS]);
void tom_fill(XmPattern& pattern, int bar);
void snare_roll(XmPattern& pattern, int bar, int from, int to);
void crash(XmPattern& pattern, int row, int volume);

// Harmony. Bass rhythm: 'R' root, 'O' octave above, 'F' fifth above, '^' key
// off. Arpeggio rhythm: 'x' the chord's arpeggio root, 'X' an octave higher.
void pad_chord(XmPattern& pattern, int bar, const Chord& chord, int volume);
void pad_chords(XmPattern& pattern, const Progression& chords, int first_bar, int volume);
void bass_bar(XmPattern& pattern, int bar, const Chord& chord, const char* rhythm, int volume);
void bass_bars(XmPattern& pattern, const Progression& chords, int first_bar, int last_bar,
               const char* rhythm, int volume);
void arp_bar(XmPattern& pattern, int bar, const Chord& chord, const char* rhythm, int volume);
void arp_bars(XmPattern& pattern, const Progression& chords, int first_bar, int last_bar,
              const char* rhythm, int volume);

// Melody.
struct MelodyNote {
    int row;       // first row, within the section
    uint8_t note;  // XM note, or KEY_OFF
    bool slide;    // reach the note by tone portamento
};
std::vector<MelodyNote> parse_melody(const char* text, int first_row);
// On one channel with the lead instrument; held notes get a gentle vibrato,
// sliding notes keep the instrument's envelope going.
void write_melody(XmPattern& pattern, int channel, const std::vector<MelodyNote>& notes, int volume,
                  int end_row);
std::vector<MelodyNote> delayed(std::vector<MelodyNote> notes, int rows);
std::vector<MelodyNote> harmony_below(std::vector<MelodyNote> notes, const Progression& chords);
