// The writer's file layout where our own loader does not look: the bytes it
// skips and the size fields it ignores, which other readers of the file rely on.
#include <gtest/gtest.h>

#include <string>

#include "support/scratch_dir.h"
#include "support/song_from_bytes.h"

namespace {

uint32_t u32_at(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}
uint16_t u16_at(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

TEST(XmWriter, ModuleHeaderLayout) {
    XmModule module;
    module.name = "tune";
    module.tracker = "tracker name longer than twenty";
    const std::vector<uint8_t> bytes = xm_write(module);
    ASSERT_EQ(bytes.size(), 336u);  // no patterns, no instruments
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 17), "Extended Module: ");
    EXPECT_EQ(std::string(bytes.begin() + 17, bytes.begin() + 21), "tune");
    EXPECT_EQ(bytes[21], 0);
    EXPECT_EQ(bytes[37], 0x1A);
    EXPECT_EQ(std::string(bytes.begin() + 38, bytes.begin() + 58), "tracker name longer ");
    EXPECT_EQ(u16_at(bytes, 58), 0x0104);
    EXPECT_EQ(u32_at(bytes, 60), 276u);

    module.header_size = 280;  // four more header bytes before the first pattern
    EXPECT_EQ(xm_write(module).size(), 340u);
}

// Walks a written file by its size fields alone, as a reader that trusts
// them would, and must land exactly at the end.
TEST(XmWriter, SizeFieldsDescribeWhatFollows) {
    XmModule module;
    module.channel_count = 3;
    XmPattern pattern = empty_pattern(4, 3);
    set_cell(pattern, 3, 0, 0, note_cell(49, 1, 0x40, 0x0C, 0x20));  // every field
    set_cell(pattern, 3, 1, 2, note_cell(97, 0));                     // key off only
    set_cell(pattern, 3, 3, 1, note_cell(0, 0, 0, 0x0F, 3));
    module.patterns = {pattern, empty_pattern(64, 3)};
    XmInstrument with_samples;
    with_samples.samples = {make_sample({1, -2, 3}, false), make_sample({1000, -1000}, true, 1, 0, 2)};
    XmInstrument without_samples;
    module.instruments = {with_samples, without_samples, with_samples};
    const std::vector<uint8_t> bytes = xm_write(module);

    size_t at = 60 + u32_at(bytes, 60);
    EXPECT_EQ(u16_at(bytes, 70), 2);  // patterns
    EXPECT_EQ(u16_at(bytes, 72), 3);  // instruments
    for (int p = 0; p < 2; ++p) {
        ASSERT_EQ(u32_at(bytes, at), 9u);
        EXPECT_EQ(u16_at(bytes, at + 5), module.patterns[p].rows);
        const uint16_t packed = u16_at(bytes, at + 7);
        // Full 5-byte form only where it is not longer than the mask form.
        if (p == 0) {
            EXPECT_EQ(packed, 5 + 2 + 3 + 9 * 1u);
        }
        at += 9 + packed;
    }
    for (int i = 0; i < 3; ++i) {
        const size_t start = at;
        const uint32_t header_size = u32_at(bytes, start);
        const uint16_t samples = u16_at(bytes, start + 27);
        EXPECT_EQ(header_size, samples ? 263u : 29u) << "instrument " << i;
        if (samples) {
            EXPECT_EQ(u32_at(bytes, start + 29), 40u);  // sample header size
        }
        at = start + header_size;
        uint32_t data_bytes = 0;
        for (int j = 0; j < samples; ++j) {
            data_bytes += u32_at(bytes, at);
            at += 40;
        }
        at += data_bytes;
        ASSERT_LE(at, bytes.size());
    }
    EXPECT_EQ(at, bytes.size());
}

TEST(XmWriter, WritesFiles) {
    const std::string folder = make_scratch_dir("xm_writer");
    ASSERT_FALSE(folder.empty());
    const std::string path = folder + "/written.xm";
    const XmModule module = one_channel_module({note_cell(1, 1)});
    ASSERT_TRUE(xm_write_file(module, path));
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<uint8_t> read(100000);
    read.resize(std::fread(read.data(), 1, read.size(), file));
    std::fclose(file);
    EXPECT_EQ(read, xm_write(module));
    EXPECT_FALSE(xm_write_file(module, folder + "/no_such_dir/x.xm"));
    remove_scratch_dir(folder);
}

}  // namespace
