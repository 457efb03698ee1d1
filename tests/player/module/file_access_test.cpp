// The file-callback table, its null-handle wrappers, MemoryFile's clamps,
// and memory files made from bytes, a file or a reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "player/module/file_access.h"
#include "player/module/song.h"
#include "support/scratch_dir.h"
#include "support/song_from_bytes.h"

using namespace korvanti;

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

// A file on disk through the public load, and through the loader's own
// file table, as a program embedding the player reaches it.
TEST_F(MemoryFileTest, SongLoadsFromAFile) {
    path = write_temp_file(folder, "song.xm", xm_write(one_channel_module({note_cell(49, 1)})));
    int error = -100;
    SongPtr song(korvanti_song_load_file(path.c_str(), &error));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(error, KORVANTI_OK);
    const Song* loaded = song_of(song.get());
    EXPECT_EQ(loaded->patterns[0].cells[0].note, 49);
    EXPECT_EQ(loaded->instruments[0].samples[0]->length, 512u);

    FileHandle* file = file_open(&memory_file_callbacks, path.c_str());
    ASSERT_NE(file, nullptr);
    LoadResult result = LoadResult::NOT_XM;
    SongRecordPtr record(song_load_module(file, nullptr, &result));
    file_close(file);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(result, LoadResult::LOADED);
    EXPECT_EQ(record->patterns[0].cells[0].note, 49);

    // A missing file is an error of its own; through the file table it reads
    // as empty and fails the identification.
    error = 0;
    EXPECT_EQ(korvanti_song_load_file((folder + "/no_such_file.xm").c_str(), &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_OPEN);
    file = file_open(&memory_file_callbacks, (folder + "/no_such_file.xm").c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(song_load_module(file, nullptr, &result), nullptr);
    EXPECT_EQ(result, LoadResult::NOT_XM);
    file_close(file);
}

// Memory files made from the caller's bytes and from the caller's reader.
TEST(MemoryFileMaking, CopiesTheBytesAndReadsAReaderToItsEnd) {
    std::vector<uint8_t> bytes = counting_bytes(300000);
    MemoryFileResult made = MemoryFileResult::NO_MEMORY;
    MemoryFile* copy = memory_file_of_bytes(bytes.data(), bytes.size(), &made);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(made, MemoryFileResult::MADE);
    bytes[7] = 0;  // the copy is the file's own
    ASSERT_EQ(copy->size, 300000);
    EXPECT_EQ(copy->data[7], 8);
    memory_file_close(copy);
    MemoryFile* empty = memory_file_of_bytes(nullptr, 0, &made);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->size, 0);
    memory_file_close(empty);

    // A reader handing over odd pieces (more than one buffer's growth): all
    // of it, in order.
    struct Source {
        const std::vector<uint8_t>* bytes;
        size_t at;
        int32_t calls;
    } source = {&bytes, 0, 0};
    auto pieces = [](void* user, void* buffer, size_t size) -> int64_t {
        auto* from = static_cast<Source*>(user);
        from->calls += 1;
        size_t piece = std::min<size_t>({size, from->bytes->size() - from->at, 7777});
        std::memcpy(buffer, from->bytes->data() + from->at, piece);
        from->at += piece;
        return static_cast<int64_t>(piece);
    };
    MemoryFile* read = memory_file_read_all(pieces, &source, &made);
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->size, 300000);
    EXPECT_EQ(std::vector<uint8_t>(read->data, read->data + read->size), bytes);
    EXPECT_GT(source.calls, 300000 / 7777);
    memory_file_close(read);

    // A reader that fails makes nothing, and the public load says why.
    auto failing = [](void*, void*, size_t) -> int64_t { return -1; };
    EXPECT_EQ(memory_file_read_all(failing, nullptr, &made), nullptr);
    EXPECT_EQ(made, MemoryFileResult::CANNOT_READ);
    int error = 0;
    EXPECT_EQ(korvanti_song_load_callbacks(failing, nullptr, &error), nullptr);
    EXPECT_EQ(error, KORVANTI_ERROR_READ);
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

const FileCallbacks COUNTING = {counting_open, counting_close, counting_read, counting_seek, counting_tell};

struct FileCallbacksTest : testing::Test {
    void SetUp() override { calls = {}; }
};

TEST_F(FileCallbacksTest, ATableMissingAnyEntryOpensNothing) {
    ASSERT_TRUE(file_callbacks_complete(&COUNTING));
    EXPECT_FALSE(file_callbacks_complete(nullptr));
    for (int missing = 0; missing < 5; ++missing) {
        FileCallbacks table = COUNTING;
        if (missing == 0) table.open = nullptr;
        if (missing == 1) table.close = nullptr;
        if (missing == 2) table.read = nullptr;
        if (missing == 3) table.seek = nullptr;
        if (missing == 4) table.tell = nullptr;
        EXPECT_FALSE(file_callbacks_complete(&table)) << "missing entry " << missing;
        EXPECT_EQ(file_open(&table, "present"), nullptr) << "missing entry " << missing;
        EXPECT_EQ(file_adopt(&table, &fake_file), nullptr) << "missing entry " << missing;
    }
    EXPECT_EQ(file_open(nullptr, "present"), nullptr);
    EXPECT_EQ(calls.open + calls.close, 0);
}

TEST_F(FileCallbacksTest, NullHandleReachesNoCallback) {
    uint8_t buffer[4] = {1, 2, 3, 4};
    file_read(buffer, 4, nullptr);
    file_seek(nullptr, 3, 0);
    EXPECT_EQ(file_tell(nullptr), 0);
    file_close(nullptr);
    EXPECT_EQ(file_adopt(&COUNTING, nullptr), nullptr);
    EXPECT_EQ(calls.read + calls.seek + calls.tell + calls.close, 0);
    EXPECT_EQ(buffer[0], 1);
}

TEST_F(FileCallbacksTest, HandleCarriesTheImplementationPointer) {
    EXPECT_EQ(file_open(&COUNTING, "absent"), nullptr);
    EXPECT_EQ(calls.open, 1);
    EXPECT_EQ(calls.close, 0);

    FileHandle* handle = file_open(&COUNTING, "present");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->file, &fake_file);
    EXPECT_EQ(handle->callbacks, &COUNTING);
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
