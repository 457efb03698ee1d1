// In-memory module files for the tests, players made for them, and builders
// of tiny modules.
#include "support/song_from_bytes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "player/module/file_access.h"
#include "player/output/sound_device_virtual.h"
#include "player/replay/sequencer.h"

namespace korvanti {
// Made by the player's API layer for tests.
Player* player_create_on_device(int32_t rate, const SoundDeviceOps* device, int* error);
}  // namespace korvanti

namespace {

using korvanti::MemoryFile;

int32_t open_count = 0;

// The memory file's operations, counting opens and closes.
void counted_close(void* file) {
    --open_count;
    korvanti::memory_file_close(file);
}

const korvanti::FileCallbacks COUNTED_FILE = {korvanti::memory_file_open, counted_close,
                                             korvanti::memory_file_read, korvanti::memory_file_seek,
                                             korvanti::memory_file_tell};

}  // namespace

int32_t memory_files_open() { return open_count; }

korvanti::Song* load_song_from_bytes(const std::vector<uint8_t>& bytes, korvanti::SampleDataSource sample_data_source,
                                     korvanti::LoadResult* result) {
    korvanti::MemoryFileResult made;
    MemoryFile* memory = korvanti::memory_file_of_bytes(bytes.data(), bytes.size(), &made);
    if (memory == nullptr) return nullptr;
    ++open_count;
    korvanti::FileHandle* file = korvanti::file_adopt(&COUNTED_FILE, memory);
    korvanti::LoadResult loaded = korvanti::LoadResult::LOADED;
    korvanti::Song* song = korvanti::song_load_module(file, sample_data_source, &loaded);
    korvanti::file_close(file);
    if (song != nullptr) song->on_tick = korvanti::sequencer_tick;
    if (result != nullptr) *result = loaded;
    return song;
}

korvanti::Song* load_song_record(const XmModule& module, korvanti::SampleDataSource sample_data_source,
                                 korvanti::LoadResult* result) {
    return load_song_from_bytes(xm_write(module), sample_data_source, result);
}

korvanti_song* load_song_handle(const std::vector<uint8_t>& bytes) {
    return korvanti_song_load_memory(bytes.data(), bytes.size(), nullptr);
}

korvanti_song* load_song_from_module(const XmModule& module) { return load_song_handle(xm_write(module)); }

korvanti_song* handle_of_song(korvanti::Song* song) {
    auto* handle = new korvanti::SongHandle{};
    handle->song = song;
    return reinterpret_cast<korvanti_song*>(handle);
}

korvanti::Song* hooked_song(int16_t channel_count, korvanti::SongHook on_tick, korvanti::SongHook on_play_start) {
    auto* song = static_cast<korvanti::Song*>(std::calloc(1, sizeof(korvanti::Song)));
    if (song == nullptr) return nullptr;
    song->channel_count = channel_count;
    song->song_length = 1;
    song->default_tempo = 6;
    song->default_bpm = 125;
    song->initial_global_volume = 64;
    song->on_tick = on_tick;
    song->on_play_start = on_play_start;
    return song;
}

PlayerPtr offline_player(int32_t rate) { return PlayerPtr(korvanti_player_create(rate, nullptr)); }

PlayerPtr virtual_live_player(int32_t rate) {
    return PlayerPtr(reinterpret_cast<korvanti_player*>(
        korvanti::player_create_on_device(rate, korvanti::virtual_sound_device(), nullptr)));
}

PlayerPtr live_player_on(const korvanti::SoundDeviceOps* device, int32_t rate, int* error) {
    return PlayerPtr(reinterpret_cast<korvanti_player*>(korvanti::player_create_on_device(rate, device, error)));
}

const int16_t* render_next_block(korvanti_player* player, korvanti::SyncSnapshot* snapshot) {
    korvanti::Player* record = player_of(player);
    if (record->run != korvanti::StreamRun::RENDER) return nullptr;
    int32_t ring = record->write_block.load();
    korvanti::render_block(record, false);
    if (snapshot != nullptr) *snapshot = record->block_ring[ring].snapshot;
    return record->output_ring + static_cast<size_t>(ring) * static_cast<size_t>(record->block_frames) * 2;
}

std::vector<int16_t> render_frames(korvanti_player* player, int64_t frames) {
    std::vector<int16_t> pcm(static_cast<size_t>(frames) * 2);
    int64_t got = korvanti_player_render(player, pcm.data(), frames);
    pcm.resize(got > 0 ? static_cast<size_t>(got) * 2 : 0);
    return pcm;
}

std::vector<int16_t> render_all(korvanti_player* player, int64_t chunk) {
    std::vector<int16_t> pcm;
    std::vector<int16_t> piece(static_cast<size_t>(chunk) * 2);
    for (int64_t got; (got = korvanti_player_render(player, piece.data(), chunk)) > 0;) {
        pcm.insert(pcm.end(), piece.begin(), piece.begin() + got * 2);
    }
    return pcm;
}

XmCell note_cell(uint8_t note, uint8_t instrument, uint8_t volume, uint8_t effect, uint8_t param) {
    XmCell cell;
    cell.note = note;
    cell.instrument = instrument;
    cell.volume = volume;
    cell.effect = effect;
    cell.param = param;
    return cell;
}

XmPattern empty_pattern(uint16_t rows, uint16_t channels) {
    XmPattern pattern;
    pattern.rows = rows;
    pattern.cells.assign(static_cast<size_t>(rows) * channels, XmCell{});
    return pattern;
}

void set_cell(XmPattern& pattern, uint16_t channels, uint16_t row, uint16_t channel, const XmCell& cell) {
    const size_t index = static_cast<size_t>(row) * channels + channel;
    if (pattern.cells.size() <= index) pattern.cells.resize(index + 1);
    pattern.cells[index] = cell;
}

XmSample make_sample(const std::vector<int16_t>& values, bool sixteen_bit, uint8_t loop_type,
                     uint32_t loop_start, uint32_t loop_length) {
    XmSample sample;
    sample.values = values;
    sample.type = static_cast<uint8_t>((sixteen_bit ? 0x10 : 0) | (loop_type & 3));
    sample.loop_start = loop_start;
    sample.loop_length = loop_length;
    return sample;
}

XmSample square_sample(uint32_t period, uint32_t cycles, int16_t amplitude) {
    std::vector<int16_t> values;
    for (uint32_t c = 0; c < cycles; ++c)
        for (uint32_t k = 0; k < period; ++k)
            values.push_back(k < period / 2 ? amplitude : static_cast<int16_t>(-amplitude));
    return make_sample(values, true, 1, 0, static_cast<uint32_t>(values.size()));
}

XmInstrument instrument_with_sample(const XmSample& sample) {
    XmInstrument instrument;
    instrument.samples.push_back(sample);
    return instrument;
}

XmModule module_with_cells(uint16_t channels, const std::vector<XmCell>& cells, uint16_t rows,
                           const std::vector<XmInstrument>& instruments) {
    XmModule module;
    module.channel_count = channels;
    module.song_length = 1;
    module.orders = {0};
    const size_t cell_rows = channels ? (cells.size() + channels - 1) / channels : 0;
    XmPattern pattern = empty_pattern(static_cast<uint16_t>(cell_rows > rows ? cell_rows : rows), channels);
    std::copy(cells.begin(), cells.end(), pattern.cells.begin());
    module.patterns.push_back(pattern);
    module.instruments = instruments;
    return module;
}

XmModule one_channel_module(const std::vector<XmCell>& rows) {
    return module_with_cells(1, rows, static_cast<uint16_t>(rows.size()),
                             {instrument_with_sample(square_sample(64, 8))});
}
