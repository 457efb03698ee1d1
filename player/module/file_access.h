// File access for the module loader.
//
// The loader never touches files itself: every byte of a module is read
// through a table of five functions, one open file at a time. The player's
// own table is the memory file's: the whole file, or the bytes a caller
// handed over, held in memory, with reads cut at the end and seeks that stop
// at both ends.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvanti {

// What the open callback returned is passed to the other four.
using FileOpenFn = void* (*)(const char* name);  // null: the file cannot be opened
using FileCloseFn = void (*)(void* file);
using FileReadFn = void (*)(void* destination, int32_t count, void* file);  // count in bytes
using FileSeekFn = void (*)(void* file, int32_t offset, int32_t origin);    // origin 0 start, 1 current, 2 end
using FileTellFn = int32_t (*)(void* file);                                 // bytes from the start

// All five set, or the table is not usable.
struct FileCallbacks {
    FileOpenFn open;
    FileCloseFn close;
    FileReadFn read;
    FileSeekFn seek;
    FileTellFn tell;
};

// The loader's record of one open module file.
struct FileHandle {
    const FileCallbacks* callbacks;
    void* file;  // what the open callback returned
};

// True when all five entries are set.
bool file_callbacks_complete(const FileCallbacks* callbacks);

// Null when the table is incomplete or the callback cannot open the file.
// The handle is released by file_close.
FileHandle* file_open(const FileCallbacks* callbacks, const char* name);
// A handle over a file opened otherwise (memory_file_of_bytes); null: null.
FileHandle* file_adopt(const FileCallbacks* callbacks, void* file);
void file_close(FileHandle* handle);                                   // null: nothing
void file_read(void* destination, int32_t count, FileHandle* handle);  // null: reads nothing
void file_seek(FileHandle* handle, int32_t offset, int32_t origin);    // null: nothing
int32_t file_tell(FileHandle* handle);                                 // null: 0

// The whole file held in memory.
struct MemoryFile {
    int32_t size;      // bytes in the file; 0 when it could not be opened
    int32_t position;  // read position, kept within 0..size
    uint8_t* data;     // size bytes, owned; null when the file could not be opened
};

// The memory file's five operations. memory_file_open never fails for a
// missing file (it reads as empty); it gives null only without memory.
void* memory_file_open(const char* name);
void memory_file_close(void* file);
void memory_file_read(void* destination, int32_t count, void* file);
void memory_file_seek(void* file, int32_t offset, int32_t origin);
int32_t memory_file_tell(void* file);

extern const FileCallbacks memory_file_callbacks;

// Why a memory file could not be made.
enum class MemoryFileResult { MADE, NO_MEMORY, CANNOT_OPEN, CANNOT_READ, TOO_LARGE };

// A memory file holding a copy of `size` bytes; null (with the reason) when
// memory runs out or the bytes exceed 32-bit positions.
MemoryFile* memory_file_of_bytes(const void* bytes, size_t size, MemoryFileResult* result);
// A memory file holding the whole named file; null (with the reason) when it
// cannot be opened or read.
MemoryFile* memory_file_load(const char* path, MemoryFileResult* result);
// A memory file holding what `read` delivers until it returns 0; null (with
// the reason) when it returns a negative number or memory runs out.
using ReadFn = int64_t (*)(void* user, void* buffer, size_t size);
MemoryFile* memory_file_read_all(ReadFn read, void* user, MemoryFileResult* result);

}  // namespace korvanti
