// The file-callback table, its null-handle wrappers, and MemoryFile's clamps.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "player/module/file_access.h"
#include "player/module/song.h"
#include "support/scratch_dir.h"
#include "support/song_from_bytes.h"

namespace {

std::string write_temp_file(const std::string& folder, const std::string& name,
                            const std::vector<uint8_t>& bytes) {
    const std::string path = folder + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

std::vector<uint8_t> counting_bytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    return bytes;
}

struct MemoryFileTest : testing::Test {
    MemoryFile* open_ten_bytes() {
        path = write_temp_file(folder, "ten_bytes", counting_bytes(10));
        return static_cast<MemoryFile*>(memory_file_open(path.c_str()));
    }
    void SetUp() override {
        folder = make_scratch_dir("memory_file");
        ASSERT_FALSE(folder.empty());
    }
    void TearDown() override { remove_scratch_dir(folder); }
    std::string folder;
    std::string path;
};

TEST_F(MemoryFileTest, OpenHoldsTheWholeFile) {
    MemoryFile* file = open_ten_bytes();
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size, 10);
    EXPECT_EQ(file->position, 0);
    ASSERT_NE(file->data, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(file->data, file->data + 10), counting_bytes(10));
    memory_file_close(file);
}

TEST_F(MemoryFileTest, ReadsStopAtTheEnd) {
    MemoryFile* file = open_ten_bytes();
    std::vector<uint8_t> buffer(17, 0xEE);
    memory_file_read(buffer.data(), 17, file);
    EXPECT_EQ(memory_file_tell(file), 10);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 10), counting_bytes(10));
    // Bytes beyond those delivered are left as they were.
    EXPECT_EQ(buffer[10], 0xEE);
    EXPECT_EQ(buffer[16], 0xEE);

    std::vector<uint8_t> after(4, 0xEE);
    memory_file_read(after.data(), 4, file);
    EXPECT_EQ(after, std::vector<uint8_t>(4, 0xEE));
    EXPECT_EQ(memory_file_tell(file), 10);

    // A read ending exactly at the end delivers everything asked for.
    memory_file_seek(file, 6, 0);
    memory_file_read(buffer.data(), 4, file);
    EXPECT_EQ(memory_file_tell(file), 10);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[3], 10);
    memory_file_close(file);
}

TEST_F(MemoryFileTest, SeeksFromEachOriginStayInsideTheFile) {
    MemoryFile* file = open_ten_bytes();
    memory_file_seek(file, 4, 0);
    EXPECT_EQ(memory_file_tell(file), 4);
    memory_file_seek(file, 3, 1);
    EXPECT_EQ(memory_file_tell(file), 7);
    memory_file_seek(file, -2, 1);
    EXPECT_EQ(memory_file_tell(file), 5);
    memory_file_seek(file, 20, 1);
    EXPECT_EQ(memory_file_tell(file), 10);
    memory_file_seek(file, -3, 2);
    EXPECT_EQ(memory_file_tell(file), 7);
    memory_file_seek(file, 0, 2);
    EXPECT_EQ(memory_file_tell(file), 10);
    memory_file_seek(file, 5, 2);
    EXPECT_EQ(memory_file_tell(file), 10);
    memory_file_seek(file, 100, 0);
    EXPECT_EQ(memory_file_tell(file), 10);

    // An unknown origin leaves the position as it is.
    memory_file_seek(file, 2, 0);
    memory_file_seek(file, 9, 3);
    EXPECT_EQ(memory_file_tell(file), 2);

    // Below the start stops at the start, and a read from there starts at byte 0.
    memory_file_seek(file, -5, 1);
    EXPECT_EQ(memory_file_tell(file), 0);
    memory_file_seek(file, -50, 2);
    EXPECT_EQ(memory_file_tell(file), 0);
    uint8_t first = 0;
    memory_file_read(&first, 1, file);
    EXPECT_EQ(first, 1);
    memory_file_close(file);
}

TEST_F(MemoryFileTest, MissingFileIsAnEmptyFile) {
    MemoryFile* file = static_cast<MemoryFile*>(memory_file_open("korvanti_no_such_file.xm"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size, 0);
    EXPECT_EQ(file->data, nullptr);
    EXPECT_EQ(memory_file_tell(file), 0);
    uint8_t byte = 0x5A;
    memory_file_read(&byte, 1, file);
    memory_file_seek(file, 3, 0);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(memory_file_tell(file), 0);
    memory_file_close(file);
}

// The demo's own path: MemoryFile callbacks, song_load on a file on disk.
TEST_F(MemoryFileTest, SongLoadsThroughMemoryFile) {
    path = write_temp_file(folder, "song.xm", xm_write(one_channel_module({note_cell(49, 1)})));
    set_file_callbacks(memory_file_open, memory_file_close, memory_file_read, memory_file_seek,
                       memory_file_tell);
    SongPtr song(song_load(path.c_str(), nullptr));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->patterns[0].cells[0].note, 49);
    EXPECT_EQ(song->instruments[0].samples[0]->length, 512u);
    // A missing file reads as empty and fails the identification.
    EXPECT_EQ(song_load((folder + "/no_such_file.xm").c_str(), nullptr), nullptr);
}

// Callbacks that count their calls, to see what the wrappers pass on.
struct CallCounts {
    int open, close, read, seek, tell;
    void* last_file;
};
CallCounts calls;
int fake_file = 0;

void* counting_open(const char* name) {
    ++calls.open;
    return std::string(name) == "present" ? &fake_file : nullptr;
}
void counting_close(void* file) {
    ++calls.close;
    calls.last_file = file;
}
void counting_read(void*, int32_t, void* file) {
    ++calls.read;
    calls.last_file = file;
}
void counting_seek(void* file, int32_t, int32_t) {
    ++calls.seek;
    calls.last_file = file;
}
int32_t counting_tell(void* file) {
    ++calls.tell;
    calls.last_file = file;
    return 42;
}

struct FileCallbacksTest : testing::Test {
    void SetUp() override {
        calls = {};
        set_file_callbacks(counting_open, counting_close, counting_read, counting_seek, counting_tell);
    }
    void TearDown() override { install_memory_file_callbacks(); }
};

TEST_F(FileCallbacksTest, AnyMissingEntryEmptiesTheWholeTable) {
    ASSERT_TRUE(file_callbacks_installed());
    const FileOpenFn opens[] = {nullptr, counting_open};
    const FileCloseFn closes[] = {nullptr, counting_close};
    const FileReadFn reads[] = {nullptr, counting_read};
    const FileSeekFn seeks[] = {nullptr, counting_seek};
    const FileTellFn tells[] = {nullptr, counting_tell};
    for (int missing = 0; missing < 5; ++missing) {
        set_file_callbacks(counting_open, counting_close, counting_read, counting_seek, counting_tell);
        set_file_callbacks(opens[missing != 0], closes[missing != 1], reads[missing != 2], seeks[missing != 3],
                           tells[missing != 4]);
        EXPECT_FALSE(file_callbacks_installed()) << "missing entry " << missing;
        EXPECT_EQ(file_callbacks.open, nullptr);
        EXPECT_EQ(file_callbacks.close, nullptr);
        EXPECT_EQ(file_callbacks.read, nullptr);
        EXPECT_EQ(file_callbacks.seek, nullptr);
        EXPECT_EQ(file_callbacks.tell, nullptr);
    }
    set_file_callbacks(counting_open, counting_close, counting_read, counting_seek, counting_tell);
    EXPECT_TRUE(file_callbacks_installed());
    EXPECT_EQ(file_callbacks.tell, counting_tell);
}

TEST_F(FileCallbacksTest, NullHandleReachesNoCallback) {
    uint8_t buffer[4] = {1, 2, 3, 4};
    file_read(buffer, 4, nullptr);
    file_seek(nullptr, 3, 0);
    EXPECT_EQ(file_tell(nullptr), 0);
    file_close(nullptr);
    EXPECT_EQ(calls.read + calls.seek + calls.tell + calls.close, 0);
    EXPECT_EQ(buffer[0], 1);
}

TEST_F(FileCallbacksTest, HandleCarriesTheImplementationPointer) {
    EXPECT_EQ(file_open("absent"), nullptr);
    EXPECT_EQ(calls.open, 1);
    EXPECT_EQ(calls.close, 0);

    FileHandle* handle = file_open("present");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->file, &fake_file);
    uint8_t byte = 0;
    file_read(&byte, 1, handle);
    file_seek(handle, 1, 1);
    EXPECT_EQ(file_tell(handle), 42);
    file_close(handle);
    EXPECT_EQ(calls.read, 1);
    EXPECT_EQ(calls.seek, 1);
    EXPECT_EQ(calls.tell, 1);
    EXPECT_EQ(calls.close, 1);
    EXPECT_EQ(calls.last_file, &fake_file);
}

}  // namespace
