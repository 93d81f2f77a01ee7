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

PlatformFileIdentity IdentityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (file == INVALID_HANDLE_VALUE || file == nullptr || !GetFileInformationByHandle(file, &info)) return {};
    PlatformFileIdentity identity;
    identity.device = info.dwVolumeSerialNumber;
    identity.number = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.known = true;
    identity.regular = GetFileType(file) == FILE_TYPE_DISK;
    identity.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    // XP gives no change time: the last write time stands for both.
    identity.modified = identity.changed = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime);
    return identity;
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

std::FILE* PlatformOpenToAppend(const char* path) {
    if (!PlatformGranted(SERVICE_OPEN, path)) return nullptr;
    // Appending alone, as "ab" writes, shared as _fsopen shares; but never a new file.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_APPEND | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "ab");
    if (stream == nullptr) _close(fd);
    return stream;
}

bool PlatformSeekStream(std::FILE* stream, std::int64_t offset) {
    return PlatformGranted(SERVICE_SEEK, nullptr) && _fseeki64(stream, offset, SEEK_SET) == 0;
}

bool PlatformTruncateStream(std::FILE* stream) { return std::fflush(stream) == 0 && _chsize(_fileno(stream), 0) == 0; }

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

PlatformFileIdentity PlatformStreamIdentity(std::FILE* stream) {
    return IdentityOf(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

PlatformFileIdentity PlatformPathIdentity(const char* path) {
    HANDLE file = OpenForQuery(path, 0);
    const PlatformFileIdentity identity = IdentityOf(file);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return identity;
}

std::int64_t PlatformStreamLength(std::FILE* stream) { return _filelengthi64(_fileno(stream)); }

bool PlatformCannotTakePieces(const char* path) { return WindowsOutputIsDevice(path, PlatformAnsiCodePage()); }

bool PlatformIsOwnOutput(const char* path) {
    const PlatformFileIdentity file = PlatformPathIdentity(path);
    for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        if (file.regular && PlatformSameIdentity(IdentityOf(GetStdHandle(stream)), file)) return true;
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

PlatformFileIdentity PlatformLockIdentity(PlatformLockHandle handle) {
    return handle == NO_LOCK ? PlatformFileIdentity{} : IdentityOf(reinterpret_cast<HANDLE>(handle));
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
