#include "dialogue/console_output.h"

#include <cstring>

#include "platform/platform.h"

int WriteConsoleText(std::FILE* out, bool console, const char* text) {
    if (!PlatformWriteConsoleText(out, text)) {
        for (const char* at = text; *at != '\0'; ++at) {
            if (*at == '\n') std::putc('\r', out);
            std::putc(*at, out);
        }
    }
    if (console) std::fflush(out);
    return static_cast<int>(std::strlen(text));
}

bool WaitsBeforeClosing(bool inputIsConsole, bool outputIsConsole, unsigned processesOnConsole) {
    return inputIsConsole && outputIsConsole && processesOnConsole == 1;
}
