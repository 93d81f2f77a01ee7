#pragma once
// Writes the dialogue's texts to standard output.

#include <cstdio>

// Writes `text` whole, each LF as CR LF, the same bytes on every system. At a console the
// text is on the screen when this returns; to a file or pipe it waits in the stream's
// buffer. Returns the number of text bytes written.
int WriteConsoleText(std::FILE* out, bool console, const char* text);
