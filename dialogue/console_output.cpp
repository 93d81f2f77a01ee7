#include "dialogue/console_output.h"

#include <cstring>

int WriteConsoleTextWithin(std::FILE* out, bool console, const char* text) {
    // Its own form, each LF as CR LF: what a file or a pipe gets on every system, and what
    // the platform converts for a terminal that needs another form.
    char bytes[CONSOLE_TEXT_SIZE];
    std::size_t length = 0;
    for (const char* at = text; *at != '\0' && length + 2 <= sizeof bytes; ++at) {
        if (*at == '\n') bytes[length++] = '\r';
        bytes[length++] = *at;
    }
    if (!PlatformWriteConsoleText(out, bytes, length)) std::fwrite(bytes, 1, length, out);
    if (console) std::fflush(out);
    return static_cast<int>(std::strlen(text));
}

bool WaitsBeforeClosing(bool inputIsConsole, bool outputIsConsole, unsigned processesOnConsole) {
    return inputIsConsole && outputIsConsole && processesOnConsole == 1;
}
