#pragma once
// Writes the dialogue's texts to standard output.

#include <cstddef>
#include <cstdio>

#include "platform/platform.h"

// Writes `text` (Shift_JIS, "\n" line ends) whole: in the form the platform's reader needs
// (UTF-8 under a UTF-8 locale, Unicode at a Windows console), otherwise as its own bytes
// with each LF as CR LF, the same bytes on every system. At a console the text is on the
// screen when this returns; to a file or pipe it waits in the stream's buffer. Returns the
// number of its Shift_JIS bytes, whatever form it went out in. Takes texts of at most
// CONSOLE_TEXT_SIZE / 2 bytes; the template below holds every caller to that.
int WriteConsoleTextWithin(std::FILE* out, bool console, const char* text);

// WriteConsoleTextWithin for a text in an array: one that could outgrow the console buffers
// does not compile.
template <std::size_t N>
int WriteConsoleText(std::FILE* out, bool console, const char (&text)[N]) {
    static_assert(2 * N <= CONSOLE_TEXT_SIZE, "a console text longer than the console buffers");
    return WriteConsoleTextWithin(out, console, text);
}

// True when the program was started on its own console (a double-click), whose window
// closes when the program ends: both streams are that console and no other process shares it.
bool WaitsBeforeClosing(bool inputIsConsole, bool outputIsConsole, unsigned processesOnConsole);
