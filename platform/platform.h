#pragma once
// The services the converter takes from the operating system. platform_windows.cpp calls
// Win32 and the Microsoft C runtime; platform_posix.cpp gives the same observable behaviour
// on POSIX systems. Both define the services in the order of this header. Nothing above this
// layer includes an OS header.

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Every service that takes a path reads it as Windows does: on POSIX systems too, each "\\"
// is a separator like "/" (walking by characters, so the second byte of a two-byte
// character is never one), and a folder is never opened as a file.

// ---- Fault injection

// The services a test can make fail. Each asks the hook before it touches the system.
enum PlatformService {
    SERVICE_ALLOCATE,       // PlatformAllocZeroed: refused as when no memory is left
    SERVICE_OPEN,           // PlatformOpenStream, PlatformQueryFileLength: as a missing file
    SERVICE_CREATE_FOLDER,  // PlatformCreateFolder: as a folder that cannot be made
    SERVICE_LOCK,           // PlatformLockFile: as a file system that cannot lock
    SERVICE_SEEK,           // PlatformSeekStream (before every block read): as a seek that fails
};
// Called with the service and the path it is about to use (nullptr for memory); false fails
// the call as the system would.
using PlatformFaultHook = bool (*)(PlatformService service, const char* path);

namespace platform_fault {
inline PlatformFaultHook hook = nullptr;
}
// For tests: sets the hook; nullptr, the default, lets every call through.
inline void PlatformSetFaultHook(PlatformFaultHook hook) { platform_fault::hook = hook; }
// What each injectable service asks first.
inline bool PlatformGranted(PlatformService service, const char* path) {
    return platform_fault::hook == nullptr || platform_fault::hook(service, path);
}

// ---- Memory

// Zero-filled working memory (GlobalAlloc with GMEM_ZEROINIT); nullptr when refused.
void* PlatformAllocZeroed(std::size_t size);
// Releases memory from PlatformAllocZeroed; nullptr is ignored.
void PlatformFree(void* block);

// ---- Files

// Opens a file stream with a C mode string ("r", "rb", "wb", "ab", "a+b", "w+b"), sharing
// allowed. A folder never opens, on any system, and no open waits for the other end of a
// FIFO. nullptr on failure. Each read or write of the stream may go to the system at once.
std::FILE* PlatformOpenStream(const char* path, const char* mode);
// Opens an existing file to append to, never creating it: every write goes to its end, wherever
// another program left it. nullptr where it does not exist or does not open (as PlatformOpenStream).
std::FILE* PlatformOpenToAppend(const char* path);
// Moves a stream to an absolute 64-bit offset; false on failure.
bool PlatformSeekStream(std::FILE* stream, std::int64_t offset);
// Empties an open file stream that is a file (its length 0); false where that fails.
bool PlatformTruncateStream(std::FILE* stream);
// The length of an existing file, opened for reading only with sharing allowed (a block
// device's taken at its end); -1 when it cannot be taken (missing, a folder, not readable, or a
// file system whose sizes are not what its files give: /proc, /sys, debugfs, cgroup and the like).
std::int64_t PlatformQueryFileLength(const char* path);
// True when the path names what gives its bytes only in order, never at set offsets: a pipe, a
// socket, a terminal, a serial port or another device that cannot seek. Learnt without
// disturbing it: POSIX by its type, and a device opened to ask only where it is one of
// /dev/null's kind (/dev/zero, /dev/full, ...), all of which seek; Windows by the path's form.
bool PlatformIsUnseekable(const char* path);
// What a file is, from an open stream, a path or a lock: its identity (device and inode; volume
// serial number and file index), so that a later open can tell whether it met the same file, and
// what PlatformOneFile needs where two identities show one file; not `known` where the system gives
// none (a Windows device, a missing path).
struct PlatformFileIdentity {
    std::uint64_t device = 0;  // device; volume serial number
    std::uint64_t number = 0;  // inode; file index
    bool known = false;
    bool regular = false;  // a file on a disk, whose length is its content (not a device)
    std::int64_t size = -1;
    std::int64_t modified = 0;  // POSIX: modification time in ns; Windows: last write time
    std::int64_t changed = 0;   // POSIX: change time in ns (any write, link or rename); Windows: last write time
    bool numbersKept = true;    // the file system keeps inode numbers (FUSE, FAT and exFAT make them up)
};
PlatformFileIdentity PlatformStreamIdentity(std::FILE* stream);
// What the path names now (following links), unopened where the system allows.
PlatformFileIdentity PlatformPathIdentity(const char* path);
inline bool PlatformSameIdentity(const PlatformFileIdentity& a, const PlatformFileIdentity& b) {
    return a.known == b.known && a.device == b.device && a.number == b.number && a.regular == b.regular;
}
// True when two identities are one file: the same identity, or where a file system shows one file
// under two (an overlay's merged and upper paths, a FUSE mirror, a case variant on exFAT), files of
// the same length and modification and change times to the nanosecond, with the same inode number
// where both file systems keep them. Two distinct files alike in all that are taken for one.
inline bool PlatformOneFile(const PlatformFileIdentity& a, const PlatformFileIdentity& b) {
    if (!a.known || !b.known) return false;
    if (a.device == b.device && a.number == b.number) return true;
    return a.regular && b.regular && a.size == b.size && a.modified == b.modified && a.changed == b.changed &&
           (a.number == b.number || !a.numbersKept || !b.numbersKept);
}
// The length of what an open stream reads, from the system (a block device's taken at its end),
// or -1, as PlatformQueryFileLength.
std::int64_t PlatformStreamLength(std::FILE* stream);
// True when the path names what cannot take a file written in pieces, each opened anew and
// appended: POSIX a FIFO or a socket (each open a new reader's stream), a block device (no end
// to append at), by its type, unopened; Windows a device or a pipe by the path's form, and a
// device name but the bare null device (NUL, \\.\NUL). Character devices (/dev/null, a
// terminal) take them.
bool PlatformCannotTakePieces(const char* path);
// True when the path names the regular file standard output or standard error writes to: the
// program's own texts would be written over it.
bool PlatformIsOwnOutput(const char* path);

// ---- Locks between runs

// A lock that other runs see: a descriptor or a handle kept open until PlatformUnlockFile.
using PlatformLockHandle = std::intptr_t;
inline constexpr PlatformLockHandle NO_LOCK = -1;
enum PlatformLockResult {
    LOCK_TAKEN,       // `*handle` holds it
    LOCK_NOT_NEEDED,  // not a regular file, or no lock to be had here: go on as without locks
    LOCK_HELD,        // another holds a lock that this one conflicts with
};
// Locks the file `path` names, without waiting: exclusive for writing it, shared for reading
// it. A file to write that does not exist yet is created empty, so that a second run finds
// it locked. Only a regular file is locked; a device, a FIFO, a missing file to read, or any
// failure but a conflicting lock gives LOCK_NOT_NEEDED.
PlatformLockResult PlatformLockFile(const char* path, bool exclusive, PlatformLockHandle* handle);
// The byte a Windows lock covers, far past any data (2^63 - 2), so that no read or write of
// the pieces meets it; a program that takes this program's locks locks the same byte.
inline constexpr std::uint64_t LOCK_BYTE_OFFSET = (std::uint64_t{1} << 63) - 2;
// The file a lock holds; not `known` for NO_LOCK.
PlatformFileIdentity PlatformLockIdentity(PlatformLockHandle handle);
// Releases a lock; NO_LOCK is ignored.
void PlatformUnlockFile(PlatformLockHandle handle);

// ---- Folders

// Creates the one folder a prefix names ("\\" separators, a closing "\\" allowed) with
// default security. Makes no missing parents. False when it was not made; Windows makes no folder
// named like a device (CON, NUL, COM1, ... in any part), which Explorer could not remove.
bool PlatformCreateFolder(const char* prefix);
// True where the system resolves "." and ".." in a path from its text alone (Windows), so that a
// folder a later ".." cancels is never needed; false where ".." goes through the folder it
// follows, which must exist (POSIX).
bool PlatformResolvesDotsByText();

// ---- Code page of typed paths

// The system's ANSI code page (GetACP), the code page of typed paths.
unsigned PlatformAnsiCodePage();
// True when `byte` begins a two-byte character in `codePage`.
bool PlatformIsLeadByte(unsigned codePage, unsigned char byte);

// ---- Process and console

// Makes a write past a file size limit, or to a closed pipe, fail with an error instead of
// ending the process, so that the program reports it like any failed write.
void PlatformSetUpProcess();
// Standard streams: bytes pass unchanged (the dialogue does its own line-end handling),
// standard output gets a 4096-byte buffer.
void PlatformSetUpConsoleStreams();
// True when the stream is an interactive console or terminal.
bool PlatformIsConsole(std::FILE* stream);

// The most bytes a console text has in its own form (Shift_JIS, CR LF line ends). Both
// platforms hold its converted form whole; a longer text is not converted.
inline constexpr std::size_t CONSOLE_TEXT_SIZE = 512;
// Writes a console text, given in its own form, in the form `stream`'s reader needs where
// that is not those bytes: under a UTF-8 locale (POSIX), UTF-8 with LF line ends; at a
// Windows console, through its Unicode interface, whatever its code page. False when the
// bytes are to go out as they are (also for a text longer than CONSOLE_TEXT_SIZE), which the
// caller then writes.
bool PlatformWriteConsoleText(std::FILE* stream, const char* bytes, std::size_t length);

// The UTF-8 form of a console text given in its own form (Shift_JIS), for texts the POSIX line
// editor shows itself: its length in `out`, or -1 where it does not convert or fit (Windows: -1).
long PlatformUtf8FromConsoleText(const char* bytes, std::size_t length, char* out, std::size_t capacity);

// How this system's terminals write typed paths.
struct TypedPathForms {
    // POSIX: shell quotes ('...', '\'' for a quote), "\ " for a blank (WezTerm), file URIs.
    bool posixShell;
    // The folder a typed "~/" begins in ("" where none can be: the path is refused), or nullptr
    // where "~" is a letter of names (Windows: PROGRA~1).
    const char* home;
    // The code page of typed paths: the second byte of a two-byte character is never a "\".
    unsigned codePage;
};
// The forms of this system: POSIX {true, HOME or "", the locale's code page}; Windows {false,
// nullptr, the ANSI code page}.
TypedPathForms PlatformTypedPathForms();

// How many processes share this process's console; 0 where there is none or it cannot be told.
unsigned PlatformConsoleProcessCount();
