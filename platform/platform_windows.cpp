// Win32 and Microsoft C runtime services for platform.h.

#include "platform/platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <stdio.h>

#include <initializer_list>
#include <iterator>

#include "platform/windows_paths.h"

namespace {

HANDLE OpenForQuery(const char* path, DWORD access) {
    // Ask for no more than the query needs and let every other user keep the file open.
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The console behind a standard stream, or nullptr when the stream is a file, a pipe or a
// device other than a console.
HANDLE ConsoleOf(std::FILE* stream) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

void* PlatformAllocZeroed(std::size_t size) {
    if (!PlatformGranted(SERVICE_ALLOCATE, nullptr)) return nullptr;
    return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size == 0 ? 1 : size);
}

void PlatformFree(void* block) {
    if (block != nullptr) GlobalFree(GlobalHandle(block));
}

std::FILE* PlatformOpenStream(const char* path, const char* mode) {
    if (!PlatformGranted(SERVICE_OPEN, path)) return nullptr;
    return _fsopen(path, mode, _SH_DENYNO);
}

bool PlatformSeekStream(std::FILE* stream, std::int64_t offset) {
    return _fseeki64(stream, offset, SEEK_SET) == 0;
}

std::int64_t PlatformQueryFileLength(const char* path) {
    if (!PlatformGranted(SERVICE_OPEN, path)) return -1;
    HANDLE file = OpenForQuery(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    const bool ok = !(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR);
    CloseHandle(file);
    if (!ok) return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

bool PlatformIsUnseekable(const char* path) { return OpensWindowsDevice(path, PlatformAnsiCodePage()); }

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

PlatformFileIdentity PlatformStreamIdentity(std::FILE* stream) {
    BY_HANDLE_FILE_INFORMATION info{};
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info)) return {};
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
            true, GetFileType(file) == FILE_TYPE_DISK};
}

std::int64_t PlatformStreamLength(std::FILE* stream) { return _filelengthi64(_fileno(stream)); }

bool PlatformCannotTakePieces(const char* path) { return WindowsOutputIsDevice(path, PlatformAnsiCodePage()); }

bool PlatformIsOwnOutput(const char* path) {
    BY_HANDLE_FILE_INFORMATION file{};
    HANDLE opened = OpenForQuery(path, 0);
    if (opened == INVALID_HANDLE_VALUE) return false;
    const bool disk = GetFileType(opened) == FILE_TYPE_DISK && GetFileInformationByHandle(opened, &file);
    CloseHandle(opened);
    for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        BY_HANDLE_FILE_INFORMATION info{};
        HANDLE own = GetStdHandle(stream);
        if (disk && own != INVALID_HANDLE_VALUE && own != nullptr && GetFileType(own) == FILE_TYPE_DISK &&
            GetFileInformationByHandle(own, &info) && info.dwVolumeSerialNumber == file.dwVolumeSerialNumber &&
            info.nFileIndexHigh == file.nFileIndexHigh && info.nFileIndexLow == file.nFileIndexLow) {
            return true;
        }
    }
    return false;
}

PlatformLockResult PlatformLockFile(const char* path, bool exclusive, PlatformLockHandle* handle) {
    *handle = NO_LOCK;
    if (!PlatformGranted(SERVICE_LOCK, path)) return LOCK_NOT_NEEDED;
    // Read access alone, and reading and writing shared: the pieces, and a program that lets
    // others only read, still open the file. Deleting is not shared: while the run holds the file,
    // no other program deletes it or renames another over it between two pieces.
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file = CreateFileA(path, GENERIC_READ, sharing, nullptr, exclusive ? OPEN_ALWAYS : OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LOCK_NOT_NEEDED;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(LOCK_BYTE_OFFSET);
    at.OffsetHigh = static_cast<DWORD>(LOCK_BYTE_OFFSET >> 32);
    const DWORD how = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
    const bool disk = GetFileType(file) == FILE_TYPE_DISK;
    if (disk && LockFileEx(file, how, 0, 1, 0, &at)) {
        *handle = reinterpret_cast<PlatformLockHandle>(file);
        return LOCK_TAKEN;
    }
    const bool held = disk && GetLastError() == ERROR_LOCK_VIOLATION;
    CloseHandle(file);
    return held ? LOCK_HELD : LOCK_NOT_NEEDED;
}

void PlatformUnlockFile(PlatformLockHandle handle) {
    if (handle != NO_LOCK) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

bool PlatformCreateFolder(const char* prefix) {
    // A folder named like a device (T:\o\con\) could not be removed from Explorer: never made.
    return PlatformGranted(SERVICE_CREATE_FOLDER, prefix) && !WindowsOutputIsDevice(prefix, PlatformAnsiCodePage()) &&
           CreateDirectoryA(prefix, nullptr) != 0;
}

bool PlatformResolvesDotsByText() { return true; }

unsigned PlatformAnsiCodePage() {
    static const unsigned codePage = GetACP();
    return codePage;
}

bool PlatformIsLeadByte(unsigned codePage, unsigned char byte) {
    return IsDBCSLeadByteEx(codePage, byte) != 0;
}

void PlatformSetUpProcess() {
    // Nothing to do: Windows reports such writes as errors already.
}

void PlatformSetUpConsoleStreams() {
    // The dialogue translates line ends itself, byte for byte the same on every system, so
    // the C runtime must not translate them a second time.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    static char outputBuffer[4096];
    setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
}

bool PlatformIsConsole(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

bool PlatformWriteConsoleText(std::FILE* stream, const char* bytes, std::size_t length) {
    HANDLE console = ConsoleOf(stream);
    if (console == nullptr || length > CONSOLE_TEXT_SIZE) return false;
    wchar_t wide[CONSOLE_TEXT_SIZE];  // one UTF-16 unit at most for each byte
    const int count = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length),
                                          wide, static_cast<int>(std::size(wide)));
    if (count <= 0 || std::fflush(stream) != 0) return false;
    DWORD written = 0;
    return WriteConsoleW(console, wide, static_cast<DWORD>(count), &written, nullptr) != 0;
}

// Never called here: a Windows console takes its texts as UTF-16 (PlatformWriteConsoleText).
long PlatformUtf8FromConsoleText(const char*, std::size_t, char*, std::size_t) { return -1; }

// A Windows console pastes a dropped path in double quotes, ' is a letter of file names, and so
// is "~".
TypedPathForms PlatformTypedPathForms() { return {false, nullptr, PlatformAnsiCodePage()}; }

unsigned PlatformConsoleProcessCount() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2);
}
