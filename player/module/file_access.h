// File access for the module player.
//
// The player never touches files itself: every byte of a module is read
// through one process-wide table of five caller-supplied functions. The demo
// installs the MemoryFile implementation below, which reads the whole file
// into memory on open. The function types, set_file_callbacks and the
// memory file's operations are public (korvanti/player.h).
#pragma once

#include <cstdint>

#include "korvanti/player.h"

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

// True when all five entries are installed.
bool file_callbacks_installed();

// Null when the table is empty or the callback cannot open the file. The
// handle is released by file_close.
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
// memory_file_open gives a MemoryFile; one that could not be opened is empty.
