#pragma once
// Reads the typed paths from standard input, one line each.

#include <cstddef>
#include <cstdio>

// Size of each path buffer: 255 bytes of text and a terminating zero byte.
inline constexpr std::size_t PATH_BUFFER_SIZE = 256;

// Room for one line typed at a Windows console, converted to the ANSI code page.
inline constexpr std::size_t TYPED_LINE_SIZE = 1024;

// An input stream and what the reader must remember about it between lines.
struct LineInput {
    std::FILE* stream;
    bool console;       // an interactive console: Ctrl+Z and end of input end one read only
    bool endedForGood;  // a file or pipe met 0x1A: every later read finds end of input
    // A console that gives whole typed lines (ReadTypedLine): the line being read.
    bool bytesOnly = false;    // it does not: read the stream's bytes
    bool lineRefused = false;  // the typed line cannot be a path: refused like an overlong one
    const char* prompt = nullptr;  // the prompt's last line, for ReadTypedLine
    std::size_t typedAt = 0;
    std::size_t typedLength = 0;
    char typed[TYPED_LINE_SIZE] = {};
};

// Reads one line into `path` (PATH_BUFFER_SIZE bytes). A CR LF pair reads as LF and the LF
// ends the line unstored; a lone CR and 0xFF are ordinary bytes. 0x1A ends input for good from
// a file or pipe, and ends this read at a console, dropping the rest of that typed line. At end
// of input a line with stored bytes ends there, and a line without leaves `path` untouched. A
// line of more than 255 bytes, or holding a zero byte, is read to its end and leaves `path`
// empty, as does a typed line that the console could not give in the ANSI code page.
// Returns whether any byte was read.
bool ReadLineFrom(LineInput& input, char* path);

// ReadLineFrom on standard input; `prompt` as for ReadTypedLine.
bool ReadInputLine(char* path, const char* prompt);
