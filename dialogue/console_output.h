#pragma once
// Writes the dialogue's texts to standard output.

#include <cstdio>

// Writes `text` (Shift_JIS, "\n" line ends) whole: in the form the platform's reader needs
// (UTF-8 under a UTF-8 locale, Unicode at a Windows console), otherwise as its own bytes
// with each LF as CR LF, the same bytes on every system. At a console the text is on the
// screen when this returns; to a file or pipe it waits in the stream's buffer. Returns the
// number of its Shift_JIS bytes, whatever form it went out in.
int WriteConsoleText(std::FILE* out, bool console, const char* text);

// True when the program was started on its own console (a double-click), whose window
// closes when the program ends: both streams are that console and no other process shares it.
bool WaitsBeforeClosing(bool inputIsConsole, bool outputIsConsole, unsigned processesOnConsole);
