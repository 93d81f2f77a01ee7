#pragma once
// Typed lines read whole where a terminal or console gives them so: at a POSIX terminal through
// the line editor (libedit) where the build has it; at a Windows console through its own line
// editing, Tab completing paths where it can wake a read at a Tab. The dialogue's line reader
// asks here first, and reads the stream's bytes where this gives no line.

#include <cstddef>
#include <cstdio>

// True where typed lines are edited here, at a terminal: POSIX built with libedit, both standard
// streams a terminal, a UTF-8 locale. The dialogue then leaves each prompt's last line to
// ReadTypedLine, which shows it and keeps it on every redraw.
bool EditsTypedLines();

// ReadTypedLine results besides a length.
inline constexpr long TYPED_LINE_NONE = -1;     // no console line: read the stream's bytes
inline constexpr long TYPED_LINE_REFUSED = -2;  // a character the code page lacks, a control character, too long

// Reads one typed line whole, its line end included: at a Windows console through its Unicode
// interface, converted to the ANSI code page with no best-fit substitutes, refused where it holds
// a control character before its end, is longer than the console's read over all its reads, or
// where more lines of a paste wait behind it (then every key behind it goes, and what of a paste is
// still coming in, and so do a paste's closing line breaks); Ctrl+C or Ctrl+Break read it anew
// where they do not end the run; where lines are edited here, through the editor. `prompt`
// is the prompt's last line (Shift_JIS): shown first where EditsTypedLines, and written again
// under a Tab's listing. Returns its length in bytes (at most `capacity`; 0 for end of input
// typed on an empty line), or one of the results above; TYPED_LINE_NONE where the stream is no
// such console, or where the console call fails.
long ReadTypedLine(std::FILE* stream, const char* prompt, char* line, std::size_t capacity);
// Releases what ReadTypedLine kept between lines (the editor, this run's answers), and sets the
// console's input mode back to what the program found, once the last line is read.
void EndTypedLines();
// Waits until Enter is pressed at a Windows console whose window closes as the program ends, what
// was typed before the wait dropped; Ctrl+C, Ctrl+Break or closing the window end the process there
// with `status` as its exit status. POSIX: nothing (no terminal closes with the program).
void WaitForEnter(int status);
