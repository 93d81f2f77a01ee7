// POSIX terminals: the line editor where the build has it, under a UTF-8 locale with terminals on
// both standard streams; elsewhere the terminal's own line discipline gives typed bytes as they
// are, and the caller reads them.

#include "line_editing/typed_lines.h"

#include <cstring>
#include <unistd.h>

#include "line_editing/line_editor.h"
#include "platform/platform.h"

bool EditsTypedLines() {
    // The editor speaks UTF-8 only; other terminals keep their own line discipline.
    return LINE_EDITOR_BUILT && PlatformAnsiCodePage() == 65001 && isatty(STDIN_FILENO) != 0 &&
           isatty(STDOUT_FILENO) != 0;
}

long ReadTypedLine(std::FILE* stream, const char* prompt, char* line, std::size_t capacity) {
    if (stream != stdin || prompt == nullptr || !EditsTypedLines()) return TYPED_LINE_NONE;
    char utf8[3 * CONSOLE_TEXT_SIZE];
    const long length = PlatformUtf8FromConsoleText(prompt, std::strlen(prompt), utf8, sizeof utf8 - 1);
    utf8[length < 0 ? 0 : length] = '\0';
    return ReadEditedLine(utf8, line, capacity);
}

void EndTypedLines() { EndLineEditor(); }

// Never called: PlatformConsoleProcessCount is 0 at every POSIX terminal.
void WaitForEnter(int) {}
