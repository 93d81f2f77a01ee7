// POSIX stand-ins for the Win32 services in platform.h.

#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif


namespace {

bool IsFolder(int fd) {
    struct stat info;
    return fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

// open(2) flags for a C mode string ("r", "rb", "wb", "ab", "a+b", "w+b"); -1 for another.
int OpenFlags(const char* mode) {
    int flags = 0;
    switch (mode[0]) {
        case 'r': flags = O_RDONLY; break;
        case 'w': flags = O_WRONLY | O_CREAT | O_TRUNC; break;
        case 'a': flags = O_WRONLY | O_CREAT | O_APPEND; break;
        default: return -1;
    }
    if (std::strchr(mode, '+') != nullptr) flags = (flags & ~O_ACCMODE) | O_RDWR;
    return flags;
}

// Opens without waiting for the other end of a FIFO (Windows never waits on a missing pipe):
// a FIFO with no writer opens and reads as empty, one with no reader does not open for
// writing. Reads and writes after the open wait as usual.
int OpenWithoutWaiting(const char* path, int flags) {
    const int fd = open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return -1;
    const int status = fcntl(fd, F_GETFL);
    if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The type of the file system an open descriptor's file is on (statfs's f_type), 0 where unknown.
std::uint32_t FileSystemType(int fd) {
#if defined(__linux__)
    struct statfs info;
    return fstatfs(fd, &info) == 0 ? static_cast<std::uint32_t>(info.f_type) : 0;
#else
    return 0;
#endif
}

// File systems whose sizes are not what their files give (proc, sysfs, debugfs, tracefs, configfs,
// securityfs, cgroup, cgroup2, bpf, pstore, efivarfs, selinuxfs, smackfs, fusectl, binfmt_misc,
// nsfs), by their magic numbers: /sys files say 4096 and give a few bytes, /proc's say 0.
bool SizesAreNotLengths(std::uint32_t type) {
    static const std::uint32_t kTypes[] = {0x9FA0, 0x62656572, 0x64626720, 0x74726163, 0x62656570, 0x73636673,
                                           0x0027E0EB, 0x63677270, 0xCAFE4A11, 0x6165676C, 0xDE5E81E4, 0xF97CFF8C,
                                           0x43415D53, 0x65735543, 0x42494E4D, 0x6E736673};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

// A file's identity from its status and its file system's type; FUSE (0x65735546), FAT (0x4D44) and
// exFAT (0x2011BAB0) make inode numbers up.
PlatformFileIdentity IdentityOf(const struct stat& info, std::uint32_t fileSystem) {
    PlatformFileIdentity identity;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.number = static_cast<std::uint64_t>(info.st_ino);
    identity.known = true;
    identity.regular = S_ISREG(info.st_mode);
    identity.size = info.st_size;
    identity.modified = info.st_mtim.tv_sec * std::int64_t{1000000000} + info.st_mtim.tv_nsec;
    identity.changed = info.st_ctim.tv_sec * std::int64_t{1000000000} + info.st_ctim.tv_nsec;
    identity.numbersKept = fileSystem != 0x65735546 && fileSystem != 0x4D44 && fileSystem != 0x2011BAB0;
    return identity;
}

PlatformFileIdentity IdentityOfDescriptor(int fd) {
    struct stat info;
    return fstat(fd, &info) == 0 ? IdentityOf(info, FileSystemType(fd)) : PlatformFileIdentity{};
}

// The length of what an open descriptor reads: a file's size, and a block device's end (its size
// reads 0), the position kept; -1 for a folder, a file system whose sizes are not lengths, or where
// it cannot be taken.
std::int64_t LengthOf(int fd) {
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || SizesAreNotLengths(FileSystemType(fd))) return -1;
    if (!S_ISBLK(info.st_mode)) return info.st_size;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    const off_t end = lseek(fd, 0, SEEK_END);
    return at >= 0 && lseek(fd, at, SEEK_SET) == at ? end : -1;
}

struct FreeText {
    void operator()(char* text) const { std::free(text); }
};
using NativePath = std::unique_ptr<char, FreeText>;

// A typed path with its "\\" separators read as "/", as Windows reads them, walking by
// characters so that the second byte of a two-byte character is left alone. nullptr when
// no memory is left.
NativePath ToNativePath(const char* path) {
    const unsigned codePage = PlatformAnsiCodePage();
    const std::size_t length = std::strlen(path);
    NativePath native(static_cast<char*>(std::malloc(length + 1)));
    if (!native) return native;
    char* out = native.get();
    for (std::size_t i = 0; i < length; ++i) {
        if (PlatformIsLeadByte(codePage, static_cast<unsigned char>(path[i])) && i + 1 < length) {
            out[i] = path[i];
            out[i + 1] = path[i + 1];
            ++i;
        } else {
            out[i] = path[i] == '\\' ? '/' : path[i];
        }
    }
    out[length] = '\0';
    return native;
}

// The code page of a character set named as glibc compares names (any case, "-" and "_"
// ignored), its first `length` bytes: 65001 for UTF-8, 932 for every name of Shift_JIS, 1252
// for any other.
unsigned CodePageOfCharset(const char* name, std::size_t length) {
    std::string folded;
    for (std::size_t i = 0; i < length && name[i] != '\0'; ++i) {
        if (name[i] != '-' && name[i] != '_') folded += static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    }
    static const char* const kShiftJisNames[] = {"sjis",  "shiftjis",   "shiftjisx0213", "cp932",
                                                  "windows31j", "mskanji", "pck"};
    for (const char* shiftJis : kShiftJisNames) {
        if (folded == shiftJis) return 932;
    }
    return folded == "utf8" ? 65001 : 1252;
}

unsigned CodePageOfLocale() {
    // The POSIX counterpart of the ANSI code page is the character set of the user's locale.
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    char saved[64] = "C";
    if (previous != nullptr) std::strncpy(saved, previous, sizeof saved - 1);
    unsigned codePage = 1252;
    if (std::setlocale(LC_CTYPE, "") != nullptr) {
        codePage = CodePageOfCharset(nl_langinfo(CODESET), std::string::npos);
    } else {
        // A locale the system lacks (common where none was generated) still names its
        // terminal's character set, "xx_YY.charset@modifier": glibc's built-in C.UTF-8 speaks
        // UTF-8, and reading Shift_JIS paths needs no locale at all.
        const char* name = nullptr;
        for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            name = std::getenv(variable);
            if (name != nullptr && *name != '\0') break;
        }
        const char* charset = name != nullptr ? std::strchr(name, '.') : nullptr;
        if (charset != nullptr) codePage = CodePageOfCharset(charset + 1, std::strcspn(charset + 1, "@"));
        if (codePage == 65001 && std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) codePage = 1252;
    }
    // The line editor reads UTF-8 only under a UTF-8 LC_CTYPE; elsewhere the C library's
    // character rules stay those of "C".
    if (codePage != 65001) std::setlocale(LC_CTYPE, saved);
    return codePage;
}

// Code page 932 bytes as UTF-8 in `out`: their length, or -1 where they do not convert or fit.
long Utf8FromCodePage932(const char* bytes, std::size_t length, char* out, std::size_t capacity) {
    static const iconv_t decoder = iconv_open("UTF-8", "CP932");
    if (decoder == reinterpret_cast<iconv_t>(-1)) return -1;
    // Code page 932 to UTF-8 is stateless, and iconv only reads its input.
    char* inAt = const_cast<char*>(bytes);
    std::size_t inLeft = length;
    char* outAt = out;
    std::size_t outLeft = capacity;
    if (iconv(decoder, &inAt, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1)) return -1;
    return static_cast<long>(capacity - outLeft);
}

// A stream on what `path` names, opened with open(2) `flags` and given the C `mode` of the same
// meaning; nullptr for a folder.
std::FILE* OpenFileStream(const char* path, int flags, const char* mode) {
    if (!PlatformGranted(SERVICE_OPEN, path)) return nullptr;
    const NativePath native = ToNativePath(path);
    if (flags < 0 || !native) return nullptr;
    const int fd = OpenWithoutWaiting(native.get(), flags);
    if (fd < 0) return nullptr;
    if (IsFolder(fd)) {
        // Windows refuses to open a folder as a file stream; so do we.
        close(fd);
        errno = EISDIR;
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, mode);
    if (stream == nullptr) {
        close(fd);
    } else {
        // No stdio buffer: each 256 KiB block of the copier is one read and one write, as a
        // block-sized dd makes them, and each header piece one write.
        std::setvbuf(stream, nullptr, _IONBF, 0);
    }
    return stream;
}

}  // namespace

void* PlatformAllocZeroed(std::size_t size) {
    if (!PlatformGranted(SERVICE_ALLOCATE, nullptr)) return nullptr;
    return std::calloc(size == 0 ? 1 : size, 1);
}

void PlatformFree(void* block) { std::free(block); }

std::FILE* PlatformOpenStream(const char* path, const char* mode) { return OpenFileStream(path, OpenFlags(mode), mode); }

std::FILE* PlatformOpenToAppend(const char* path) { return OpenFileStream(path, O_WRONLY | O_APPEND, "ab"); }

bool PlatformSeekStream(std::FILE* stream, std::int64_t offset) {
    return PlatformGranted(SERVICE_SEEK, nullptr) && fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool PlatformTruncateStream(std::FILE* stream) { return std::fflush(stream) == 0 && ftruncate(fileno(stream), 0) == 0; }

std::int64_t PlatformQueryFileLength(const char* path) {
    if (!PlatformGranted(SERVICE_OPEN, path)) return -1;
    const NativePath native = ToNativePath(path);
    if (!native) return -1;
    const int fd = OpenWithoutWaiting(native.get(), O_RDONLY);
    if (fd < 0) return -1;
    const std::int64_t length = LengthOf(fd);
    close(fd);
    return length;
}

bool PlatformIsUnseekable(const char* path) {
    const NativePath native = ToNativePath(path);
    struct stat info;
    if (!native || stat(native.get(), &info) != 0) return false;
    // By type, unopened: opening a FIFO would take its writer's bytes.
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return true;
    if (!S_ISCHR(info.st_mode)) return false;  // a file, a folder, a block device
    // Only a device of /dev/null's kind is opened to ask: opening a serial port drives its lines.
    struct stat null;
    if (stat("/dev/null", &null) != 0 || major(info.st_rdev) != major(null.st_rdev)) return true;
    const int fd = open(native.get(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const bool unseekable = fd >= 0 && lseek(fd, 0, SEEK_CUR) < 0;
    if (fd >= 0) close(fd);
    return unseekable;
}

PlatformFileIdentity PlatformStreamIdentity(std::FILE* stream) { return IdentityOfDescriptor(fileno(stream)); }

PlatformFileIdentity PlatformPathIdentity(const char* path) {
    const NativePath native = ToNativePath(path);
    struct stat info;
    if (!native || stat(native.get(), &info) != 0) return {};
    std::uint32_t fileSystem = 0;
#if defined(__linux__)
    struct statfs system;
    if (statfs(native.get(), &system) == 0) fileSystem = static_cast<std::uint32_t>(system.f_type);
#endif
    return IdentityOf(info, fileSystem);
}

std::int64_t PlatformStreamLength(std::FILE* stream) { return LengthOf(fileno(stream)); }

bool PlatformCannotTakePieces(const char* path) {
    const NativePath native = ToNativePath(path);
    struct stat info;
    return native && stat(native.get(), &info) == 0 &&
           (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISBLK(info.st_mode));
}

bool PlatformIsOwnOutput(const char* path) {
    const NativePath native = ToNativePath(path);
    struct stat file;
    if (!native || stat(native.get(), &file) != 0 || !S_ISREG(file.st_mode)) return false;
    for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat info;
        if (fstat(stream, &info) == 0 && info.st_dev == file.st_dev && info.st_ino == file.st_ino) return true;
    }
    return false;
}

PlatformLockResult PlatformLockFile(const char* path, bool exclusive, PlatformLockHandle* handle) {
    *handle = NO_LOCK;
    const NativePath native = ToNativePath(path);
    if (!PlatformGranted(SERVICE_LOCK, path) || !native) return LOCK_NOT_NEEDED;
    // flock, not fcntl: a record lock would go as soon as any piece closes its descriptor.
    const int fd = open(native.get(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (exclusive ? O_CREAT : 0), 0666);
    if (fd < 0) return LOCK_NOT_NEEDED;
    struct stat info;
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (regular && flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
        *handle = fd;
        return LOCK_TAKEN;
    }
    const bool held = regular && errno == EWOULDBLOCK;
    close(fd);
    return held ? LOCK_HELD : LOCK_NOT_NEEDED;
}

PlatformFileIdentity PlatformLockIdentity(PlatformLockHandle handle) {
    return handle == NO_LOCK ? PlatformFileIdentity{} : IdentityOfDescriptor(static_cast<int>(handle));
}

void PlatformUnlockFile(PlatformLockHandle handle) {
    if (handle != NO_LOCK) close(static_cast<int>(handle));
}

bool PlatformCreateFolder(const char* prefix) {
    if (!PlatformGranted(SERVICE_CREATE_FOLDER, prefix)) return false;
    const NativePath native = ToNativePath(prefix);
    return native && mkdir(native.get(), 0777) == 0;
}

bool PlatformResolvesDotsByText() { return false; }

unsigned PlatformAnsiCodePage() {
    static const unsigned codePage = CodePageOfLocale();
    return codePage;
}

bool PlatformIsLeadByte(unsigned codePage, unsigned char byte) {
    if (codePage != 932) return false;
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

void PlatformSetUpProcess() {
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

void PlatformSetUpConsoleStreams() {
    // POSIX streams never translate line ends; only the buffer is set.
    static char outputBuffer[4096];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
}

bool PlatformIsConsole(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

bool PlatformWriteConsoleText(std::FILE* stream, const char* bytes, std::size_t length) {
    // Under any other locale the texts go out as the Windows program writes them.
    if (PlatformAnsiCodePage() != 65001 || length > CONSOLE_TEXT_SIZE) return false;
    char utf8[3 * CONSOLE_TEXT_SIZE];  // three bytes of UTF-8 at most for each byte
    const long converted = Utf8FromCodePage932(bytes, length, utf8, sizeof utf8);
    if (converted < 0) return false;
    // A terminal here ends its lines with LF alone.
    std::size_t kept = 0;
    for (long i = 0; i < converted; ++i) {
        if (utf8[i] != '\r' || i + 1 == converted || utf8[i + 1] != '\n') utf8[kept++] = utf8[i];
    }
    std::fwrite(utf8, 1, kept, stream);
    return true;
}

long PlatformUtf8FromConsoleText(const char* bytes, std::size_t length, char* out, std::size_t capacity) {
    return Utf8FromCodePage932(bytes, length, out, capacity);
}

TypedPathForms PlatformTypedPathForms() {
    const char* home = std::getenv("HOME");
    return {true, home != nullptr ? home : "", PlatformAnsiCodePage()};
}

// No POSIX terminal is a window that closes when the program ends: nothing waits.
unsigned PlatformConsoleProcessCount() { return 0; }
