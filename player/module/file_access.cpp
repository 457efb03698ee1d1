// The file-callback table's wrappers, and MemoryFile.
#include "player/module/file_access.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvanti {

namespace {

constexpr size_t READ_CHUNK = 1 << 16;

MemoryFile* fail(MemoryFileResult* result, MemoryFileResult why, MemoryFile* memory = nullptr) {
    if (memory != nullptr) memory_file_close(memory);
    *result = why;
    return nullptr;
}

}  // namespace

const FileCallbacks memory_file_callbacks = {memory_file_open, memory_file_close, memory_file_read,
                                             memory_file_seek, memory_file_tell};

bool file_callbacks_complete(const FileCallbacks* callbacks) {
    return callbacks && callbacks->open && callbacks->close && callbacks->read && callbacks->seek &&
           callbacks->tell;
}

FileHandle* file_open(const FileCallbacks* callbacks, const char* name) {
    if (!file_callbacks_complete(callbacks)) return nullptr;
    void* file = callbacks->open(name);
    if (!file) return nullptr;
    FileHandle* handle = file_adopt(callbacks, file);
    if (!handle) callbacks->close(file);
    return handle;
}

FileHandle* file_adopt(const FileCallbacks* callbacks, void* file) {
    if (!file_callbacks_complete(callbacks) || !file) return nullptr;
    FileHandle* handle = static_cast<FileHandle*>(std::calloc(1, sizeof(FileHandle)));
    if (!handle) return nullptr;
    handle->callbacks = callbacks;
    handle->file = file;
    return handle;
}

void file_close(FileHandle* handle) {
    if (!handle) return;
    handle->callbacks->close(handle->file);
    std::free(handle);
}

void file_read(void* destination, int32_t count, FileHandle* handle) {
    if (handle) handle->callbacks->read(destination, count, handle->file);
}

void file_seek(FileHandle* handle, int32_t offset, int32_t origin) {
    if (handle) handle->callbacks->seek(handle->file, offset, origin);
}

int32_t file_tell(FileHandle* handle) { return handle ? handle->callbacks->tell(handle->file) : 0; }

void* memory_file_open(const char* name) {
    MemoryFileResult result;
    MemoryFile* memory = memory_file_load(name, &result);
    if (memory == nullptr && result != MemoryFileResult::NO_MEMORY) {
        // A file that cannot be had reads as an empty one.
        memory = static_cast<MemoryFile*>(std::calloc(1, sizeof(MemoryFile)));
    }
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

MemoryFile* memory_file_of_bytes(const void* bytes, size_t size, MemoryFileResult* result) {
    // Positions are 32-bit.
    if (size > static_cast<size_t>(INT32_MAX)) return fail(result, MemoryFileResult::TOO_LARGE);
    MemoryFile* memory = static_cast<MemoryFile*>(std::calloc(1, sizeof(MemoryFile)));
    if (!memory) return fail(result, MemoryFileResult::NO_MEMORY);
    if (size > 0) {
        memory->data = static_cast<uint8_t*>(std::malloc(size));
        if (!memory->data) return fail(result, MemoryFileResult::NO_MEMORY, memory);
        std::memcpy(memory->data, bytes, size);
        memory->size = static_cast<int32_t>(size);
    }
    *result = MemoryFileResult::MADE;
    return memory;
}

MemoryFile* memory_file_load(const char* path, MemoryFileResult* result) {
    if (path == nullptr) return fail(result, MemoryFileResult::CANNOT_OPEN);
    FILE* file = std::fopen(path, "rb");
    if (!file) return fail(result, MemoryFileResult::CANNOT_OPEN);
    MemoryFile* memory = memory_file_read_all(
        [](void* user, void* buffer, size_t size) -> int64_t {
            FILE* stream = static_cast<FILE*>(user);
            size_t got = std::fread(buffer, 1, size, stream);
            if (got == 0 && std::ferror(stream)) return -1;
            return static_cast<int64_t>(got);
        },
        file, result);
    std::fclose(file);
    return memory;
}

MemoryFile* memory_file_read_all(ReadFn read, void* user, MemoryFileResult* result) {
    if (read == nullptr) return fail(result, MemoryFileResult::CANNOT_READ);
    MemoryFile* memory = static_cast<MemoryFile*>(std::calloc(1, sizeof(MemoryFile)));
    if (!memory) return fail(result, MemoryFileResult::NO_MEMORY);
    size_t capacity = 0;
    size_t size = 0;
    for (;;) {
        if (capacity - size < READ_CHUNK) {
            if (capacity >= static_cast<size_t>(INT32_MAX)) return fail(result, MemoryFileResult::TOO_LARGE, memory);
            size_t grown = capacity == 0 ? READ_CHUNK : capacity * 2;
            auto* data = static_cast<uint8_t*>(std::realloc(memory->data, grown));
            if (!data) return fail(result, MemoryFileResult::NO_MEMORY, memory);
            memory->data = data;
            capacity = grown;
        }
        int64_t got = read(user, memory->data + size, capacity - size);
        if (got < 0) return fail(result, MemoryFileResult::CANNOT_READ, memory);
        if (got == 0) break;
        // A reader that claims more than it was given room for is believed no further.
        size += static_cast<size_t>(got) < capacity - size ? static_cast<size_t>(got) : capacity - size;
        if (size > static_cast<size_t>(INT32_MAX)) return fail(result, MemoryFileResult::TOO_LARGE, memory);
    }
    memory->size = static_cast<int32_t>(size);
    *result = MemoryFileResult::MADE;
    return memory;
}

}  // namespace korvanti
