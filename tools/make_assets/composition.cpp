// The score. Every section is eight bars of 16 rows (a row is a sixteenth note
// at speed 6, 129 BPM) over a four-chord progression; the parts are written
// from short rhythm and melody strings (see score_parts.h) so the music reads
// like a lead sheet.
#include "tools/make_assets/composition.h"

#include <string>
#include <vector>

#include "tools/make_assets/instruments.h"
#include "tools/make_assets/score_parts.h"

namespace {

constexpr Chord A_MINOR = {"A1", {"A3", "C4", "E4"}, "A4", 0x37};
constexpr Chord F_MAJOR = {"F1", {"A3", "C4", "F4"}, "F4", 0x47};
constexpr Chord C_MAJOR = {"C2", {"G3", "C4", "E4"}, "C5", 0x47};
constexpr Chord G_MAJOR = {"G1", {"G3", "B3", "D4"}, "G4", 0x47};
constexpr Chord D_MINOR = {"D2", {"A3", "D4", "F4"}, "D5", 0x37};
constexpr Chord E_MAJOR = {"E2", {"G#3", "B3", "E4"}, "E4", 0x47};

// i - VI - III - VII, twice.
constexpr Progression MAIN = {&A_MINOR, &F_MAJOR, &C_MAJOR, &G_MAJOR,
                              &A_MINOR, &F_MAJOR, &C_MAJOR, &G_MAJOR};
constexpr Progression BREAK = {&D_MINOR, &A_MINOR, &F_MAJOR, &G_MAJOR,
                               &D_MINOR, &A_MINOR, &E_MAJOR, &E_MAJOR};
constexpr Progression RISE = {&F_MAJOR, &G_MAJOR, &A_MINOR, &A_MINOR,
                              &F_MAJOR, &G_MAJOR, &E_MAJOR, &E_MAJOR};
constexpr Progression ENDING = {&A_MINOR, &F_MAJOR, &C_MAJOR, &G_MAJOR,
                                &A_MINOR, &F_MAJOR, &G_MAJOR, &A_MINOR};

// The theme and its answer, over MAIN.
constexpr const char* THEME =
    "A4 . C5 . E5 . . D5  . . C5 . A4 . . .  G4 . C5 . E5 . G5 .  F5 . E5 . D5 . . .  "
    "A4 . C5 . E5 . . A5  . . G5 . F5 . E5 .  E5 . D5 . C5 . . E5  . . D5 . B4 . . .";
constexpr const char* ANSWER =
    "E5 . A5 . . . G5 .  F5 . E5 . C5 . . .  E5 . G5 . C6 . . B5  . . G5 . D5 . . .  "
    "E5 . A5 . . . C6 .  A5 . G5 . F5 . . .  E5 . . D5 . . C5 .  D5 . . . ^ . . .";
// The cadence that replaces the last two bars of the answer at the end.
constexpr const char* CADENCE = "D5 . . . B4 . . .  A4 . . . . . . .";
constexpr const char* BREAK_MELODY =
    "D5 . . . F5 . A5~ .  E5 . . . . . . .  C5 . . . F5 . . E5  D5 . . . . . . .  "
    "D5 . . . F5~ . A5 .  C6 . . . B5 . A5 .  G#5 . . . . . E5 .  B4 . . . . . . .";
constexpr const char* RISE_MELODY =
    "C5 . A4 . C5 . F5 .  D5 . B4 . D5 . G5 .  E5 . C5 . E5 . A5 .  G5 . E5 . C5 . E5 .  "
    "F5 . . . E5 . . .  D5 . . . E5 . F5 .  G#5 . . . . . . .  B5 . . . . . ^ .";
constexpr const char* INTRO_TEASER = "G4 . . . C5 . E5 .  D5 . . . . . ^ .";

// --- Sections ----------------------------------------------------------------

// Orders 4 and 6 open with their first row held for a whole beat (pattern
// delay of three rows, on the tom channel, free at that row). The scenes' fog
// clears by a fixed step a frame over rows 0-20 what the order before built
// up by the same step over its rows 107-127; at equal row lengths the
// fade-out would have no frame to spare and could leave the fog on at some
// frame rates. The held beat gives it about ten frames more.
constexpr uint8_t HELD_DOWNBEAT_ROWS = 3;

void hold_downbeat(XmPattern& pattern) {
    put_effect(pattern, 0, CHANNEL_TOM, EFFECT_EXTENDED, EXTENDED_PATTERN_DELAY | HELD_DOWNBEAT_ROWS);
}

constexpr const char* HATS_EIGHTHS = "x.o.x.o.x.o.x.o.";
constexpr const char* HATS_OFFBEAT = "o.x.o.x.o.x.o.x.";
constexpr const char* HATS_SIXTEENTHS = "xooxoxooxooxoxoo";
constexpr const char* HATS_SWING = "..x.d...x.o.d..o";
constexpr const char* SNARE_BACKBEAT = "....x.......x...";
constexpr const char* SNARE_GHOSTS = "....x......dx..d";
constexpr const char* SNARE_FILL = "....x.......xxrr";
constexpr const char* BASS_PULSE = "R.......R.....O.";
constexpr const char* BASS_SYNCOPATED = "R..R..R.R..R..O.";
constexpr const char* BASS_DRIVE = "R.R.O.R.R.R.O.F.";
constexpr const char* BASS_LONG = "R.......F.....O^";
constexpr const char* ARP_EIGHTHS = "x.X.x.X.x.X.x.X.";
constexpr const char* ARP_SYNCOPATED = "x..X..x.X..x..X.";
constexpr const char* ARP_SIXTEENTHS = "xXxXxXxXxXxXxXxX";
constexpr const char* ARP_SLOW = "x.......X.......";

// Order 0, under the fade from black: the pad swells in, the kick counts the
// beat, hats and arpeggio join, and the lead hints at the theme.
XmPattern section_intro() {
    XmPattern pattern = blank_pattern(MUSIC_SECTION_ROWS);
    pad_chord(pattern, 0, A_MINOR, 8);
    for (int row = 1; row < 32; ++row)
        for (int voice = 0; voice < 3; ++voice) cell_at(pattern, row, CHANNEL_PAD + voice).volume = VOLUME_COLUMN_FINE_UP | 1;
    pad_chords(pattern, MAIN, 2, 40);
    kicks(pattern, {28, 30, 36, 40, 46, 50, 54, 58});
    drum_bars(pattern, 2, 3, CHANNEL_HAT, INSTRUMENT_HAT, HATS_OFFBEAT, 26, 12);
    drum_bars(pattern, 4, 7, CHANNEL_HAT, INSTRUMENT_HAT, HATS_EIGHTHS, 40, 22);
    arp_bars(pattern, MAIN, 4, 7, ARP_EIGHTHS, 22);
    bass_bars(pattern, MAIN, 6, 7, BASS_PULSE, 37);
    write_melody(pattern, CHANNEL_LEAD, parse_melody(INTRO_TEASER, 6 * ROWS_PER_BAR), 30, MUSIC_SECTION_ROWS);
    drum_bar(pattern, 7, CHANNEL_SNARE, INSTRUMENT_SNARE, "............oox.", 44, 24);
    tom_fill(pattern, 7);
    return pattern;
}

// Order 1: the groove settles in, then a snare roll and a rising line lead
// into the theme while the fog comes back.
XmPattern section_build() {
    XmPattern pattern = blank_pattern(MUSIC_SECTION_ROWS);
    pad_chords(pattern, MAIN, 0, 34);
    kicks(pattern, {58, 58, 58, 58, 60, 60, 60, 62});
    drum_bars(pattern, 0, 3, CHANNEL_SNARE, INSTRUMENT_SNARE, SNARE_BACKBEAT, 44, 20);
    drum_bars(pattern, 4, 5, CHANNEL_SNARE, INSTRUMENT_SNARE, SNARE_GHOSTS, 46, 18);
    drum_bars(pattern, 0, 3, CHANNEL_HAT, INSTRUMENT_HAT, HATS_EIGHTHS, 40, 22);
    drum_bars(pattern, 4, 7, CHANNEL_HAT, INSTRUMENT_HAT, HATS_SIXTEENTHS, 40, 20);
    bass_bars(pattern, MAIN, 0, 3, BASS_SYNCOPATED, 39);
    bass_bars(pattern, MAIN, 4, 7, BASS_DRIVE, 41);
    arp_bars(pattern, MAIN, 0, 5, ARP_EIGHTHS, 26);
    arp_bars(pattern, MAIN, 6, 7, ARP_SIXTEENTHS, 28);
    drum_bar(pattern, 6, CHANNEL_SNARE, INSTRUMENT_SNARE, "x.o.x.o.x.o.x.xx", 40, 22);
    snare_roll(pattern, 7, 20, 56);
    // Riser: one long note sliding up ten semitones over two bars, swelling.
    put_note(pattern, 96, CHANNEL_ECHO, note_named("A3"), INSTRUMENT_PAD, 12);
    for (int row = 97; row < MUSIC_SECTION_ROWS; ++row) {
        put_effect(pattern, row, CHANNEL_ECHO, EFFECT_PORTA_UP, 0x01);
        if (row % 2 == 0) cell_at(pattern, row, CHANNEL_ECHO).volume = VOLUME_COLUMN_FINE_UP | 2;
    }
    put_note(pattern, 127, CHANNEL_ECHO, KEY_OFF, 0, -1);
    return pattern;
}

// Orders 2 and 6: the theme over the full band with an echo; `finale` puts a
// second voice under the theme instead and busier parts around it, and holds
// its downbeat.
XmPattern section_theme(bool finale) {
    XmPattern pattern = blank_pattern(MUSIC_SECTION_ROWS);
    crash(pattern, 0, 44);
    if (finale) crash(pattern, 64, 36);
    pad_chords(pattern, MAIN, 0, 28);
    kicks(pattern, {62, 62, 62, 62, 62, 62, 62, 62});
    drum_bar(pattern, 3, CHANNEL_KICK, INSTRUMENT_KICK, "..............x.", 40, 0);
    drum_bars(pattern, 0, 6, CHANNEL_SNARE, INSTRUMENT_SNARE, SNARE_GHOSTS, 48, 18);
    drum_bar(pattern, 7, CHANNEL_SNARE, INSTRUMENT_SNARE, SNARE_FILL, 50, 20);
    drum_bars(pattern, 0, 7, CHANNEL_HAT, INSTRUMENT_HAT, HATS_SIXTEENTHS, 40, 20);
    bass_bars(pattern, MAIN, 0, 7, BASS_DRIVE, 43);
    arp_bars(pattern, MAIN, 0, 7, finale ? ARP_SIXTEENTHS : ARP_SYNCOPATED, 19);
    std::vector<MelodyNote> theme = parse_melody(THEME, 0);
    write_melody(pattern, CHANNEL_LEAD, theme, 48, MUSIC_SECTION_ROWS);
    if (finale) {
        hold_downbeat(pattern);
        write_melody(pattern, CHANNEL_ECHO, harmony_below(theme, MAIN), 26, MUSIC_SECTION_ROWS);
        tom_fill(pattern, 3);
    } else {
        write_melody(pattern, CHANNEL_ECHO, delayed(theme, 3), 14, MUSIC_SECTION_ROWS);
    }
    return pattern;
}

// Order 3: the answer with its harmony; the band thins out in the last bar
// for the fade to the tunnel, the kick still on every beat.
XmPattern section_answer() {
    XmPattern pattern = blank_pattern(MUSIC_SECTION_ROWS);
    pad_chords(pattern, MAIN, 0, 30);
    kicks(pattern, {62, 62, 62, 62, 62, 62, 58, 50});
    drum_bars(pattern, 0, 6, CHANNEL_SNARE, INSTRUMENT_SNARE, SNARE_GHOSTS, 48, 18);
    drum_bars(pattern, 0, 6, CHANNEL_HAT, INSTRUMENT_HAT, HATS_SIXTEENTHS, 40, 20);
    drum_bar(pattern, 7, CHANNEL_HAT, INSTRUMENT_HAT, HATS_OFFBEAT, 30, 18);
    bass_bars(pattern, MAIN, 0, 6, BASS_DRIVE, 43);
    bass_bar(pattern, 7, G_MAJOR, BASS_LONG, 37);
    arp_bars(pattern, MAIN, 0, 6, ARP_SYNCOPATED, 20);
    arp_bar(pattern, 7, G_MAJOR, ARP_SLOW, 20);
    std::vector<MelodyNote> answer = parse_melody(ANSWER, 0);
    write_melody(pattern, CHANNEL_LEAD, answer, 48, MUSIC_SECTION_ROWS);
    write_melody(pattern, CHANNEL_ECHO, harmony_below(answer, MAIN), 26, MUSIC_SECTION_ROWS);
    tom_fill(pattern, 7);
    return pattern;
}

// Order 4: the break in the tunnel. No kick; a swung hat, long bass notes and
// the slow melody with a long echo. The first and the last row are held for a
// whole beat.
XmPattern section_break() {
    XmPattern pattern = blank_pattern(MUSIC_SECTION_ROWS);
    pad_chords(pattern, BREAK, 0, 40);
    bass_bars(pattern, BREAK, 0, 7, BASS_LONG, 37);
    arp_bars(pattern, BREAK, 0, 7, ARP_SLOW, 26);
    drum_bars(pattern, 2, 7, CHANNEL_HAT, INSTRUMENT_HAT, HATS_SWING, 34, 20);
    drum_bars(pattern, 4, 7, CHANNEL_SNARE, INSTRUMENT_SNARE, "........o.......", 0, 26);
    std::vector<MelodyNote> melody = parse_melody(BREAK_MELODY, 0);
    write_melody(pattern, CHANNEL_LEAD, melody, 42, MUSIC_SECTION_ROWS);
    write_melody(pattern, CHANNEL_ECHO, delayed(melody, 6), 18, MUSIC_SECTION_ROWS);
    put_effect(pattern, 127, CHANNEL_SNARE, EFFECT_EXTENDED, EXTENDED_PATTERN_DELAY | 3);
    hold_downbeat(pattern);
    return pattern;
}

// Order 5: the rise. Kick and snare return, the bass drives, the snare rolls
// up with multi retrig and the bass slides up into the finale.
XmPattern section_rise() {
    XmPattern pattern = blank_pattern(MUSIC_SECTION_ROWS);
    crash(pattern, 0, 30);
    pad_chords(pattern, RISE, 0, 32);
    drum_bars(pattern, 0, 1, CHANNEL_KICK, INSTRUMENT_KICK, "x.........x.....", 54, 0);
    drum_bars(pattern, 2, 7, CHANNEL_KICK, INSTRUMENT_KICK, "x...x...x...x...", 60, 0);
    drum_bars(pattern, 2, 5, CHANNEL_SNARE, INSTRUMENT_SNARE, SNARE_BACKBEAT, 44, 0);
    drum_bars(pattern, 0, 3, CHANNEL_HAT, INSTRUMENT_HAT, HATS_OFFBEAT, 36, 20);
    drum_bars(pattern, 4, 7, CHANNEL_HAT, INSTRUMENT_HAT, HATS_SIXTEENTHS, 40, 20);
    bass_bars(pattern, RISE, 0, 1, BASS_PULSE, 39);
    bass_bars(pattern, RISE, 2, 6, BASS_DRIVE, 41);
    bass_bar(pattern, 7, E_MAJOR, "R...............", 41);
    for (int row = 116; row < MUSIC_SECTION_ROWS; ++row) put_effect(pattern, row, CHANNEL_BASS, EFFECT_PORTA_UP, 0x03);
    arp_bars(pattern, RISE, 0, 5, ARP_EIGHTHS, 24);
    arp_bars(pattern, RISE, 6, 7, ARP_SIXTEENTHS, 26);
    write_melody(pattern, CHANNEL_LEAD, parse_melody(RISE_MELODY, 0), 46, MUSIC_SECTION_ROWS);
    // Snare: eighths, then sixteenths whose retriggers climb in volume.
    drum_bar(pattern, 6, CHANNEL_SNARE, INSTRUMENT_SNARE, "x.x.x.x.x.x.x.x.", 36, 0);
    // Notes without an instrument keep the volume the retriggers have reached.
    for (int step = 0; step < ROWS_PER_BAR; ++step) {
        put_note(pattern, 112 + step, CHANNEL_SNARE, DRUM_NOTE, step == 0 ? INSTRUMENT_SNARE : 0,
                 step == 0 ? 30 : -1);
        put_effect(pattern, 112 + step, CHANNEL_SNARE, EFFECT_MULTI_RETRIG, step < 8 ? 0x93 : 0xA2);
    }
    tom_fill(pattern, 7);
    return pattern;
}

// Order 7: the answer once more, then a cadence onto A minor that slows down
// (speed 7, then 8) and fades out by the last row.
XmPattern section_ending() {
    XmPattern pattern = blank_pattern(MUSIC_SECTION_ROWS);
    pad_chords(pattern, ENDING, 0, 30);
    kicks(pattern, {62, 62, 62, 62, 62, 62, 60, 0});
    drum_bars(pattern, 0, 5, CHANNEL_SNARE, INSTRUMENT_SNARE, SNARE_GHOSTS, 48, 18);
    drum_bar(pattern, 6, CHANNEL_SNARE, INSTRUMENT_SNARE, SNARE_FILL, 50, 20);
    drum_bars(pattern, 0, 6, CHANNEL_HAT, INSTRUMENT_HAT, HATS_SIXTEENTHS, 40, 20);
    bass_bars(pattern, ENDING, 0, 6, BASS_DRIVE, 43);
    arp_bars(pattern, ENDING, 0, 5, ARP_SIXTEENTHS, 19);
    arp_bar(pattern, 6, G_MAJOR, ARP_EIGHTHS, 20);
    std::string melody = std::string(ANSWER).substr(0, std::string(ANSWER).rfind("E5 . . D5"));
    std::vector<MelodyNote> lead = parse_melody((melody + " " + CADENCE).c_str(), 0);
    write_melody(pattern, CHANNEL_LEAD, lead, 48, MUSIC_SECTION_ROWS);
    write_melody(pattern, CHANNEL_ECHO, harmony_below(lead, ENDING), 24, MUSIC_SECTION_ROWS);
    tom_fill(pattern, 6);
    // Ritardando into the final chord.
    put_effect(pattern, 104, CHANNEL_TOM, EFFECT_SPEED, 7);
    put_effect(pattern, 108, CHANNEL_TOM, EFFECT_SPEED, 8);
    // The final chord: kick, crash, low A; everything fades over the last bar.
    put_note(pattern, 112, CHANNEL_KICK, DRUM_NOTE, INSTRUMENT_KICK, 62);
    crash(pattern, 112, 44);
    put_note(pattern, 112, CHANNEL_BASS, note_named("A1"), INSTRUMENT_BASS, 46);
    put_note(pattern, 112, CHANNEL_ARP, note_named("A5"), INSTRUMENT_ARP, 26);
    for (int row = 113; row < 126; ++row) {
        for (int channel : {CHANNEL_LEAD, CHANNEL_ECHO, CHANNEL_BASS})
            put_effect(pattern, row, channel, EFFECT_EXTENDED, EXTENDED_FINE_VOLUME_DOWN | 4);
        put_effect(pattern, row, CHANNEL_ARP, EFFECT_VOLUME_SLIDE, 0x01);
    }
    // Released early: their fadeouts take about ten rows at speed 8.
    for (int channel : {CHANNEL_PAD, CHANNEL_PAD + 1, CHANNEL_PAD + 2}) put_note(pattern, 114, channel, KEY_OFF, 0, -1);
    put_note(pattern, 116, CHANNEL_CRASH, KEY_OFF, 0, -1);
    for (int channel = 0; channel < MUSIC_CHANNELS; ++channel)
        if (cell_at(pattern, 126, channel).note == 0) put_note(pattern, 126, channel, KEY_OFF, 0, -1);
    return pattern;
}

// Order 8: silence; the demo ends as soon as it is heard.
XmPattern section_end() {
    XmPattern pattern = blank_pattern(16);
    for (int channel = 0; channel < MUSIC_CHANNELS; ++channel) put_note(pattern, 0, channel, KEY_OFF, 0, -1);
    return pattern;
}

}  // namespace

uint8_t note_named(const char* text) {
    static const int SEMITONES[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (text == nullptr || text[0] < 'A' || text[0] > 'G') return 0;
    int semitone = SEMITONES[text[0] - 'A'];
    const char* rest = text + 1;
    if (*rest == '#') ++semitone, ++rest;
    if (*rest < '0' || *rest > '7' || rest[1] != '\0') return 0;
    int note = 1 + 12 * (*rest - '0') + semitone;
    return note >= 1 && note <= 96 ? static_cast<uint8_t>(note) : 0;
}

XmModule compose_music() {
    XmModule module;
    module.name = "korvanti";
    module.channel_count = MUSIC_CHANNELS;
    module.flags = 1;
    module.default_tempo = 6;
    // 129 rather than 125: the grids turn the shared spin angle by 2 degrees a
    // frame for the whole of orders 0-3, and at this tempo the wave floor of
    // orders 6-7 comes into view facing the viewer (spin near 40 degrees at
    // exact 28 ms frames, near 0 on a machine whose frames run a little long)
    // instead of turned away from it.
    module.default_bpm = 129;
    module.patterns = {section_intro(), section_build(), section_theme(false), section_answer(),
                       section_break(), section_rise(),  section_theme(true),  section_ending(),
                       section_end()};
    for (uint8_t order = 0; order <= MUSIC_END_ORDER; ++order) module.orders.push_back(order);
    module.song_length = static_cast<uint16_t>(module.orders.size());
    module.restart_position = 0;
    module.instruments = build_instruments();
    return module;
}
