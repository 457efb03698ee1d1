// Loading through the public calls: from memory, a file and the caller's
// reader give the same song; what cannot be loaded says why with its code;
// a file cut short loads with a warning that names what it lacks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "player/api/api_modules.h"
#include "support/scratch_dir.h"
#include "support/song_from_bytes.h"
#include "tools/make_assets/composition.h"

namespace {

struct Reader {
    const std::vector<uint8_t>* bytes;
    size_t at;
    size_t fail_at;  // a read that reaches here fails
};

int64_t read_some(void* user, void* buffer, size_t size) {
    Reader* reader = static_cast<Reader*>(user);
    if (reader->at >= reader->fail_at) return -5;
    size_t left = reader->bytes->size() - reader->at;
    size_t count = size < left ? size : left;
    if (count > 7) count = 7;  // short reads: the loader must ask again
    std::memcpy(buffer, reader->bytes->data() + reader->at, count);
    reader->at += count;
    return static_cast<int64_t>(count);
}

std::vector<uint8_t> music_bytes() { return xm_write(compose_music()); }

TEST(Load, MemoryFileAndReaderGiveTheSameSong) {
    const std::vector<uint8_t> bytes = music_bytes();
    int error = -99;
    SongPtr from_memory(korvanti_song_load_memory(bytes.data(), bytes.size(), &error));
    ASSERT_TRUE(from_memory);
    EXPECT_EQ(error, KORVANTI_OK);
    EXPECT_EQ(korvanti_song_warning_count(from_memory.get()), 0);

    const std::string folder = make_scratch_dir("load");
    ASSERT_FALSE(folder.empty());
    const std::string path = folder + "/music.xm";
    ASSERT_TRUE(xm_write_file(compose_music(), path));
    SongPtr from_file(korvanti_song_load_file(path.c_str(), &error));
    ASSERT_TRUE(from_file);
    Reader reader = {&bytes, 0, SIZE_MAX};
    SongPtr from_reader(korvanti_song_load_callbacks(read_some, &reader, &error));
    ASSERT_TRUE(from_reader);
    remove_scratch_dir(folder);

    const std::vector<int16_t> expected = frames_of(solo_render(from_memory.get()), 0, 300000);
    EXPECT_EQ(frames_of(solo_render(from_file.get()), 0, 300000), expected);
    EXPECT_EQ(frames_of(solo_render(from_reader.get()), 0, 300000), expected);
}

TEST(Load, WhatCannotBeLoadedSaysWhy) {
    int error = 0;
    const std::vector<uint8_t> bytes = music_bytes();
    EXPECT_EQ(korvanti_song_load_memory(nullptr, 10, &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_ARGUMENT);
    EXPECT_EQ(korvanti_song_load_memory(bytes.data(), 0, &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_FORMAT);
    EXPECT_EQ(korvanti_song_load_memory("Extended Modul", 14, &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_FORMAT);
    std::vector<uint8_t> not_xm = bytes;
    not_xm[3] = 'X';
    EXPECT_EQ(korvanti_song_load_memory(not_xm.data(), not_xm.size(), &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_FORMAT);
    XmModule wide = compose_music();
    wide.channel_count = 33;
    std::vector<uint8_t> wide_bytes = xm_write(wide);
    EXPECT_EQ(korvanti_song_load_memory(wide_bytes.data(), wide_bytes.size(), &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_UNSUPPORTED);
    EXPECT_EQ(korvanti_song_load_file("/nonexistent/folder/song.xm", &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_OPEN);
    EXPECT_EQ(korvanti_song_load_file(nullptr, &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_ARGUMENT);
    Reader failing = {&bytes, 0, 5000};
    EXPECT_EQ(korvanti_song_load_callbacks(read_some, &failing, &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_READ);
    EXPECT_EQ(korvanti_song_load_callbacks(nullptr, nullptr, nullptr), nullptr);  // error may be null
    // Every code has its line.
    for (int code = 0; code >= KORVANTI_ERROR_UNAVAILABLE; --code) {
        EXPECT_GT(std::string(korvanti_error_message(code)).size(), 5u) << code;
    }
}

// A module of three patterns and two instruments, for cutting.
XmModule cuttable_module() {
    XmModule module = jumping_module();
    module.instruments[0].name = "square";
    module.instruments[1].name = "swell\x01";
    return module;
}

TEST(Load, AFileCutShortSaysWhatItLacks) {
    const std::vector<uint8_t> whole = xm_write(cuttable_module());
    SongPtr complete(load_song_handle(whole));
    ASSERT_TRUE(complete);
    EXPECT_EQ(korvanti_song_warning_count(complete.get()), 0);
    EXPECT_EQ(korvanti_song_warning(complete.get(), 0), nullptr);
    // Where the parts begin: the header ends at 60 + 276; each pattern holds a
    // 9-byte header and its packed cells.
    struct Cut {
        size_t bytes;
        std::string warning;  // "" when the load is refused
    };
    const size_t header_end = 336;
    const size_t pattern0_size = 9 + (whole[header_end + 7] | whole[header_end + 8] << 8);
    std::vector<Cut> cuts = {
        {300, "part of the module header, patterns 0-2, all 2 instruments"},
        {header_end + 4, "the end of pattern 0, patterns 1-2, all 2 instruments"},
        {header_end + pattern0_size + 20, "the end of pattern 1, pattern 2, all 2 instruments"},
        {whole.size() - 30, "30 bytes of the 600 of sample 0 of instrument 2 (\"swell?\")"},
    };
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.bytes);
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + long(cut.bytes));
        int error = 0;
        SongPtr song(korvanti_song_load_memory(bytes.data(), bytes.size(), &error));
        ASSERT_TRUE(song) << korvanti_error_message(error);
        ASSERT_EQ(korvanti_song_warning_count(song.get()), 1);
        EXPECT_EQ(std::string(korvanti_song_warning(song.get(), 0)),
                  "cut short after " + std::to_string(cut.bytes) + " bytes: " + cut.warning + " missing");
        // What is there plays.
        EXPECT_FALSE(solo_render(song.get()).empty());
    }
    // Cut anywhere, a module loads with one warning that names the size, or
    // is refused with a code; never anything else.
    for (size_t size = 17; size < whole.size(); size += 37) {
        int error = 0;
        SongPtr song(korvanti_song_load_memory(whole.data(), size, &error));
        if (!song) {
            EXPECT_TRUE(error == KORVANTI_ERROR_FORMAT || error == KORVANTI_ERROR_UNSUPPORTED) << size;
            continue;
        }
        ASSERT_EQ(korvanti_song_warning_count(song.get()), 1) << size;
        EXPECT_EQ(std::string(korvanti_song_warning(song.get(), 0)).rfind("cut short after " + std::to_string(size) + " bytes: ", 0), 0u)
            << korvanti_song_warning(song.get(), 0);
    }
}

}  // namespace
