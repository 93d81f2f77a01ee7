#include "platform/terminal_keys.h"

#include <gtest/gtest.h>

namespace {

using namespace editor_keys;

// The keys `bytes` give, and the bells, when nothing follows them within the wait; 0xFF (no
// byte of UTF-8) stands for such a wait between them.
std::pair<std::wstring, int> Keys(const std::string& bytes) {
    TerminalKeyReader reader;
    std::wstring keys;
    int bells = 0;
    for (unsigned char byte : bytes) bells += FeedTerminalByte(reader, byte == 0xFF ? NO_MORE_BYTES : byte, keys);
    bells += FeedTerminalByte(reader, NO_MORE_BYTES, keys);
    return {keys, bells};
}

TEST(FeedTerminalByte, EveryKeyWholeInTheFormTheEditorBinds) {
    const std::wstring kEsc = L"\033";
    const struct {
        std::string bytes;
        std::wstring keys;
        int bells;
    } cases[] = {
        // Arrows and Home, End, Delete in the forms of xterm, tmux, screen, the Linux console, rxvt.
        {"\033[A\033OB\033[C\033OD", UP + DOWN + RIGHT + LEFT, 0},
        {"\033[H\033OH\033[1~\033[7~\033[1;5H\033[7^", HOME + HOME + HOME + HOME + HOME + HOME, 0},
        {"\033[F\033OF\033[4~\033[8~\033[1;2F", END + END + END + END + END, 0},
        {"\033[3~\033[3;5~\033[3$", DELETE + DELETE + DELETE, 0},
        // Ctrl and Alt move by word; Shift moves as the plain arrow.
        {"\033[1;5D\033[1;3C\033[1;9D\033O5C\033Od\033Oc", WORD_LEFT + WORD_RIGHT + WORD_LEFT + WORD_RIGHT + WORD_LEFT + WORD_RIGHT, 0},
        {"\033[1;2D\033[1;2A\033[d\033[a", LEFT + UP + LEFT + UP, 0},
        // PageUp, PageDown, Insert, F1 (three forms), F5, F12, Shift+F1, Ctrl+Up, Alt+Down: a bell each.
        {"\033[5~\033[6~\033[2~\033OP\033[[A\033[11~\033[15~\033[24~\033[1;2P\033[1;5A\033[1;3B", L"", 11},
        // Private and overlong forms, a control byte inside, a sequence cut short: a bell and nothing.
        {"\033[?1;2c\033[" + std::string(40, '0') + "1D", L"", 2},
        {"\033[1\001", L"\001", 1},
        {"ab\033[1;", L"ab", 1},
        // A lone Escape and Alt+key reach libedit as Escape and the key; Escape before a sequence
        // is rxvt's Alt, and goes with a sequence dropped.
        {"\033\033\xff\033[D", kEsc + LEFT, 0},
        {"\033\033.\033[D\033\033\033[D\033\033[[\033[D", kEsc + L"." + LEFT + WORD_LEFT + LEFT, 1},
        // A paste passes unchanged to its end marker; a stray end marker goes without a bell.
        {"\033[200~a\033[2x\t\r\n\033\xe8\033[201~\033[201~b", PASTE_START + L"a\033[2x\t\r\n\033\uFFFD" + PASTE_END + L"b", 0},
        {"\033[200~\033[201", PASTE_START + L"\033[201", 0},
        // UTF-8 decoded; a byte that is no UTF-8 becomes U+FFFD, never dropped.
        {"/表/😀\t\x7f\x01", L"/表/😀\t\x7f\x01", 0},
        {"caf\xe9.pcm\xc0\xaf\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe8\xa1", L"caf\uFFFD.pcm\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", 0},
        {"\xe8\033[D", L"\uFFFD" + LEFT, 0},
    };
    for (const auto& c : cases) {
        const auto [keys, bells] = Keys(c.bytes);
        EXPECT_EQ(keys, c.keys) << c.bytes;
        EXPECT_EQ(bells, c.bells) << c.bytes;
    }
}

}  // namespace
