// The Windows console's own line editing, read through its Unicode interface. Where the console
// can wake a line read at a Tab (Vista and later) and standard output is the console to draw on,
// Tab completes paths as at a Linux terminal. While the program reads, the console's input mode is
// its own (whole lines, echoed, Ctrl+C a signal); the mode it found is set back on every way out.

#include "line_editing/typed_lines.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "line_editing/console_calls_windows.h"
#include "line_editing/path_completion.h"
#include "platform/platform.h"
#include "texts/console_texts.h"

namespace {

// Characters of one typed line; a longer one is read to its end all the same, and refused.
constexpr DWORD kLineSize = 1024;
// Past this many names, or a screenful, the listing asks first.
constexpr std::size_t kNamesListedUnasked = 100;
// ConPTY (Windows Terminal) hands a paste to the console in pieces (4096 bytes, 256 before late
// 2023), each parsed under the console's lock, so a flush meets only the pieces already parsed: the
// keys behind a refused line go until the input has been quiet this long.
constexpr DWORD kQuietMs = 150;
// How long a read that Ctrl+C or Ctrl+Break ended waits for the control handler, which runs where
// the run is to end.
constexpr DWORD kInterruptWaitMs = 100;

// The console's input mode as the program found it, set back on every way out.
struct FoundMode {
    bool handling = false;                 // OnControl is in place and `lock` made
    HANDLE console = nullptr;              // the console whose mode the program holds, or none
    DWORD mode = 0;
    std::atomic<bool> ending{false};       // the control handler ran: the run ends
    std::atomic<int> statusOnClose{-1};    // waiting for Enter: the exit status to end with
    CRITICAL_SECTION lock;                 // the handler's thread and the reads set the mode in turn
};
FoundMode g_found;

// Ctrl+C, Ctrl+Break, closing the window: the mode found set back, then the run's end, with the
// dialogue's status where it waits for Enter, else by the system's own handler.
BOOL WINAPI OnControl(DWORD) {
    EnterCriticalSection(&g_found.lock);
    g_found.ending = true;
    if (g_found.console != nullptr) g_consoleCalls.setMode(g_found.console, g_found.mode);
    LeaveCriticalSection(&g_found.lock);
    if (g_found.statusOnClose >= 0) ExitProcess(static_cast<UINT>(g_found.statusOnClose));
    return FALSE;
}

// Gives the console the mode of a read: lines, echo and Ctrl+C as a signal, as the user has insert
// and quick edit; no terminal, mouse or window input, which a cooked read does not expect. The mode
// found first is noted. False where `console` is none.
bool SetReadingMode(HANDLE console) {
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !g_consoleCalls.getMode(console, &mode)) return false;
    if (!g_found.handling) {
        InitializeCriticalSection(&g_found.lock);
        g_consoleCalls.setControlHandler(OnControl, TRUE);
        g_found.handling = true;
    }
    EnterCriticalSection(&g_found.lock);
    if (g_found.console == nullptr) {
        g_found.console = console;
        g_found.mode = mode;
    }
    const DWORD userModes = ENABLE_INSERT_MODE | ENABLE_QUICK_EDIT_MODE | ENABLE_AUTO_POSITION | ENABLE_EXTENDED_FLAGS;
    const DWORD reading = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT | (g_found.mode & userModes);
    if (mode != reading && !g_found.ending) g_consoleCalls.setMode(console, reading);
    LeaveCriticalSection(&g_found.lock);
    return true;
}

void SetFoundMode() {
    if (!g_found.handling) return;
    EnterCriticalSection(&g_found.lock);
    if (g_found.console != nullptr && !g_found.ending) g_consoleCalls.setMode(g_found.console, g_found.mode);
    g_found.console = nullptr;
    LeaveCriticalSection(&g_found.lock);
}

// Key presses waiting in the console's input, flushed where there are any: line breaks, and
// others. A key let go, focus and the mouse do not count.
struct WaitingKeys {
    bool breaks = false;
    bool others = false;
};
WaitingKeys FlushWaitingKeys(HANDLE console) {
    INPUT_RECORD waiting[64];
    DWORD count = 0;
    WaitingKeys keys;
    if (!g_consoleCalls.peekInput(console, waiting, static_cast<DWORD>(std::size(waiting)), &count)) return keys;
    for (DWORD i = 0; i < count; ++i) {
        const KEY_EVENT_RECORD& key = waiting[i].Event.KeyEvent;
        if (waiting[i].EventType == KEY_EVENT && key.bKeyDown) (key.wVirtualKeyCode == VK_RETURN ? keys.breaks : keys.others) = true;
    }
    if (keys.breaks || keys.others) g_consoleCalls.flushInput(console);
    return keys;
}

// Drops the keys waiting in the console's input, and those of a paste still coming in: flushed until
// the input has been quiet for kQuietMs.
void DropWaitingInput(HANDLE console) {
    do {
        g_consoleCalls.flushInput(console);
    } while (g_consoleCalls.waitForInput(console, kQuietMs) == WAIT_OBJECT_0);
}

void Write(HANDLE screen, const std::wstring& text) {
    DWORD written = 0;
    g_consoleCalls.write(screen, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Wide text in the ANSI code page with no best-fit substitutes, which could name another file
// with a look-alike; false where a character has no form there.
bool ToAnsi(const wchar_t* wide, std::size_t count, std::string* out) {
    const UINT codePage = GetACP();
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL substituted = FALSE;
    BOOL* substitutes = codePage == CP_UTF8 ? nullptr : &substituted;
    const int length = count == 0 ? 0 : WideCharToMultiByte(codePage, flags, wide, static_cast<int>(count), nullptr, 0, nullptr, substitutes);
    out->assign(static_cast<std::size_t>(std::max(length, 0)), '\0');
    if (length > 0) WideCharToMultiByte(codePage, flags, wide, static_cast<int>(count), &(*out)[0], length, nullptr, substitutes);
    return (length > 0 || count == 0) && !substituted;
}

std::wstring FromAnsi(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int length = text.empty() ? 0 : MultiByteToWideChar(GetACP(), 0, text.data(), static_cast<int>(text.size()),
                                                              &wide[0], static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(std::max(length, 0)));
    return wide;
}

// Vista and later can end a line read at a Tab; XP reads lines as it always did. The output must
// be a console too, or nothing could be drawn.
bool WakesAtTab(HANDLE screen) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    DWORD mode = 0;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)  // the system's own version is what counts, not a manifest's
#endif
    const BOOL known = GetVersionExW(&version);
    return known && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6 &&
           g_consoleCalls.getMode(screen, &mode);
}

// The listing's answer, one key: y lists; any other key no, and a paste (keys waiting behind the
// first), all of it dropped.
bool AnswersYes(HANDLE console) {
    INPUT_RECORD record = {};
    DWORD got = 0;
    while (g_consoleCalls.readInput(console, &record, 1, &got) && got == 1) {
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        if (record.EventType != KEY_EVENT || !key.bKeyDown || key.uChar.UnicodeChar == 0) continue;
        const WaitingKeys pasted = FlushWaitingKeys(console);
        if (pasted.breaks || pasted.others) DropWaitingInput(console);
        return (key.uChar.UnicodeChar == L'y' || key.uChar.UnicodeChar == L'Y') && !pasted.breaks && !pasted.others;
    }
    return false;
}

// Shows names sorted in columns that fit the console's window, asking first where they are many;
// then the prompt and the line again, the cursor after it.
void ShowListing(HANDLE console, HANDLE screen, const char* prompt, const std::vector<std::string>& names,
                 const std::wstring& line) {
    CONSOLE_SCREEN_BUFFER_INFO window = {};
    g_consoleCalls.screenInfo(screen, &window);
    // A row as wide as the window wraps at once, leaving a blank line: one column less.
    const int columns = window.srWindow.Right - window.srWindow.Left;
    const int lines = window.srWindow.Bottom - window.srWindow.Top + 1;
    std::vector<std::size_t> widths;
    // A double-byte character of the code page takes two columns, as its two bytes.
    for (const std::string& name : names) widths.push_back(GetACP() == CP_UTF8 ? Utf8Columns(name) : name.size());
    const std::vector<std::string> rows = ListingRows(names, widths, columns > 0 ? static_cast<std::size_t>(columns) : 79);
    Write(screen, L"\r\n");
    bool listed = true;
    if (names.size() > kNamesListedUnasked || static_cast<int>(rows.size()) >= lines - 1) {
        std::string question;
        for (std::size_t n = names.size(); n > 0 || question.empty(); n /= 10) question.insert(question.begin(), static_cast<char>('0' + n % 10));
        question += texts::TEXT_LIST_QUESTION;
        PlatformWriteConsoleText(stdout, question.data(), question.size());
        listed = AnswersYes(console);
        Write(screen, L"\r\n");
    }
    for (const std::string& row : rows) {
        if (listed) Write(screen, FromAnsi(row) + L"\r\n");
    }
    PlatformWriteConsoleText(stdout, prompt, std::strlen(prompt));
    Write(screen, line);
}

// A character's case folded as the file system compares names: its UTF-16 form in upper case.
std::string FoldCase(const std::string& character) {
    const std::wstring wide = FromAnsi(character);
    std::wstring upper(2 * wide.size() + 2, L'\0');
    const int length = wide.empty() ? 0 : LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), static_cast<int>(wide.size()),
                                                       &upper[0], static_cast<int>(upper.size()));
    return std::string(reinterpret_cast<const char*>(upper.data()), sizeof(wchar_t) * static_cast<std::size_t>(std::max(length, 0)));
}

// At a Tab: the text before it completed, what stood after it dropped, its old cells blanked (two
// for each character, so that full-width ones go too). conhost's line editing before August 2023
// writes the Tab over the character under the cursor, and from February 2024 deletes the text after
// it, so that text cannot be kept; Shift+Tab completes nothing, and drops it alike. Returns the
// line's new length in `wide`.
DWORD CompleteAtTab(HANDLE console, HANDLE screen, const char* prompt, wchar_t* wide, DWORD tab, DWORD count,
                    bool shift) {
    CONSOLE_SCREEN_BUFFER_INFO cursor = {};
    DWORD blanked = 0;
    if (g_consoleCalls.screenInfo(screen, &cursor)) {
        g_consoleCalls.fillOutput(screen, L' ', 2 * (count - tab - 1), cursor.dwCursorPosition, &blanked);
    }
    const TypedPathForms forms = PlatformTypedPathForms();
    const CompletionRules rules = {'\\', FoldCase, GetACP(), &forms};
    std::string typed;
    PathCompletion completion;
    if (!shift && ToAnsi(wide, tab, &typed)) completion = CompletePath(typed, ListFolder(CompletionFolder(typed, rules)), rules);
    const std::wstring added = FromAnsi(completion.insert);
    if (!added.empty() && tab + added.size() < kLineSize - 2) {
        std::copy(added.begin(), added.end(), wide + tab);
        Write(screen, added);
        return tab + static_cast<DWORD>(added.size());
    }
    if (completion.listed.empty()) {
        Write(screen, L"\a");
    } else {
        ShowListing(console, screen, prompt, completion.listed, std::wstring(wide, tab));
    }
    return tab;
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((FromAnsi(folder) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        // A name the code page cannot hold could not be typed: never offered.
        std::string name;
        if (ToAnsi(found.cFileName, std::wcslen(found.cFileName), &name)) {
            entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

// The console edits typed lines itself, and the dialogue writes every prompt whole.
bool EditsTypedLines() { return false; }

namespace {

// A refused line goes with the keys behind it, and what of a paste is still coming in.
long Refuse(HANDLE console, HANDLE screen) {
    Write(screen, L"\a");
    DropWaitingInput(console);
    return TYPED_LINE_REFUSED;
}

// A read that Ctrl+C or Ctrl+Break ended: conhost ends it with no characters and
// ERROR_OPERATION_ABORTED (Wine never does). Where the control handler runs, the run is ending, and
// nothing more is read. Where no handler is called (start /b, an inherited SetConsoleCtrlHandler(NULL,
// TRUE)), the line is read anew, on a line of its own.
void Interrupted(HANDLE screen, const char* prompt) {
    for (DWORD waited = 0; !g_found.ending && waited < kInterruptWaitMs; waited += 10) Sleep(10);
    while (g_found.ending) Sleep(INFINITE);
    Write(screen, L"\r\n");
    if (prompt != nullptr) PlatformWriteConsoleText(stdout, prompt, std::strlen(prompt));
}

}  // namespace

long ReadTypedLine(std::FILE* stream, const char* prompt, char* line, std::size_t capacity) {
    HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (!SetReadingMode(console)) return TYPED_LINE_NONE;
    HANDLE screen = GetStdHandle(STD_OUTPUT_HANDLE);
    const bool completes = prompt != nullptr && WakesAtTab(screen);
    wchar_t wide[kLineSize];
    DWORD count = 0;  // the line's characters in `wide`
    DWORD shown = 0;  // of them, those already on the screen: a completed line read on
    bool tooLong = false;
    for (;;) {
        CONSOLE_READCONSOLE_CONTROL control = {sizeof control, shown, completes ? 1UL << L'\t' : 0, 0};
        const DWORD at = count - shown;
        DWORD got = 0;
        SetLastError(0);
        const BOOL read = g_consoleCalls.readConsole(console, wide + at, kLineSize - at, &got, completes ? &control : nullptr);
        if (got == 0 && GetLastError() == ERROR_OPERATION_ABORTED) {
            Interrupted(screen, prompt);
            count = shown = 0;
            tooLong = false;
            continue;
        }
        if (!read) return count == 0 && !tooLong ? TYPED_LINE_NONE : Refuse(console, screen);
        count = at + got;
        shown = 0;
        // A full read: the console keeps the rest of the line for the next one, whether a Tab ended
        // this one or not, and no part of it is a line of its own.
        const bool full = count == kLineSize;
        const wchar_t last = count > 0 ? wide[count - 1] : L'\0';
        if (got == 0 || last == L'\n' || (last == L'\r' && !full)) break;
        if (full) {
            tooLong = true;
            count = 0;
            continue;
        }
        const wchar_t* tab = completes && !tooLong ? std::find(wide, wide + count, L'\t') : wide + count;
        if (tab != wide + count) {
            const bool shift = (control.dwControlKeyState & SHIFT_PRESSED) != 0;
            count = shown = CompleteAtTab(console, screen, prompt, wide, static_cast<DWORD>(tab - wide), count, shift);
        }
    }
    if (tooLong) return Refuse(console, screen);
    if (count == 0) return 0;
    // A console that does not process its input ends a line with CR alone.
    if (wide[count - 1] == L'\r') wide[count++] = L'\n';
    // A control character before the line's own end (Ctrl+J, a pasted LF, which Wine keeps inside
    // the line and conhost drops) would split it: refused whole, so that no part answers the next
    // prompt. Tab is a blank; Ctrl+Z keeps its meaning.
    DWORD end = count;
    while (end > 0 && (wide[end - 1] == L'\n' || wide[end - 1] == L'\r')) --end;
    const bool control = std::any_of(wide, wide + end, [](wchar_t c) {
        return (c < 0x20 && c != L'\t' && c != 0x1A) || (c >= 0x7F && c <= 0x9F);
    });
    // Key presses already waiting as a typed line ends come from a paste, since typing waits for
    // the line's echo: more lines of it, beyond its closing line breaks, refuse the line.
    std::string text;
    if (FlushWaitingKeys(console).others || control || !ToAnsi(wide, count, &text) || text.size() > capacity) {
        return Refuse(console, screen);
    }
    std::memcpy(line, text.data(), text.size());
    return static_cast<long>(text.size());
}

void EndTypedLines() { SetFoundMode(); }

void WaitForEnter(int status) {
    HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
    g_found.statusOnClose = status;
    if (!SetReadingMode(console)) return;
    // What was typed ahead (an extra Enter pasted with the paths), or a paste still coming in, must
    // not end the wait.
    DropWaitingInput(console);
    wchar_t typed[256];
    DWORD got = 0;
    while (g_consoleCalls.readConsole(console, typed, static_cast<DWORD>(std::size(typed)), &got, nullptr) && got > 0 &&
           typed[got - 1] != L'\n' && typed[got - 1] != L'\r') {
    }
    SetFoundMode();
}
