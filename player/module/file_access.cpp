// STUB: to be replaced.
#include "player/module/file_access.h"
FileCallbacks file_callbacks = {};
void set_file_callbacks(FileOpenFn, FileCloseFn, FileReadFn, FileSeekFn, FileTellFn) {}
bool file_callbacks_installed() { return false; }
FileHandle* file_open(const char*) { return nullptr; }
void file_close(FileHandle*) {}
void file_read(void*, int32_t, FileHandle*) {}
void file_seek(FileHandle*, int32_t, int32_t) {}
int32_t file_tell(FileHandle*) { return 0; }
void* memory_file_open(const char*) { return nullptr; }
void memory_file_close(void*) {}
void memory_file_read(void*, int32_t, void*) {}
void memory_file_seek(void*, int32_t, int32_t) {}
int32_t memory_file_tell(void*) { return 0; }
