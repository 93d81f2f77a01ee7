#pragma once
// The line editor behind ReadTypedLine at POSIX terminals: libedit (line_editor_libedit.cpp)
// where the build has it, none elsewhere.

#include <cstddef>

#include "line_editing/typed_lines.h"

#if defined(PCMCONV_LIBEDIT)
inline constexpr bool LINE_EDITOR_BUILT = true;
// Reads one line at the terminal after `prompt` (UTF-8), as ReadTypedLine.
long ReadEditedLine(const char* prompt, char* line, std::size_t capacity);
// Releases the editor and its history; the terminal is as it was before the first line.
void EndLineEditor();
#else
inline constexpr bool LINE_EDITOR_BUILT = false;
inline long ReadEditedLine(const char*, char*, std::size_t) { return TYPED_LINE_NONE; }
inline void EndLineEditor() {}
#endif
