// File access for the module player.
//
// The player never touches files itself: every byte of a module is read
// through one process-wide table of five caller-supplied functions. The demo
// installs the MemoryFile implementation below, which reads the whole file
// into memory on open.
#pragma once

#include <cstdint>

using FileOpenFn = void* (*)(const char* name);            // null: cannot open
using FileCloseFn = void (*)(void* file);
using FileReadFn = void (*)(void* destination, int32_t count, void* file);
using FileSeekFn = void (*)(void* file, int32_t offset, int32_t origin);  // 0 start, 1 current, 2 end
using FileTellFn = int32_t (*)(void* file);

// All five set, or all five null.
struct FileCallbacks {
    FileOpenFn open;
    FileCloseFn close;
    FileReadFn read;
    FileSeekFn seek;
    FileTellFn tell;
};

extern FileCallbacks file_callbacks;

// The player's record of one open module file.
struct FileHandle {
    void* file;  // what the open callback returned
};

// Installs the table; a null argument empties all five entries.
void set_file_callbacks(FileOpenFn open, FileCloseFn close, FileReadFn read, FileSeekFn seek,
                        FileTellFn tell);
// True when all five entries are installed.
bool file_callbacks_installed();

// Null when the callback cannot open the file. The handle is released by file_close.
FileHandle* file_open(const char* name);
void file_close(FileHandle* handle);                                   // null: nothing
void file_read(void* destination, int32_t count, FileHandle* handle);  // null: reads nothing
void file_seek(FileHandle* handle, int32_t offset, int32_t origin);    // null: nothing
int32_t file_tell(FileHandle* handle);                                 // null: 0

// The demo's implementation: the whole file held in memory.
struct MemoryFile {
    int32_t size;      // bytes in the file; 0 when it could not be opened
    int32_t position;  // read position, kept within 0..size
    uint8_t* data;     // size bytes, owned; null when the file could not be opened
};

// Never null for a file that cannot be opened: that yields an empty MemoryFile.
void* memory_file_open(const char* name);
void memory_file_close(void* file);
void memory_file_read(void* destination, int32_t count, void* file);
void memory_file_seek(void* file, int32_t offset, int32_t origin);
int32_t memory_file_tell(void* file);
