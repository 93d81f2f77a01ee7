#pragma once
// Writes the dialogue's texts to standard output.

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "platform/platform.h"

// Writes the first `length` bytes of `text` (Shift_JIS, "\n" line ends) whole: in the form
// the platform's reader needs (UTF-8 under a UTF-8 locale, Unicode at a Windows console),
// otherwise as their own bytes with each LF as CR LF, the same bytes on every system. At a
// console they are on the screen when this returns; to a file or pipe they wait in the
// stream's buffer. Returns `length`, the number of Shift_JIS bytes, whatever form they went
// out in. Takes at most CONSOLE_TEXT_SIZE / 2 bytes; the template below holds callers to that.
int WriteConsoleBytes(std::FILE* out, bool console, const char* text, std::size_t length);

// WriteConsoleBytes for the zero-terminated text in an array, whole or its first `length`
// bytes: a text that could outgrow the console buffers does not compile.
template <std::size_t N>
int WriteConsoleText(std::FILE* out, bool console, const char (&text)[N], std::size_t length = N) {
    static_assert(2 * N <= CONSOLE_TEXT_SIZE, "a console text longer than the console buffers");
    const std::size_t whole = static_cast<std::size_t>(std::find(text, text + N, '\0') - text);
    return WriteConsoleBytes(out, console, text, length < whole ? length : whole);
}

// True when the program was started on its own console (a double-click), whose window
// closes when the program ends: both streams are that console and no other process shares it.
bool WaitsBeforeClosing(bool inputIsConsole, bool outputIsConsole, unsigned processesOnConsole);
