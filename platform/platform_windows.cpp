// Win32 and Microsoft C runtime services for platform.h.

#include "platform/platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <stdio.h>

namespace {

long g_allocationGrants = -1;
long g_failOpen = 0;

// Fault injection: false for the one open PlatformFailOpen chose.
bool OpenGranted() { return g_failOpen <= 0 || --g_failOpen != 0; }

HANDLE OpenForQuery(const char* path, DWORD access) {
    // Ask for no more than the query needs and let every other user keep the file open.
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void* PlatformAllocZeroed(std::size_t size) {
    if (g_allocationGrants == 0) return nullptr;
    if (g_allocationGrants > 0) --g_allocationGrants;
    return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size == 0 ? 1 : size);
}

void PlatformFree(void* block) {
    if (block != nullptr) GlobalFree(GlobalHandle(block));
}

void PlatformLimitAllocations(long grants) { g_allocationGrants = grants < 0 ? -1 : grants; }

void PlatformFailOpen(long nth) { g_failOpen = nth; }

std::FILE* PlatformOpenStream(const char* path, const char* mode) {
    if (!OpenGranted()) return nullptr;
    return _fsopen(path, mode, _SH_DENYNO);
}

bool PlatformSeekStream(std::FILE* stream, std::int64_t offset) {
    return _fseeki64(stream, offset, SEEK_SET) == 0;
}

std::int64_t PlatformQueryFileLength(const char* path) {
    if (!OpenGranted()) return -1;
    HANDLE file = OpenForQuery(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    const bool ok = !(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR);
    CloseHandle(file);
    if (!ok) return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

bool PlatformSameFile(const char* pathA, const char* pathB) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    for (int i = 0; i < 2; ++i) {
        HANDLE file = OpenForQuery(i == 0 ? pathA : pathB, 0);
        if (file == INVALID_HANDLE_VALUE) return false;
        const BOOL ok = GetFileInformationByHandle(file, i == 0 ? &a : &b);
        CloseHandle(file);
        if (!ok) return false;
    }
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool PlatformCreateFolder(const char* prefix) { return CreateDirectoryA(prefix, nullptr) != 0; }

unsigned PlatformAnsiCodePage() {
    static const unsigned codePage = GetACP();
    return codePage;
}

bool PlatformIsLeadByte(unsigned codePage, unsigned char byte) {
    return IsDBCSLeadByteEx(codePage, byte) != 0;
}

void PlatformSetUpProcess() {
    // Windows reports such writes as errors already.
}

void PlatformSetUpConsoleStreams() {
    // The dialogue translates line ends itself, byte for byte the same on every system, so
    // the C runtime must not translate them a second time.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    static char outputBuffer[4096];
    setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
}

bool PlatformIsConsole(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

std::int64_t PlatformCopyInKernel(std::FILE*, std::FILE*, std::int64_t, std::int64_t) {
    // The buffered copy is as fast as Windows file streams get.
    return 0;
}

void PlatformEnableKernelCopy(bool) {}
