#pragma once
// Owning handles for file streams, working memory and locks from platform.h, released on every
// path. Portable: no OS header.

#include <cstdio>
#include <memory>

#include "platform/platform.h"

struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using StreamHandle = std::unique_ptr<std::FILE, StreamCloser>;

struct WorkingMemoryRelease {
    void operator()(void* block) const { PlatformFree(block); }
};
template <typename T>
using WorkingMemory = std::unique_ptr<T, WorkingMemoryRelease>;

// A lock from PlatformLockFile, released on every path.
struct FileLock {
    PlatformLockHandle handle = NO_LOCK;
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() { PlatformUnlockFile(handle); }
};

// Closes a stream that was written to; false when any of its bytes could not be written.
// The flush is checked on its own: one C runtime's fclose reports success although its final
// flush failed (a full disk), which would leave a cut file reported as written.
inline bool CloseWrittenStream(StreamHandle stream) {
    const bool flushed = std::fflush(stream.get()) == 0 && std::ferror(stream.get()) == 0;
    return std::fclose(stream.release()) == 0 && flushed;
}
