// The first tick of a row: latching notes and instruments, starting notes,
// tone-portamento rows, key off, and notes the module cannot play.
#include <gtest/gtest.h>

#include "player/replay/channel.h"
#include "replay_harness.h"

using namespace korvanti;

namespace {

bool has(const Channel& channel, uint8_t flag) { return (channel.update_flags & flag) != 0; }

TEST(NoteStart, NoteIsLatchedCountedAndTriggered) {
    for (uint16_t flags : {uint16_t{1}, uint16_t{0}}) {
        XmModule module = replay_module(2, 4, 1, {0});
        module.flags = flags;
        put(module, 0, 0, 1, note_cell(49, 1));
        PlayPtr play = start_replay(module);
        ASSERT_TRUE(play);
        run_ticks(play.get(), 1);
        const Channel& channel = play->channels[1];
        EXPECT_EQ(channel.note, 48);
        EXPECT_EQ(channel.instrument, 0);
        EXPECT_EQ(channel.real_note, 48);
        int32_t expected_period = flags ? 4608 : 1712;
        EXPECT_EQ(channel.note_period, expected_period);
        EXPECT_EQ(channel.period, expected_period);
        EXPECT_TRUE(has(channel, TRIGGER));
        EXPECT_TRUE(has(channel, FREQUENCY));
        EXPECT_TRUE(has(channel, VOLUME));
        EXPECT_EQ(play->channel_notes[0], 0);
        EXPECT_EQ(play->channel_notes[1], 1);
        // The flag lasts for the row and is cleared when the next row is read.
        run_ticks(play.get(), 5);
        EXPECT_EQ(play->channel_notes[1], 1);
        EXPECT_FALSE(has(channel, TRIGGER));
        run_ticks(play.get(), 1);
        EXPECT_EQ(play->channel_notes[1], 0);
        EXPECT_FALSE(has(channel, TRIGGER));
        EXPECT_EQ(channel.period, expected_period);
    }
}

TEST(NoteStart, InstrumentAloneReloadsDefaultsWithoutANote) {
    XmModule module = replay_module(1, 4, 1, {0});
    put(module, 0, 0, 0, note_cell(49, 1, 0x30));  // volume 32
    put(module, 0, 1, 0, note_cell(0, 1));
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->channels[0].volume, 32);
    run_ticks(play.get(), 6);
    EXPECT_EQ(play->channels[0].volume, 64);
    EXPECT_EQ(play->channel_notes[0], 0);
    EXPECT_FALSE(has(play->channels[0], TRIGGER));
}

TEST(NoteStart, TonePortamentoRowOnlySetsTheTarget) {
    XmModule module = replay_module(1, 8, 1, {0});
    XmInstrument quiet = square_instrument();
    quiet.samples[0].volume = 20;
    module.instruments.push_back(quiet);
    put(module, 0, 0, 0, note_cell(49, 1, 0x30));
    put(module, 0, 1, 0, note_cell(61, 2, 0, 0x03, 0x10));  // other instrument, tone portamento
    put(module, 0, 2, 0, note_cell(0, 0, 0, 0x03, 0x00));
    put(module, 0, 3, 0, note_cell(0, 0, 0, 0x05, 0x00));
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 7);
    const Channel& channel = play->channels[0];
    // Note and instrument keep their values; the current sample's defaults
    // are reloaded; the note counts but does not restart the sample.
    EXPECT_EQ(channel.instrument, 0);
    EXPECT_EQ(channel.note, 48);
    EXPECT_EQ(channel.volume, 64);
    EXPECT_EQ(channel.real_note, 60);
    EXPECT_EQ(channel.porta_target, 3840);
    EXPECT_EQ(channel.period, 4608);
    EXPECT_EQ(play->channel_notes[0], 1);
    EXPECT_FALSE(has(channel, TRIGGER));
    // 4 * 16 period units a later tick, the speed remembered by 300 and kept by 500.
    std::vector<int32_t> periods = tick_values(play.get(), 17, [](const PlayState* p) { return p->channels[0].period; });
    std::vector<int32_t> expected = {4544, 4480, 4416, 4352, 4288, 4288, 4224, 4160, 4096,
                                     4032, 3968, 3968, 3904, 3840, 3840, 3840, 3840};
    EXPECT_EQ(periods, expected);
}

TEST(NoteStart, VolumeColumnPortamentoDoesNotHoldTheNote) {
    XmModule module = replay_module(1, 4, 1, {0});
    put(module, 0, 0, 0, note_cell(49, 1));
    put(module, 0, 1, 0, note_cell(61, 0, 0xF1));
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 7);
    const Channel& channel = play->channels[0];
    EXPECT_EQ(channel.note, 60);
    EXPECT_EQ(channel.period, 3840);
    EXPECT_EQ(channel.porta_target, 3840);
    EXPECT_EQ(channel.porta_speed, 16);
    EXPECT_FALSE(has(channel, TRIGGER));
    EXPECT_EQ(play->channel_notes[0], 1);
}

TEST(KeyOff, WithoutVolumeEnvelopeSilencesAtOnce) {
    for (uint8_t effect : {uint8_t{0}, uint8_t{0x14}}) {
        XmModule module = replay_module(1, 4, 1, {0});
        put(module, 0, 0, 0, note_cell(49, 1));
        // A key-off note, or effect K with any parameter.
        put(module, 0, 1, 0, effect ? note_cell(0, 0, 0, 0x14, 0x05) : note_cell(97, 0));
        PlayPtr play = start_replay(module);
        ASSERT_TRUE(play);
        run_ticks(play.get(), 6);
        EXPECT_EQ(play->channels[0].released, 0);
        EXPECT_EQ(play->channels[0].volume_envelope_value, 64);
        run_ticks(play.get(), 1);
        EXPECT_EQ(play->channels[0].released, 1);
        EXPECT_EQ(play->channels[0].volume_envelope_value, 0);
        EXPECT_EQ(play->channel_notes[0], 0);
        EXPECT_FALSE(has(play->channels[0], TRIGGER));
        EXPECT_EQ(play->channels[0].note, 48);
    }
}

TEST(KeyOff, WithVolumeEnvelopeReleasesSustainAndFades) {
    XmModule module = replay_module(1, 4, 1, {0});
    XmInstrument& instrument = module.instruments[0];
    instrument.volume_envelope.points = {{0, 64}, {10, 0}};
    instrument.volume_envelope.flags = 1 | 2;  // on, sustain at point 0
    instrument.fadeout = 256;
    put(module, 0, 0, 0, note_cell(49, 1));
    put(module, 0, 1, 0, note_cell(97, 0));
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    std::vector<int32_t> held = tick_values(play.get(), 6, [](const PlayState* p) { return p->channels[0].volume_envelope_value; });
    EXPECT_EQ(held, std::vector<int32_t>(6, 64));
    EXPECT_EQ(play->channels[0].fadeout_volume, 65536);
    std::vector<int32_t> values = tick_values(play.get(), 3, [](const PlayState* p) { return p->channels[0].volume_envelope_value; });
    EXPECT_EQ(values, (std::vector<int32_t>{64, 57, 51}));
    EXPECT_EQ(play->channels[0].released, 1);
    EXPECT_EQ(play->channels[0].fadeout_volume, 65536 - 3 * 512);
}

TEST(NoteStart, RealNoteWrapsAtEightBits) {
    XmModule module = replay_module(1, 4, 1, {0});
    module.instruments[0] = square_instrument(-2);
    put(module, 0, 0, 0, note_cell(1, 1));
    put(module, 0, 1, 0, note_cell(2, 1));
    put(module, 0, 2, 0, note_cell(3, 1));
    put(module, 0, 3, 0, note_cell(96, 1));
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    std::vector<int32_t> notes;
    for (int32_t row = 0; row < 4; ++row) {
        run_ticks(play.get(), 1);
        notes.push_back(play->channels[0].real_note);
        run_ticks(play.get(), 5);
    }
    EXPECT_EQ(notes, (std::vector<int32_t>{254, 255, 0, 93}));
}

TEST(NoteStart, NotesTheModuleCannotPlayAreSilentButCounted) {
    XmModule module = replay_module(2, 4, 1, {0});
    put(module, 0, 0, 0, note_cell(49, 5));   // instrument 5 of 1
    put(module, 0, 0, 1, note_cell(120, 1));  // a note above 96 that is not key off
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    run_ticks(play.get(), 1);
    EXPECT_EQ(play->channels[0].instrument, 4);
    EXPECT_EQ(play->channels[1].note, 119);
    EXPECT_EQ(play->channels[1].real_note, 119);
    for (int32_t c = 0; c < 2; ++c) {
        EXPECT_EQ(play->channel_notes[c], 1) << c;
        EXPECT_TRUE(has(play->channels[c], TRIGGER)) << c;
        EXPECT_EQ(play->channels[c].voice->sample, &empty_sample) << c;
        EXPECT_EQ(play->channels[c].volume, 0) << c;
    }
    run_ticks(play.get(), 11);
    EXPECT_EQ(play->row, 1);
}

}  // namespace
