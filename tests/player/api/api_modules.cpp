#include "player/api/api_modules.h"

#include <algorithm>

#include "support/song_from_bytes.h"

namespace {

constexpr uint16_t ROWS = 16;
constexpr uint16_t CHANNELS = 2;

XmCell cell(uint8_t note, uint8_t instrument, uint8_t effect = 0, uint8_t param = 0, uint8_t volume = 0) {
    return note_cell(note, instrument, volume, effect, param);
}

// Two looping instruments: a square wave, and a ping-pong saw with a volume
// envelope and auto-vibrato.
std::vector<XmInstrument> two_instruments() {
    XmInstrument square = instrument_with_sample(square_sample(40, 6, 12000));
    std::vector<int16_t> saw;
    for (int i = 0; i < 300; ++i) saw.push_back(static_cast<int16_t>(i * 90 - 13500));
    XmInstrument swell = instrument_with_sample(make_sample(saw, true, 2, 40, 250));
    swell.volume_envelope.points = {{0, 10}, {8, 64}, {30, 20}, {60, 40}};
    swell.volume_envelope.flags = 1 | 4;
    swell.volume_envelope.loop_start = 1;
    swell.volume_envelope.loop_end = 3;
    swell.vibrato_type = 0;
    swell.vibrato_depth = 6;
    swell.vibrato_rate = 20;
    swell.fadeout = 900;
    return {square, swell};
}

}  // namespace

XmModule jumping_module() {
    XmModule module;
    module.channel_count = CHANNELS;
    module.song_length = 3;
    module.orders = {0, 1, 1};
    XmPattern loop = empty_pattern(ROWS, CHANNELS);
    XmPattern breaks = empty_pattern(ROWS, CHANNELS);
    for (uint16_t row = 0; row < ROWS; row += 2) {
        set_cell(loop, CHANNELS, row, 0, cell(static_cast<uint8_t>(49 + row), 1));
        set_cell(loop, CHANNELS, row, 1, cell(static_cast<uint8_t>(37 + row), 2, 4, 0x46, 0x30));
        set_cell(breaks, CHANNELS, row, 0, cell(static_cast<uint8_t>(55 - row), 2, 0xA, 0x02));
        set_cell(breaks, CHANNELS, row, 1, cell(static_cast<uint8_t>(44 + row / 2), 1, 0, 0, 0x60 + 3));
    }
    set_cell(loop, CHANNELS, 2, 0, cell(51, 1, 0xE, 0x60));
    set_cell(loop, CHANNELS, 3, 1, cell(0, 0, 0xE, 0x53));
    set_cell(loop, CHANNELS, 5, 0, cell(0, 0, 0xE, 0x62));
    set_cell(breaks, CHANNELS, 9, 1, cell(0, 0, 0xD, 0x04));
    set_cell(breaks, CHANNELS, 3, 1, cell(0, 0, 0xF, 0x03));
    module.patterns = {loop, breaks};
    module.instruments = two_instruments();
    // The last order jumps back: play returns to order 1 row 0.
    XmPattern last = breaks;
    set_cell(last, CHANNELS, 9, 1, cell(0, 0, 0, 0));
    set_cell(last, CHANNELS, 7, 1, cell(0, 0, 0xF, 0x90));
    set_cell(last, CHANNELS, 11, 1, cell(0, 0, 0xB, 0x01));
    module.patterns.push_back(last);
    module.orders = {0, 1, 2};
    return module;
}

XmModule finetune_module() {
    XmModule module = jumping_module();
    module.flags = 0;  // Amiga periods: finetune moves every note
    for (XmPattern& pattern : module.patterns) {
        for (uint16_t row = 1; row < ROWS; row += 4) {
            set_cell(pattern, CHANNELS, row, 0, cell(60, 1, 0xE, static_cast<uint8_t>(0x50 + row % 16)));
        }
    }
    return module;
}

std::vector<int16_t> solo_render(korvanti_song* song, int32_t rate, int64_t chunk) {
    PlayerPtr player = offline_player(rate);
    if (!player || korvanti_player_start(player.get(), song) != KORVANTI_OK) return {};
    return render_all(player.get(), chunk);
}

std::vector<int16_t> frames_of(const std::vector<int16_t>& pcm, int64_t from, int64_t count) {
    int64_t frames = static_cast<int64_t>(pcm.size() / 2);
    int64_t first = std::min(from, frames);
    int64_t last = std::min(from + count, frames);
    return std::vector<int16_t>(pcm.begin() + first * 2, pcm.begin() + last * 2);
}

int64_t first_difference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) return static_cast<int64_t>(i / 2);
    }
    return a.size() == b.size() ? -1 : static_cast<int64_t>(common / 2);
}
