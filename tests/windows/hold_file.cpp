// Test helper: holds a file as another program would, until its standard input closes, and
// prints "held" once it does. "open" (the default): open for reading, letting others only
// read. "read" or "write": open as another run of pcmconv does, with its shared or exclusive
// lock, the file created for "write". "pipe": serve the named pipe `path` and end with 3 where
// a client connected meanwhile.

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* how = argc > 2 ? argv[2] : "open";
    const bool locks = std::strcmp(how, "open") != 0;
    const bool write = std::strcmp(how, "write") == 0;
    const bool pipe = std::strcmp(how, "pipe") == 0;
    HANDLE file = pipe ? CreateNamedPipeA(argv[1], PIPE_ACCESS_DUPLEX, PIPE_NOWAIT, 1, 4096, 4096, 0, nullptr)
                       : CreateFileA(argv[1], GENERIC_READ, locks ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ,
                                     nullptr, write ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(LOCK_BYTE_OFFSET);
    at.OffsetHigh = static_cast<DWORD>(LOCK_BYTE_OFFSET >> 32);
    if (locks && !pipe && !LockFileEx(file, write ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &at)) return 1;
    std::puts("held");
    std::fflush(stdout);
    char byte;
    while (std::fread(&byte, 1, 1, stdin) == 1) {
    }
    // A pipe without a client is still listening.
    const bool connected = pipe && (ConnectNamedPipe(file, nullptr) || GetLastError() != ERROR_PIPE_LISTENING);
    CloseHandle(file);
    return connected ? 3 : 0;
}
