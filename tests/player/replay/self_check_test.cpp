// Self-checking pairs: two channels fed commands that must come to the same
// thing, one through an effect and one through its plain equivalent, compared
// after every tick down to their voices.
#include <gtest/gtest.h>

#include "player/replay/channel.h"
#include "replay_harness.h"

using namespace korvanti;

namespace {

// Reports the first field in which two channels (and their voices) differ.
::testing::AssertionResult same_state(const Channel& a, const Channel& b) {
    const Voice& x = *a.voice;
    const Voice& y = *b.voice;
    struct Field {
        const char* name;
        int64_t first;
        int64_t second;
    };
    const Field fields[] = {
        {"period", a.period, b.period},
        {"period_delta", a.period_delta, b.period_delta},
        {"volume", a.volume, b.volume},
        {"volume_delta", a.volume_delta, b.volume_delta},
        {"panning", a.panning, b.panning},
        {"note_period", a.note_period, b.note_period},
        {"volume_envelope_value", a.volume_envelope_value, b.volume_envelope_value},
        {"fadeout_volume", a.fadeout_volume, b.fadeout_volume},
        {"voice frequency", x.frequency, y.frequency},
        {"voice volume", x.volume, y.volume},
        {"voice panning", x.panning, y.panning},
        {"voice left_volume", x.left_volume, y.left_volume},
        {"voice right_volume", x.right_volume, y.right_volume},
        {"voice position_int", x.position_int, y.position_int},
        {"voice step_int", x.step_int, y.step_int},
        {"voice step_frac", x.step_frac, y.step_frac},
        {"voice sample", x.sample == y.sample, 1},
        {"on the twin voice", x.index >= 32, y.index >= 32},
    };
    for (const Field& field : fields) {
        if (field.first != field.second) {
            return ::testing::AssertionFailure() << field.name << ": " << field.first << " vs " << field.second;
        }
    }
    return ::testing::AssertionSuccess();
}

// Rows of (channel 0 cell, channel 1 cell), played at `tempo`, compared
// after every tick or only at the end of every row.
void expect_same_channels(const std::vector<std::pair<XmCell, XmCell>>& rows, uint16_t tempo,
                          bool every_tick = true) {
    XmModule module = replay_module(2, static_cast<uint16_t>(rows.size()), 1, {0});
    module.default_tempo = tempo;
    for (size_t r = 0; r < rows.size(); ++r) {
        put(module, 0, static_cast<uint16_t>(r), 0, rows[r].first);
        put(module, 0, static_cast<uint16_t>(r), 1, rows[r].second);
    }
    PlayPtr play = start_replay(module);
    ASSERT_TRUE(play);
    int32_t ticks = static_cast<int32_t>(rows.size()) * tempo;
    for (int32_t t = 0; t < ticks; ++t) {
        int32_t row = play->tick == 0 ? -1 : play->row;
        sequencer_tick(play.get());
        if (row < 0) row = play->row;
        if (!every_tick && play->tick != 0) continue;
        ASSERT_TRUE(same_state(play->channels[0], play->channels[1])) << "row " << row << ", tick " << play->tick;
    }
    // The pair must have done something for the comparison to mean anything.
    EXPECT_NE(play->channels[0].period, 0);
    EXPECT_NE(play->channels[0].voice->sample, nullptr);
}

TEST(SelfCheck, FirstTickEffectsAndTheirVolumeColumnTwins) {
    expect_same_channels({{note_cell(49, 1, 0, 0x0C, 0x20), note_cell(49, 1, 0x30)},  // C20 / set 32
                          {note_cell(0, 0, 0, 0x0E, 0x8A), note_cell(0, 0, 0xCA)},    // E8A / panning
                          {note_cell(0, 0, 0, 0x0E, 0xA5), note_cell(0, 0, 0x95)},    // EA5 / fine up
                          {note_cell(0, 0, 0, 0x0E, 0xB7), note_cell(0, 0, 0x87)},    // EB7 / fine down
                          {note_cell(0, 0, 0, 0x0E, 0xA0), note_cell(0, 0, 0x97)}},   // EA memory 7
                         3);
}

TEST(SelfCheck, FinePortamentoAndExtraFineInQuarters) {
    expect_same_channels({{note_cell(49, 1), note_cell(49, 1)},
                          {note_cell(0, 0, 0, 0x0E, 0x13), note_cell(0, 0, 0, 0x21, 0x1C)},
                          {note_cell(0, 0, 0, 0x0E, 0x10), note_cell(0, 0, 0, 0x21, 0x10)},
                          {note_cell(0, 0, 0, 0x0E, 0x22), note_cell(0, 0, 0, 0x21, 0x28)},
                          {note_cell(0, 0, 0, 0x0E, 0x20), note_cell(0, 0, 0, 0x21, 0x20)}},
                         4);
}

TEST(SelfCheck, RetriggerAndMultiRetrigWithoutVolumeChange) {
    expect_same_channels({{note_cell(49, 1, 0, 0x0E, 0x93), note_cell(49, 1, 0, 0x1B, 0x03)},
                          {note_cell(61, 1, 0, 0x0E, 0x92), note_cell(61, 1, 0, 0x1B, 0x02)}},
                         7);
}

TEST(SelfCheck, PortamentoUpAgainstFinePortamento) {
    // At speed 2 a portamento of x moves once a row, like a fine one of x.
    expect_same_channels({{note_cell(49, 1), note_cell(49, 1)},
                          {note_cell(0, 0, 0, 0x01, 0x05), note_cell(0, 0, 0, 0x0E, 0x15)},
                          {note_cell(0, 0, 0, 0x01, 0x00), note_cell(0, 0, 0, 0x0E, 0x10)},
                          {note_cell(0, 0, 0, 0x02, 0x03), note_cell(0, 0, 0, 0x0E, 0x23)},
                          {note_cell(0, 0, 0, 0x00, 0x00), note_cell(0, 0, 0, 0x00, 0x00)}},
                         2, false);
}

TEST(SelfCheck, TonePortamentoMemoriesAgree) {
    // 3xx and 5xy share the speed; 5 with no slide is a plain tone portamento.
    expect_same_channels({{note_cell(49, 1), note_cell(49, 1)},
                          {note_cell(73, 0, 0, 0x03, 0x08), note_cell(73, 0, 0, 0x03, 0x08)},
                          {note_cell(0, 0, 0, 0x05, 0x00), note_cell(0, 0, 0, 0x03, 0x00)},
                          {note_cell(0, 0, 0, 0x05, 0x00), note_cell(0, 0, 0, 0x03, 0x00)}},
                         6);
}

}  // namespace
