// ReadTypedLine and WaitForEnter against models of the console hosts, through the table of console
// calls: conhost's cooked read in its three generations, Wine's console, and ConPTY's input in pieces.

#include "line_editing/typed_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "line_editing/console_calls_windows.h"
#include "test_files.h"

namespace {

// Keys as the console gets them, characters but for these marks: Home, Left, Right, Shift+Tab,
// Ctrl+C, Ctrl+Break; PIECE, where ConPTY's next piece of a paste begins (src/host/VtInputThread.cpp
// parses 4096 bytes at a time: a piece comes at the next wait or read); TYPED, keys typed once the
// program reads (they come at a read only).
constexpr wchar_t HOME = 0xE000, LEFT = 0xE001, RIGHT = 0xE002, SHIFT_TAB = 0xE003, CTRL_C = 0xE004,
                  CTRL_BREAK = 0xE005, PIECE = 0xE006, TYPED = 0xE007;
constexpr DWORD ECHOED_LINES = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT, COOKED = ECHOED_LINES | ENABLE_PROCESSED_INPUT;
enum Host { CONHOST_2019, CONHOST_2023, CONHOST_2024, WINE };

struct Model {
    Host host;
    std::wstring keys;
    std::wstring pending;  // what a read's buffer did not take: the next read's (stream.cpp, _ReadPendingInput)
    DWORD mode;
    bool modeFixed;  // SetConsoleMode fails
    PHANDLER_ROUTINE handler = nullptr;
} m;

std::size_t Waiting() { return std::min(m.keys.find_first_of({PIECE, TYPED}), m.keys.size()); }

wchar_t NextKey() {
    while (!m.keys.empty() && (m.keys[0] == PIECE || m.keys[0] == TYPED)) m.keys.erase(0, 1);
    const wchar_t key = m.keys.empty() ? 0 : m.keys[0];
    m.keys.erase(0, key != 0);
    return key;
}

// A cooked read, src/host/readDataCooked.cpp: before August 2023 (at 07566fac4c, ProcessInput) a
// line holds at most its buffer less two (256 characters, or the caller's), keys past it are
// dropped, and a Tab is written over the character under the cursor, the line one longer; from
// August 2023 (821ae3af2d, _handleChar) a Tab is inserted, and a line has no limit; from February
// 2024 (5e9f223a6c, _handleChar) the text after the cursor goes first. LF keys never reach it
// (stream.cpp, GetChar); Ctrl+C and Ctrl+Break end it with nothing (Notify, STATUS_ALERTED); Enter
// ends it with CR LF, or CR alone without processed input (_handlePostCharInputLoop), where Ctrl+C is
// a character. Wine's console (programs/conhost) keeps LF keys, ends lines with CR LF whatever the
// mode and never ends a read at Ctrl+C; its Tab is inserted. (The control's type is the header's:
// mingw-w64 declares LPVOID.)
template <typename Control>
BOOL WINAPI Read(HANDLE, LPVOID buffer, DWORD size, LPDWORD got, Control readControl) {
    auto* out = static_cast<wchar_t*>(buffer);
    auto* control = static_cast<PCONSOLE_READCONSOLE_CONTROL>(readControl);
    std::wstring line = m.pending;
    const bool wakes = control != nullptr && (control->dwCtrlWakeupMask & (1UL << L'\t')) != 0;
    if (line.empty()) line.assign(out, control != nullptr ? control->nInitialChars : 0);
    for (std::size_t cursor = line.size(); m.pending.empty();) {
        const wchar_t key = NextKey();
        const bool processed = (m.mode & ENABLE_PROCESSED_INPUT) != 0, signal = key == CTRL_BREAK || (key == CTRL_C && processed);
        const bool stops = signal && m.host != WINE;
        if (key == 0 || stops) {
            SetLastError(stops ? ERROR_OPERATION_ABORTED : ERROR_BROKEN_PIPE);  // no keys left: a console gone
            *got = 0;
            return stops;
        }
        if (key == L'\r') {
            line += (m.mode & ENABLE_PROCESSED_INPUT) != 0 || m.host == WINE ? L"\r\n" : L"\r";
            break;
        }
        if (key == HOME || key == LEFT || key == RIGHT) {
            cursor = key == HOME ? 0 : std::min(key == LEFT ? cursor - (cursor > 0) : cursor + 1, line.size());
        } else if ((key == L'\n' && m.host != WINE) || signal ||
                   (m.host == CONHOST_2019 && line.size() >= std::max<DWORD>(size, 256) - 2)) {
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
    *got = static_cast<DWORD>(std::min<std::size_t>(size, line.size()));
    line.copy(out, *got);
    m.pending = line.substr(*got);
    return TRUE;
}

BOOL WINAPI Peek(HANDLE, PINPUT_RECORD records, DWORD size, LPDWORD got) {
    *got = static_cast<DWORD>(std::min<std::size_t>(Waiting(), size));
    for (DWORD i = 0; i < *got; ++i) {
        records[i] = {KEY_EVENT, {}};
        records[i].Event.KeyEvent = {TRUE, 1, static_cast<WORD>(m.keys[i] == L'\r' ? VK_RETURN : 'A'), 0, {m.keys[i]}, 0};
    }
    return TRUE;
}

// A flush clears what the console has parsed (src/host/inputBuffer.cpp, InputBuffer::Flush), neither
// the pieces still to come nor pending input; a wait sees the next piece come in.
BOOL WINAPI Flush(HANDLE) { return m.keys.erase(0, Waiting()), TRUE; }
DWORD WINAPI Wait(HANDLE, DWORD) {
    if (Waiting() == 0 && !m.keys.empty() && m.keys[0] == PIECE) m.keys.erase(0, 1);
    return Waiting() > 0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL WINAPI GetMode(HANDLE, LPDWORD mode) { return *mode = m.mode, TRUE; }
BOOL WINAPI SetMode(HANDLE, DWORD mode) { return m.mode = m.modeFixed ? m.mode : mode, !m.modeFixed; }
BOOL WINAPI SetHandler(PHANDLER_ROUTINE handler, BOOL) { return m.handler = handler, TRUE; }
BOOL WINAPI Write(HANDLE, const void*, DWORD, LPDWORD, LPVOID) { return TRUE; }

ConsoleCalls Models() {
    ConsoleCalls calls;
    calls.readConsole = Read;
    calls.peekInput = Peek;
    calls.flushInput = Flush;
    calls.waitForInput = Wait;
    calls.getMode = GetMode;
    calls.setMode = SetMode;
    calls.setControlHandler = SetHandler;
    calls.write = Write;
    return calls;
}

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], static_cast<int>(wide.size())));
    return wide;
}

// What each host gives for each row, in the order of Host: the line read, or nullptr where it is
// refused; the console's input then holds nothing, and its mode is the row's again after the line.
TEST(ReadTypedLine, AgainstEachConsoleHost) {
    ScratchFolder folder;
    for (const char* name : {"abc.pcm", "\x95\x5C\x8E\xA6.pcm", "\x84\x44\x84\x71.pcm"}) {  // the code page's names
        std::fclose(std::fopen((folder.Root().string() + "\\" + name).c_str(), "wb"));
    }
    const std::wstring d = Wide(folder.Root().string()), a1023(1023, L'A'), path = d + L"\\abc.pcm\r\n";
    const std::wstring hyo = d + L"\\\u8868\u793A.pcm\r\n", de = d + L"\\\u0434\u0431.pcm\r\n";
    std::wstring pasted;  // 40 KB, ConPTY's pieces of 4096
    for (int i = 0; i < 400; ++i) pasted += d + L"\\" + std::wstring(98 - d.size(), L'x') + L"\r";
    for (std::size_t at = 4096; at < pasted.size(); at += 4097) pasted.insert(at, 1, PIECE);
    const struct {
        std::wstring keys;
        DWORD mode;
        bool modeFixed;
        std::wstring lines[4];
    } rows[] = {
        {d + L"\\ab\t\r", COOKED, false, {path, path, path, path}},
        {d + L"\\\u8868\uFF38\uFF39" + LEFT + LEFT + L"\t\r", COOKED, false, {hyo, hyo, hyo, hyo}},  // ＸＹ dropped
        {d + L"\\ab" + SHIFT_TAB + L"c.pcm\r", COOKED, false, {path, path, path, path}},
        {std::wstring{CTRL_C, CTRL_BREAK} + d + L"\\abc.pcm\r", COOKED, false, {path, path, path, path}},
        {a1023 + L"AAA\r" + d + L"\\x.wav\r", COOKED, false, {L"-", L"-", L"-", L"-"}},
        {a1023 + d + L"\\abc.pcm" + HOME + std::wstring(5, RIGHT) + L"\t\r", COOKED, false,
         {a1023.substr(1) + L"\r\n", L"-", L"AAAAA\r\n", L"-"}},
        {d + L"\\abc.pcm\r" + d + L"\\x.wav\r", COOKED, false, {L"-", L"-", L"-", L"-"}},
        {pasted, COOKED, false, {L"-", L"-", L"-", L"-"}},
        {CTRL_C + d + L"\\abc.pcm\r", ECHOED_LINES, false, {path, path, path, path}},  // Ctrl+C a signal again
        {d + L"\\abc.pcm\r", ECHOED_LINES, true, {path, path, path, path}},  // CR alone
        {d + L"\\\u0434\t\r", COOKED, false, {de, de, de, de}},  // д finds Дб.pcm: case folded as Windows does
    };
    const ConsoleCalls system = g_consoleCalls;
    g_consoleCalls = Models();
    std::FILE* console = std::tmpfile();
    for (const Host host : {CONHOST_2019, CONHOST_2023, CONHOST_2024, WINE}) {
        for (const auto& row : rows) {
            m = {host, row.keys, L"", row.mode, row.modeFixed, m.handler};
            char line[1024];
            const long got = ReadTypedLine(console, "PcmData--->", line, sizeof line);
            EndTypedLines();
            const int at = static_cast<int>(&row - rows);
            EXPECT_TRUE((got < 0 ? L"-" : Wide(std::string(line, static_cast<std::size_t>(got)))) == row.lines[host]) << host << " " << at;
            EXPECT_TRUE(m.keys.empty() && m.pending.empty()) << host << " " << at << ": left for the next prompt";
            EXPECT_EQ(m.mode, row.mode) << host << " " << at << ": the mode found, set back";
        }
    }
    // The wait for Enter: what was typed ahead and a paste still coming in never end it.
    m = {CONHOST_2023, std::wstring(L"x\r") + PIECE + L"\r" + TYPED + L"\r", L"", ECHOED_LINES, false, m.handler};
    WaitForEnter(-1);
    EXPECT_TRUE(m.keys.empty() && m.mode == ECHOED_LINES);
    // Ctrl+C that ends the run: the control handler sets the mode found back first.
    m.keys = d + L"\\abc.pcm\r";
    ReadTypedLine(console, "PcmData--->", nullptr, 0);
    ASSERT_TRUE(m.handler != nullptr && m.mode == COOKED);
    EXPECT_FALSE(m.handler(CTRL_C_EVENT));
    EXPECT_EQ(m.mode, ECHOED_LINES);
    std::fclose(console);
    g_consoleCalls = system;
}

}  // namespace
