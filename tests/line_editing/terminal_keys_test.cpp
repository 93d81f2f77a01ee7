#include "line_editing/terminal_keys.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

using namespace editor_keys;

std::wstring Cat(std::initializer_list<std::wstring_view> parts) {
    std::wstring joined;
    for (std::wstring_view part : parts) joined += part;
    return joined;
}

// The keys `bytes` give, and the bells, when nothing follows them within the wait; 0xFF (no
// byte of UTF-8) stands for such a wait between them.
std::pair<std::wstring, int> Keys(const std::string& bytes, TerminalKeyReader* given = nullptr) {
    TerminalKeyReader own, &reader = given != nullptr ? *given : own;
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
        {"\033[A\033OB\033[C\033OD", Cat({UP, DOWN, RIGHT, LEFT}), 0},
        {"\033[H\033OH\033[1~\033[7~\033[1;5H\033[7^", Cat({HOME, HOME, HOME, HOME, HOME, HOME}), 0},
        {"\033[F\033OF\033[4~\033[8~\033[1;2F", Cat({END, END, END, END, END}), 0},
        {"\033[3~\033[3;5~\033[3$", Cat({DELETE, DELETE, DELETE}), 0},
        // Ctrl and Alt move by word; Shift moves as the plain arrow.
        {"\033[1;5D\033[1;3C\033[1;9D\033O5C\033Od\033Oc", Cat({WORD_LEFT, WORD_RIGHT, WORD_LEFT, WORD_RIGHT, WORD_LEFT, WORD_RIGHT}), 0},
        {"\033[1;2D\033[1;2A\033[d\033[a", Cat({LEFT, UP, LEFT, UP}), 0},
        // PageUp, PageDown, Insert, F1 (three forms), F5, F12, Shift+F1, Ctrl+Up, Alt+Down,
        // Shift+Insert: a bell each.
        {"\033[5~\033[6~\033[2~\033OP\033[[A\033[11~\033[15~\033[24~\033[1;2P\033[1;5A\033[1;3B\033[2$", L"", 12},
        // Inside a sequence C0 is done, DEL ignored, CAN cancels (ECMA-48); ESC NUL is Alt+Ctrl+Space: nothing.
        {"\033[1;\0055D\033[\x7fx\033[1\030a\033[!:D\033" + std::string(1, '\0') + "b", L"\005" + Cat({WORD_LEFT, L"ab"}), 3},
        // Cut short, a bell; its tail within another wait goes too, later bytes are keys. Escape, Enter: Enter.
        {"ab\033[1;", L"ab", 1},
        {"\033[1;5\xff" "Fx\033]11;rgb:0/0\xff" "/0\007y\033[1\xff\xff" "D\033\r", L"xyD\r", 3},
        // Reports go quietly: private forms and overlong ones, mouse (SGR, urxvt, X10 with 0x7F and with
        // xterm's two-byte UTF-8 coordinates), focus, DECRQM's mode report, position, window, status.
        {"\033[?1;2c\033[" + std::string(40, '0') + "1D\033[<0;1;1M\033[I\033[O\033[?2004;1$y\033[32;10;5M", L"", 0},
        {"a\033[M !!b\033[M\x7f\x7f\x7f" "c\033[M \xc2\xa0!d\033[1;5R\033[8;24;80t\033[0n", L"abcd", 0},
        // Control strings to their end (BEL, ESC \, ST), quietly: OSC, DCS, SOS, PM, APC; an
        // Escape that begins no terminator cuts the string and begins a sequence.
        {"a\033]11;rgb:0000/0000/0000\007b\033]52;c;YQ==\033\\c\033]0;\xe8\xa1\xa8\xc2\x9c" "d", L"abcd", 0},
        {"\033P1$r0m\033\\\033Xs\033\\\033^p\033\\\033_a\033\\\033]x\033[D", Cat({LEFT}), 0},
        {"\033]never ended", L"", 1},
        // Another C1 control ends a string and acts; so does an Escape before a wide character (no key).
        {"\033]\xc2\x85" "ab\033]\033\xc3\033[D", Cat({L"ab", LEFT}), 2},
        // Escapes with intermediates end at their final byte, quietly.
        {"\033#8\033(B\033 F\033%Ga", L"a", 0},
        // C1 controls are their Escape forms (CSI, OSC); another rings; NUL does nothing.
        {"\xc2\x9b" "A\xc2\x9d" "0;t\007\xc2\x85" + std::string(1, '\0') + "b", Cat({UP, L"b"}), 1},
        // A lone Escape and Alt+key reach libedit as Escape and the key; Escape before a sequence
        // is rxvt's Alt, and goes with a sequence dropped.
        {"\033\033\xff\033[D", kEsc + Cat({LEFT}), 0},
        {"\033\033.\033[D\033\033\033[D\033\033[[\033[D", kEsc + Cat({L".", LEFT, WORD_LEFT, LEFT}), 1},
        // A paste passes unchanged to its end marker once the burst is over; a stray end marker
        // goes without a bell.
        {"\033[200~a\t\r\n\xc2\x9b\xe8\033[201~\xff\033[201~b", Cat({PASTE_START, L"a\t\r\n\u009B\uFFFD", PASTE_END, L"b"}), 0},
        // An Escape in a paste (the editor could take it for a marker), more bytes in the burst
        // after its end marker, or a stall before its end: dropped whole, the burst with it;
        // typing goes on after the wait.
        {"\033[200~a\033[2x\033[202~b\033[201~\xff" "c", Cat({PASTE_START, L"a", PASTE_DROPPED, L"c"}), 0},
        {"\033[200~a\033[201~b.wav\n\033[201~\xff" "c", Cat({PASTE_START, L"a", PASTE_DROPPED, L"c"}), 0},
        {"\033[200~\033[201\xff" "d", Cat({PASTE_START, PASTE_DROPPED, L"d"}), 0},
        // UTF-8 decoded; a byte that is no UTF-8 becomes U+FFFD, never dropped.
        {"/表/😀\t\x7f\x01", L"/表/😀\t\x7f\x01", 0},
        {"caf\xe9.pcm\xc0\xaf\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe8\xa1", L"caf\uFFFD.pcm\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", 0},
        {"\xe8\033[D", L"\uFFFD" + Cat({LEFT}), 0},
    };
    for (const auto& c : cases) {
        const auto [keys, bells] = Keys(c.bytes);
        EXPECT_EQ(keys, c.keys) << c.bytes;
        EXPECT_EQ(bells, c.bells) << c.bytes;
    }
}

// Anything begun waits as a slow link needs, a lone Escape and a stalled sequence's tail too; an
// Escape with intermediates briefly; a paste's end only for the rest of its burst; nothing begun,
// for good. An asked-for position report is no key, inside a paste too.
TEST(FeedTerminalByte, WaitsAndPositionReports) {
    const std::pair<const char*, int> waits[] = {
        {"", -1}, {"\033", TERMINAL_SLOW_LINK_WAIT_MS}, {"\033 ", TERMINAL_ESCAPE_WAIT_MS}, {"\033[", TERMINAL_SLOW_LINK_WAIT_MS},
        {"\033[1\xff", TERMINAL_SLOW_LINK_WAIT_MS},
        {"\xe8", TERMINAL_SLOW_LINK_WAIT_MS}, {"\033]1", TERMINAL_SLOW_LINK_WAIT_MS}, {"\033[M", TERMINAL_SLOW_LINK_WAIT_MS},
        {"\033[200~\033", TERMINAL_SLOW_LINK_WAIT_MS}, {"\033[200~\033[201~", TERMINAL_PASTE_SETTLE_MS}};
    for (const auto& [bytes, wait] : waits) {
        TerminalKeyReader reader;
        std::wstring keys;
        for (const char* at = bytes; *at != '\0'; ++at) FeedTerminalByte(reader, *at == '\xff' ? NO_MORE_BYTES : static_cast<unsigned char>(*at), keys);
        EXPECT_EQ(TerminalKeyWait(reader), wait) << bytes;
    }
    TerminalKeyReader asked;
    asked.awaitsPosition = true;
    const auto [keys, bells] = Keys("x\033[12;40Ry\033[3;4R", &asked);
    EXPECT_EQ(keys, L"xy");
    EXPECT_EQ(bells, 0) << "a report not asked for goes quietly";
    asked.awaitsPosition = true;
    EXPECT_EQ(Keys("\033[200~a\033[3;4Rb\033[201~", &asked).first, Cat({PASTE_START, L"ab", PASTE_END})) << "taken inside a paste";
    EXPECT_EQ(asked.positionRow * 100 + asked.positionColumn, 304);
}

}  // namespace
