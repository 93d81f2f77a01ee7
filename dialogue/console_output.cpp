#include "dialogue/console_output.h"

int WriteConsoleBytes(std::FILE* out, bool console, const char* text, std::size_t length) {
    // Its own form, each LF as CR LF: what a file or a pipe gets on every system, and what
    // the platform converts for a terminal that needs another form.
    char bytes[CONSOLE_TEXT_SIZE];
    std::size_t size = 0;
    for (std::size_t at = 0; at < length && size + 2 <= sizeof bytes; ++at) {
        if (text[at] == '\n') bytes[size++] = '\r';
        bytes[size++] = text[at];
    }
    if (!PlatformWriteConsoleText(out, bytes, size)) std::fwrite(bytes, 1, size, out);
    if (console) std::fflush(out);
    return static_cast<int>(length);
}

bool WaitsBeforeClosing(bool inputIsConsole, bool outputIsConsole, unsigned processesOnConsole) {
    return inputIsConsole && outputIsConsole && processesOnConsole == 1;
}
