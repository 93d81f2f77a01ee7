#include "dialogue/line_reader.h"

#include <cstring>

#include "line_editing/typed_lines.h"
#include "platform/platform.h"

namespace {

constexpr int CTRL_Z = 0x1A;

int NextByte(LineInput& input);

// The next byte of a line typed at a console that gives whole lines; EOF for a failed read,
// and a LF that ends a refused line.
int NextTypedByte(LineInput& input) {
    if (input.typedAt == input.typedLength) {
        const long got = ReadTypedLine(input.stream, input.prompt, input.typed, sizeof input.typed);
        if (got == TYPED_LINE_NONE) {
            input.bytesOnly = true;
            return NextByte(input);
        }
        if (got == TYPED_LINE_REFUSED) {
            input.lineRefused = true;
            return '\n';
        }
        if (got == 0) return EOF;
        input.typedAt = 0;
        input.typedLength = static_cast<std::size_t>(got);
    }
    return static_cast<unsigned char>(input.typed[input.typedAt++]);
}

// The next byte of the stream, or EOF. At a console, end of input is one typed Ctrl+D
// (or a failed read): clear it so that the next read waits for the next typed line.
int NextByte(LineInput& input) {
    if (input.console && !input.bytesOnly) return NextTypedByte(input);
    const int byte = std::getc(input.stream);
    if (byte == EOF && input.console) std::clearerr(input.stream);
    return byte;
}

// Puts back the byte NextByte gave last.
void PutBack(LineInput& input, int byte) {
    if (input.console && !input.bytesOnly) {
        --input.typedAt;
    } else {
        std::ungetc(byte, input.stream);
    }
}

void DropRestOfTypedLine(LineInput& input) {
    for (int byte = NextByte(input); byte != EOF && byte != '\n'; byte = NextByte(input)) {
    }
}

}  // namespace

bool ReadLineFrom(LineInput& input, char* path) {
    if (input.endedForGood) return false;
    // Each line asks for a typed line again: an editor that could not take the last one writes
    // the prompt itself all the same.
    if (input.prompt != nullptr) input.bytesOnly = false;
    std::size_t stored = 0;
    std::size_t seen = 0;  // bytes of this line, stored or not
    bool lineEnded = false;
    bool inputEnded = false;
    while (!inputEnded) {
        int byte = NextByte(input);
        if (byte == EOF) break;
        if (byte == CTRL_Z) {
            if (input.console) {
                DropRestOfTypedLine(input);
            } else {
                input.endedForGood = true;
            }
            break;
        }
        if (byte == '\r') {
            const int next = NextByte(input);
            if (next == '\n') {
                byte = '\n';
            } else if (next == EOF) {
                inputEnded = true;  // the CR is this line's last byte
            } else {
                PutBack(input, next);
            }
        }
        if (byte == '\n') {
            lineEnded = true;
            break;
        }
        if (seen < PATH_BUFFER_SIZE - 1) path[stored++] = static_cast<char>(byte);
        ++seen;
        // No name holds a zero byte: read as the text before it, the line would name another file.
        if (byte == '\0') input.lineRefused = true;
    }
    if (seen == 0 && !lineEnded) return false;
    if (seen > PATH_BUFFER_SIZE - 1 || input.lineRefused) {
        input.lineRefused = false;
        std::memset(path, 0, PATH_BUFFER_SIZE);  // refused whole: no part of it is a path
    } else {
        path[stored] = '\0';
    }
    return true;
}

bool ReadInputLine(char* path, const char* prompt) {
    static LineInput standardInput{stdin, PlatformIsConsole(stdin), false};
    standardInput.prompt = prompt;
    return ReadLineFrom(standardInput, path);
}
