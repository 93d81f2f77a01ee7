#include "dialogue/line_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>

#include "test_files.h"

namespace {

struct Read {
    bool anyByte;
    Bytes path;
};

// Feeds `stdinBytes` to the reader as a file (or as a console would deliver them) and
// reads three lines into buffers prefilled with 'Q', to see which ones stay untouched.
std::array<Read, 3> ReadThreeLines(const Bytes& stdinBytes, bool console) {
    ScratchFolder folder;
    WriteFileBytes(folder.Path("stdin"), stdinBytes);
    std::FILE* stream = std::fopen(folder.Path("stdin").c_str(), "rb");
    LineInput input{stream, console, false};
    std::array<Read, 3> reads{};
    for (Read& read : reads) {
        char path[PATH_BUFFER_SIZE + 1];
        std::memset(path, 'Q', sizeof path);
        path[PATH_BUFFER_SIZE] = '\0';
        read.anyByte = ReadLineFrom(input, path);
        EXPECT_EQ(path[PATH_BUFFER_SIZE], '\0') << "nothing past the buffer";
        read.path = Bytes(path, std::strlen(path));
    }
    std::fclose(stream);
    return reads;
}

const Bytes kUntouched(PATH_BUFFER_SIZE, 'Q');

// From a file or pipe, and as a console delivers typed lines (the rows that say so).
TEST(ReadLineFrom, FileOrPipeOrConsoleInput) {
    const Bytes longest(255, 'a');
    const struct {
        const char* name;
        Bytes input;
        Read first, second, third;
        bool console = false;
    } cases[] = {
        {"CR LF lines", "C:\\in.pcm\r\nC:\\out.wav\r\n", {true, "C:\\in.pcm"}, {true, "C:\\out.wav"}, {false, kUntouched}},
        {"LF lines", "a\nb\n", {true, "a"}, {true, "b"}, {false, kUntouched}},
        {"lone CR stays", "a\rb\r\r\n\r", {true, "a\rb\r"}, {true, "\r"}, {false, kUntouched}},
        {"empty input", "", {false, kUntouched}, {false, kUntouched}, {false, kUntouched}},
        {"one line without end", "only", {true, "only"}, {false, kUntouched}, {false, kUntouched}},
        {"empty line", "\r\nx", {true, ""}, {true, "x"}, {false, kUntouched}},
        {"0x1A ends input for good", "ab\x1A" "cd\r\nef\r\n", {true, "ab"}, {false, kUntouched}, {false, kUntouched}},
        {"0x1A at a line start", "ab\r\n\x1A\r\nef\r\n", {true, "ab"}, {false, kUntouched}, {false, kUntouched}},
        {"0xFF is a byte", "\xFF\xFE\n", {true, "\xFF\xFE"}, {false, kUntouched}, {false, kUntouched}},
        {"a zero byte refuses the line", Bytes("ab\0cd\nx\n", 8), {true, ""}, {true, "x"}, {false, kUntouched}},
        {"255 bytes fit", longest + "\n" + "b", {true, longest}, {true, "b"}, {false, kUntouched}},
        {"256 bytes are refused whole", longest + "z\r\nnext\n", {true, ""}, {true, "next"}, {false, kUntouched}},
        {"overlong last line", Bytes(1000, 'x'), {true, ""}, {false, kUntouched}, {false, kUntouched}},
        {"console: Ctrl+Z Enter ends one read only", "\x1A\r\nC:\\out.wav\r\n", {false, kUntouched},
         {true, "C:\\out.wav"}, {false, kUntouched}, true},
        {"console: Ctrl+Z drops the rest of its line", "ab\x1A" "cd\r\nef\r\n", {true, "ab"}, {true, "ef"},
         {false, kUntouched}, true},
        {"console: CR LF line", "C:\\in.pcm\r\n", {true, "C:\\in.pcm"}, {false, kUntouched}, {false, kUntouched}, true},
    };
    for (const auto& c : cases) {
        const auto reads = ReadThreeLines(c.input, c.console);
        const Read expected[] = {c.first, c.second, c.third};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(reads[i].anyByte, expected[i].anyByte) << c.name << " line " << i;
            EXPECT_EQ(Hex(reads[i].path), Hex(expected[i].path)) << c.name << " line " << i;
        }
    }
}

}  // namespace
