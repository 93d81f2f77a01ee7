#pragma once
// The services the converter takes from the operating system. platform_windows.cpp calls
// Win32 and the Microsoft C runtime; platform_posix.cpp gives the same observable behaviour
// on POSIX systems. Nothing above this layer includes an OS header.

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Every service that takes a path reads it as Windows does: on POSIX systems too, each "\\"
// is a separator like "/" (walking by characters, so the second byte of a two-byte
// character is never one), and a folder is never opened as a file.

// Zero-filled working memory (GlobalAlloc with GMEM_ZEROINIT); nullptr when refused.
void* PlatformAllocZeroed(std::size_t size);
// Releases memory from PlatformAllocZeroed; nullptr is ignored.
void PlatformFree(void* block);
// Fault injection for tests: lets `grants` more allocations succeed, then refuses every one.
// A negative count lifts the limit (the default).
void PlatformLimitAllocations(long grants);

// Fault injection for tests: refuses the `nth` file open from now on (streams and the length
// query; 1 is the next), as for a file that is gone or locked at that moment. 0: none.
void PlatformFailOpen(long nth);

// Opens a file stream with a C mode string ("r", "rb", "wb", "ab", "a+b", "w+b"), sharing
// allowed. A folder never opens, on any system, and no open waits for the other end of a
// FIFO. nullptr on failure.
std::FILE* PlatformOpenStream(const char* path, const char* mode);
// Moves a stream to an absolute 64-bit offset; false on failure.
bool PlatformSeekStream(std::FILE* stream, std::int64_t offset);

// The length of an existing file, opened for reading only with sharing allowed; -1 when
// it cannot be taken (missing, a folder, not readable).
std::int64_t PlatformQueryFileLength(const char* path);

// True when both paths name one existing file, however each is spelled: compares the
// file's identity (device and inode; volume serial number and file index), never text.
bool PlatformSameFile(const char* pathA, const char* pathB);

// Creates the one folder a prefix names ("\\" separators, a closing "\\" allowed) with
// default security. Makes no missing parents. False when it was not made.
bool PlatformCreateFolder(const char* prefix);

// The system's ANSI code page (GetACP), the code page of typed paths.
unsigned PlatformAnsiCodePage();
// True when `byte` begins a two-byte character in `codePage`.
bool PlatformIsLeadByte(unsigned codePage, unsigned char byte);

// Makes a write past a file size limit, or to a closed pipe, fail with an error instead of
// ending the process, so that the program reports it like any failed write.
void PlatformSetUpProcess();

// Standard streams: bytes pass unchanged (the dialogue does its own line-end handling),
// standard output gets a 4096-byte buffer.
void PlatformSetUpConsoleStreams();
// True when the stream is an interactive console or terminal.
bool PlatformIsConsole(std::FILE* stream);

// Writes a console text (Shift_JIS bytes, "\n" line ends) to `stream` in the form its reader
// needs where that is not the bytes themselves: under a UTF-8 locale (POSIX), UTF-8 with LF
// line ends; at a Windows console, through its Unicode interface, whatever its code page.
// False when the text is to go out as its own bytes, which the caller then writes.
bool PlatformWriteConsoleText(std::FILE* stream, const char* text);

// PlatformReadConsoleLine results besides a length.
inline constexpr long CONSOLE_LINE_NONE = -1;     // no console line: read the stream's bytes
inline constexpr long CONSOLE_LINE_REFUSED = -2;  // a character the code page lacks, or too long
// Reads one line typed at a Windows console through its Unicode interface, converted to the
// ANSI code page with no best-fit substitutes, its line end included. Returns its length in
// bytes (at most `capacity`), or one of the results above; always CONSOLE_LINE_NONE where
// the stream is no such console, or where the console call fails.
long PlatformReadConsoleLine(std::FILE* stream, char* line, std::size_t capacity);

// How many processes share this process's console; 0 where there is none or it cannot be told.
unsigned PlatformConsoleProcessCount();
// Waits until Enter is pressed at the console. Should the console close first, the process
// ends there with `status` as its exit status.
void PlatformWaitForEnter(int status);

// Copies up to `length` bytes of `source` from `offset` onto the end of `destination`
// inside the kernel, where the system offers that. Returns how many bytes it copied: fewer
// where the source ends, where an error stops it, or where no kernel copy exists (0); the
// caller copies the rest through its own buffer, which also reports any error.
std::int64_t PlatformCopyInKernel(std::FILE* source, std::FILE* destination,
                                  std::int64_t offset, std::int64_t length);
// For tests and measurements: false makes PlatformCopyInKernel copy nothing, so every byte
// goes through the caller's buffer. On by default.
void PlatformEnableKernelCopy(bool enabled);
