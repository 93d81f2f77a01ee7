#include "dialogue/console_output.h"

int WriteConsoleText(std::FILE* out, bool console, const char* text) {
    int count = 0;
    for (const char* at = text; *at != '\0'; ++at, ++count) {
        if (*at == '\n') std::putc('\r', out);
        std::putc(*at, out);
    }
    if (console) std::fflush(out);
    return count;
}
