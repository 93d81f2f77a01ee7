// ReadTypedLine and WaitForEnter against models of the console hosts, through the console calls' table.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "line_editing/console_calls_windows.h"
#include "line_editing/typed_lines.h"
#include "test_files.h"

namespace {

// Keys as the console gets them, characters but for marks: Home, Left, Right, Shift+Tab, Ctrl+C,
// Ctrl+Break; PIECE where ConPTY's next piece of a paste begins (src/host/VtInputThread.cpp parses
// 4096 bytes at a time: it comes at the next wait or read); TYPED, keys typed once a read waits.
constexpr wchar_t HOME = 0xE000, LEFT = 0xE001, RIGHT = 0xE002, SHIFT_TAB = 0xE003, CTRL_C = 0xE004,
                  CTRL_BREAK = 0xE005, PIECE = 0xE006, TYPED = 0xE007;
constexpr DWORD ECHOED = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT, COOKED = ECHOED | ENABLE_PROCESSED_INPUT;
enum Host { CONHOST_2019, CONHOST_2023, CONHOST_2024, WINE };

struct Model {
    Host host;
    std::wstring keys, pending;  // pending: what a read's buffer did not take, the next read's (stream.cpp, _ReadPendingInput)
    DWORD mode;
    bool modeFixed;  // SetConsoleMode fails
    PHANDLER_ROUTINE handler = nullptr;
} m;

std::size_t Waiting() { return std::min(m.keys.find_first_of({PIECE, TYPED}), m.keys.size()); }

// A cooked read, src/host/readDataCooked.cpp: before August 2023 (at 07566fac4c, ProcessInput) a
// line holds at most its buffer less two (256 characters, or the caller's), keys past it dropped,
// and a Tab is written over the character under the cursor, the line one longer; from August 2023
// (821ae3af2d, _handleChar) a Tab is inserted, and a line has no limit; from February 2024
// (5e9f223a6c, _handleChar) the text after the cursor goes first. LF keys never reach it
// (stream.cpp, GetChar); Ctrl+C and Ctrl+Break end it with nothing (Notify, STATUS_ALERTED); Enter
// ends it with CR LF, or CR alone without processed input (_handlePostCharInputLoop), where Ctrl+C
// is a character. Wine's console keeps LF keys, ends lines with CR LF whatever the mode, never ends
// a read at Ctrl+C, and inserts a Tab. (The control's type is the header's: mingw-w64 says LPVOID.)
template <typename Control>
BOOL WINAPI Read(HANDLE, LPVOID buffer, DWORD size, LPDWORD got, Control readControl) {
    auto* out = static_cast<wchar_t*>(buffer);
    auto* control = static_cast<PCONSOLE_READCONSOLE_CONTROL>(readControl);
    const bool wakes = control != nullptr && (control->dwCtrlWakeupMask & (1UL << L'\t')) != 0;
    std::wstring line = !m.pending.empty() ? m.pending : std::wstring(out, control != nullptr ? control->nInitialChars : 0);
    for (std::size_t cursor = line.size(); m.pending.empty();) {
        m.keys.erase(0, std::min(m.keys.find_first_not_of({PIECE, TYPED}), m.keys.size()));
        const wchar_t key = m.keys.empty() ? 0 : m.keys[0];
        m.keys.erase(0, 1);
        const bool processed = (m.mode & ENABLE_PROCESSED_INPUT) != 0, signal = key == CTRL_BREAK || (key == CTRL_C && processed);
        if (key == 0 || (signal && m.host != WINE)) {
            SetLastError(key != 0 ? ERROR_OPERATION_ABORTED : ERROR_BROKEN_PIPE);  // no keys left: a console gone
            return *got = 0, key != 0;
        }
        if (key == L'\r') {
            line += processed || m.host == WINE ? L"\r\n" : L"\r";
            break;
        }
        if (key == HOME || key == LEFT || key == RIGHT) {
            cursor = key == HOME ? 0 : std::min(key == LEFT ? cursor - (cursor > 0) : cursor + 1, line.size());
        } else if ((key == L'\n' && m.host != WINE) || signal || (m.host == CONHOST_2019 && line.size() >= std::max<DWORD>(size, 256) - 2)) {
        } else if ((key == L'\t' || key == SHIFT_TAB) && wakes) {
            if (m.host == CONHOST_2024) line.erase(cursor);
            if (m.host == CONHOST_2019 && cursor < line.size()) line.replace(cursor, 1, L"\t") += L' ';
            if (m.host != CONHOST_2019 || cursor == line.size()) line.insert(cursor, 1, L'\t');
            control->dwControlKeyState = key == SHIFT_TAB ? SHIFT_PRESSED : 0;
            break;
        } else {
            line.insert(cursor++, 1, key == CTRL_C ? L'\x03' : key);
        }
    }
    line.copy(out, *got = static_cast<DWORD>(std::min<std::size_t>(size, line.size())));
    m.pending = line.substr(*got);
    return TRUE;
}

BOOL WINAPI Peek(HANDLE, PINPUT_RECORD records, DWORD size, LPDWORD got) {
    for (*got = 0; *got < std::min<std::size_t>(Waiting(), size); ++*got) {
        records[*got] = {KEY_EVENT, {{TRUE, 1, static_cast<WORD>(m.keys[*got] == L'\r' ? VK_RETURN : 'A'), 0, {m.keys[*got]}, 0}}};
    }
    return TRUE;
}
// A flush clears what is parsed (inputBuffer.cpp, InputBuffer::Flush), no piece to come nor pending input.
BOOL WINAPI Flush(HANDLE) { return m.keys.erase(0, Waiting()), TRUE; }
DWORD WINAPI Wait(HANDLE, DWORD) {
    if (Waiting() == 0 && !m.keys.empty() && m.keys[0] == PIECE) m.keys.erase(0, 1);
    return Waiting() > 0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
BOOL WINAPI GetMode(HANDLE, LPDWORD mode) { return *mode = m.mode, TRUE; }
BOOL WINAPI SetMode(HANDLE, DWORD mode) { return m.mode = m.modeFixed ? m.mode : mode, !m.modeFixed; }
BOOL WINAPI SetHandler(PHANDLER_ROUTINE handler, BOOL) { return m.handler = handler, TRUE; }
BOOL WINAPI Write(HANDLE, const void*, DWORD, LPDWORD, LPVOID) { return TRUE; }

// What each host gives for each row, in Host's order (one for all where the others are empty): the
// line read, code page 932, or "-" refused; nothing then left in the input, the row's mode set back.
TEST(ReadTypedLine, AgainstEachConsoleHost) {
    ScratchFolder folder;
    const std::string n = folder.Root().string(), path = n + "\\abc.pcm\r\n";  // a name of ASCII: its wide form below
    for (const char* name : {"abc.pcm", "\x95\x5C\x8E\xA6.pcm", "\x84\x44\x84\x71.pcm"}) {  // 表示, Дб
        std::fclose(std::fopen((n + "\\" + name).c_str(), "wb"));
    }
    const std::wstring d(n.begin(), n.end()), a1023(1023, L'A');
    std::wstring pasted;  // 40 KB, in ConPTY's pieces of 4096
    for (int i = 0; i < 400; ++i) pasted += d + L"\\" + std::wstring(98 - d.size(), L'x') + L"\r";
    for (std::size_t at = 4096; at < pasted.size(); at += 4097) pasted.insert(at, 1, PIECE);
    const struct {
        std::wstring keys;
        DWORD mode;
        std::string lines[4];
        bool modeFixed = false;
    } rows[] = {
        {d + L"\\ab\t\r", COOKED, {path}},
        {d + L"\\\u8868\uFF38\uFF39" + LEFT + LEFT + L"\t\r", COOKED, {n + "\\\x95\x5C\x8E\xA6.pcm\r\n"}},  // 表, ＸＹ dropped
        {d + L"\\ab" + SHIFT_TAB + L"c.pcm\r", COOKED, {path}},
        {std::wstring{CTRL_C, CTRL_BREAK} + d + L"\\abc.pcm\r", COOKED, {path}},
        {a1023 + L"AAA\r" + d + L"\\x.wav\r", COOKED, {"-"}},
        {a1023 + d + L"\\abc.pcm" + HOME + std::wstring(5, RIGHT) + L"\t\r", COOKED, {std::string(1022, 'A') + "\r\n", "-", "AAAAA\r\n", "-"}},
        {d + L"\\abc.pcm\r" + d + L"\\x.wav\r", COOKED, {"-"}},
        {pasted, COOKED, {"-"}},
        {CTRL_C + d + L"\\abc.pcm\r", ECHOED, {path}},         // Ctrl+C a signal again
        {d + L"\\abc.pcm\r", ECHOED, {path}, true},            // CR alone
        {d + L"\\\u0434\t\r", COOKED, {n + "\\\x84\x74\x84\x71.pcm\r\n"}},  // д finds Дб.pcm: case folded as Windows folds it
    };
    const ConsoleCalls system = g_consoleCalls;
    ConsoleCalls& c = g_consoleCalls;
    c.readConsole = Read, c.peekInput = Peek, c.flushInput = Flush, c.waitForInput = Wait;
    c.getMode = GetMode, c.setMode = SetMode, c.setControlHandler = SetHandler, c.write = Write;
    std::FILE* console = std::tmpfile();
    for (const Host host : {CONHOST_2019, CONHOST_2023, CONHOST_2024, WINE}) {
        for (const auto& row : rows) {
            m = {host, row.keys, L"", row.mode, row.modeFixed, m.handler};
            char line[1024];
            const long got = ReadTypedLine(console, "PcmData--->", line, sizeof line);
            EndTypedLines();
            const auto at = &row - rows;
            EXPECT_EQ(got < 0 ? "-" : std::string(line, static_cast<std::size_t>(got)), row.lines[row.lines[1].empty() ? 0 : host]) << host << " " << at;
            EXPECT_TRUE(m.keys.empty() && m.pending.empty()) << host << " " << at << ": left for the next prompt";
            EXPECT_EQ(m.mode, row.mode) << host << " " << at << ": the mode found, set back";
        }
    }
    // The wait for Enter: what was typed ahead and a paste still coming in never end it.
    m = {CONHOST_2023, std::wstring(L"x\r") + PIECE + L"\r" + TYPED + L"\r", L"", ECHOED, false, m.handler};
    WaitForEnter(-1);
    EXPECT_TRUE(m.keys.empty() && m.mode == ECHOED);
    // Ctrl+C that ends the run: the control handler sets the mode found back first.
    m.keys = d + L"\\abc.pcm\r";
    ReadTypedLine(console, "PcmData--->", nullptr, 0);
    ASSERT_TRUE(m.handler != nullptr && m.mode == COOKED);
    EXPECT_FALSE(m.handler(CTRL_C_EVENT));
    EXPECT_EQ(m.mode, ECHOED);
    std::fclose(console);
    g_consoleCalls = system;
}

}  // namespace
