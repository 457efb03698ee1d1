// In-memory module files for the tests, and builders of tiny modules.
#include "support/song_from_bytes.h"

#include <algorithm>
#include <map>
#include <string>

#include "player/module/file_access.h"

const char* const MEMORY_MODULE_NAME = "memory:module.xm";

namespace {

struct MemoryCursor {
    const std::vector<uint8_t>* bytes;
    int64_t position;  // 0..size
};

std::map<std::string, std::vector<uint8_t>>& registered_files() {
    static std::map<std::string, std::vector<uint8_t>> files;
    return files;
}

int32_t open_count = 0;

int64_t cursor_size(const MemoryCursor* cursor) { return static_cast<int64_t>(cursor->bytes->size()); }

void* cursor_open(const char* name) {
    auto found = registered_files().find(name);
    if (found == registered_files().end()) return nullptr;
    ++open_count;
    return new MemoryCursor{&found->second, 0};
}

void cursor_close(void* file) {
    --open_count;
    delete static_cast<MemoryCursor*>(file);
}

void cursor_read(void* destination, int32_t count, void* file) {
    MemoryCursor* cursor = static_cast<MemoryCursor*>(file);
    const int64_t available = cursor_size(cursor) - cursor->position;
    const int64_t n = count < available ? count : available;
    if (n <= 0) return;
    std::copy(cursor->bytes->begin() + cursor->position, cursor->bytes->begin() + cursor->position + n,
              static_cast<uint8_t*>(destination));
    cursor->position += n;
}

void cursor_seek(void* file, int32_t offset, int32_t origin) {
    MemoryCursor* cursor = static_cast<MemoryCursor*>(file);
    int64_t position = cursor->position;
    if (origin == 0) position = offset;
    if (origin == 1) position += offset;
    if (origin == 2) position = cursor_size(cursor) + offset;
    if (position > cursor_size(cursor)) position = cursor_size(cursor);
    if (position < 0) position = 0;
    cursor->position = position;
}

int32_t cursor_tell(void* file) { return static_cast<int32_t>(static_cast<MemoryCursor*>(file)->position); }

}  // namespace

void register_memory_file(const char* name, const std::vector<uint8_t>& bytes) {
    registered_files()[name] = bytes;
    install_memory_file_callbacks();
}

void install_memory_file_callbacks() {
    set_file_callbacks(cursor_open, cursor_close, cursor_read, cursor_seek, cursor_tell);
}

int32_t memory_files_open() { return open_count; }

Song* load_song_from_bytes(const std::vector<uint8_t>& bytes, SampleDataSource sample_data_source) {
    register_memory_file(MEMORY_MODULE_NAME, bytes);
    return song_load(MEMORY_MODULE_NAME, sample_data_source);
}

Song* load_song_from_module(const XmModule& module, SampleDataSource sample_data_source) {
    return load_song_from_bytes(xm_write(module), sample_data_source);
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
