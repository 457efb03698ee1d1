// The file-callback table, the player's wrappers around it, and MemoryFile.
#include "player/module/file_access.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

FileCallbacks file_callbacks = {};

void set_file_callbacks(FileOpenFn open, FileCloseFn close, FileReadFn read, FileSeekFn seek,
                        FileTellFn tell) {
    // Never partly installed: one missing entry empties the table.
    if (!open || !close || !read || !seek || !tell) {
        file_callbacks = {};
        return;
    }
    file_callbacks = {open, close, read, seek, tell};
}

bool file_callbacks_installed() {
    return file_callbacks.open && file_callbacks.close && file_callbacks.read && file_callbacks.seek &&
           file_callbacks.tell;
}

FileHandle* file_open(const char* name) {
    // A library user may load before installing anything.
    if (!file_callbacks_installed()) return nullptr;
    FileHandle* handle = static_cast<FileHandle*>(std::calloc(1, sizeof(FileHandle)));
    if (!handle) return nullptr;
    handle->file = file_callbacks.open(name);
    if (!handle->file) {
        std::free(handle);
        return nullptr;
    }
    return handle;
}

void file_close(FileHandle* handle) {
    if (!handle) return;
    file_callbacks.close(handle->file);
    std::free(handle);
}

void file_read(void* destination, int32_t count, FileHandle* handle) {
    if (handle) file_callbacks.read(destination, count, handle->file);
}

void file_seek(FileHandle* handle, int32_t offset, int32_t origin) {
    if (handle) file_callbacks.seek(handle->file, offset, origin);
}

int32_t file_tell(FileHandle* handle) { return handle ? file_callbacks.tell(handle->file) : 0; }

void* memory_file_open(const char* name) {
    MemoryFile* memory = static_cast<MemoryFile*>(std::calloc(1, sizeof(MemoryFile)));
    if (!memory) return nullptr;
    FILE* file = std::fopen(name, "rb");
    if (!file) return memory;  // a missing file reads as an empty one
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    // Larger than a 32-bit size (or unmeasurable) reads as empty, like a
    // missing file: positions are 32-bit.
    if (size > 0 && size <= INT32_MAX) {
        memory->data = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1));
        if (memory->data) {
            memory->size = static_cast<int32_t>(size);
            std::fseek(file, 0, SEEK_SET);
            // A short read leaves the zero fill in place.
            const size_t got = std::fread(memory->data, 1, static_cast<size_t>(size), file);
            (void)got;
        }
    }
    std::fclose(file);
    return memory;
}

void memory_file_close(void* file) {
    MemoryFile* memory = static_cast<MemoryFile*>(file);
    if (!memory) return;
    std::free(memory->data);
    std::free(memory);
}

void memory_file_read(void* destination, int32_t count, void* file) {
    MemoryFile* memory = static_cast<MemoryFile*>(file);
    if (count <= 0) return;
    // 64-bit sum: a huge count must not wrap below size.
    if (int64_t{memory->position} + count >= memory->size) count = memory->size - memory->position;
    if (count <= 0) return;
    std::memcpy(destination, memory->data + memory->position, static_cast<size_t>(count));
    memory->position += count;
}

void memory_file_seek(void* file, int32_t offset, int32_t origin) {
    MemoryFile* memory = static_cast<MemoryFile*>(file);
    int64_t position = memory->position;
    if (origin == 0)
        position = offset;
    else if (origin == 1)
        position = int64_t{memory->position} + offset;
    else if (origin == 2)
        position = int64_t{memory->size} + offset;
    if (position > memory->size) position = memory->size;
    if (position < 0) position = 0;  // our choice: a seek before the start stops at the start
    memory->position = static_cast<int32_t>(position);
}

int32_t memory_file_tell(void* file) { return static_cast<MemoryFile*>(file)->position; }
