// The Windows console's own line editing, read through its Unicode interface. Where the console
// can wake a line read at a Tab (Vista and later) and standard output is the console to draw on,
// Tab completes paths as at a Linux terminal.

#include "line_editing/typed_lines.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "line_editing/path_completion.h"
#include "platform/platform.h"
#include "texts/console_texts.h"

namespace {

// Characters of one typed line; a longer one is read to its end all the same, and refused.
constexpr DWORD kLineSize = 1024;
// Past this many names, or a screenful, the listing asks first.
constexpr std::size_t kNamesListedUnasked = 100;

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
    if (!PeekConsoleInputW(console, waiting, static_cast<DWORD>(std::size(waiting)), &count)) return keys;
    for (DWORD i = 0; i < count; ++i) {
        const KEY_EVENT_RECORD& key = waiting[i].Event.KeyEvent;
        if (waiting[i].EventType == KEY_EVENT && key.bKeyDown) (key.wVirtualKeyCode == VK_RETURN ? keys.breaks : keys.others) = true;
    }
    if (keys.breaks || keys.others) FlushConsoleInputBuffer(console);
    return keys;
}

void Write(HANDLE screen, const std::wstring& text) {
    DWORD written = 0;
    WriteConsoleW(screen, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
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
           GetConsoleMode(screen, &mode);
}

// The listing's answer, one key: y lists; any other key, and a paste (keys waiting behind the
// first), no.
bool AnswersYes(HANDLE console) {
    INPUT_RECORD record = {};
    DWORD got = 0;
    while (ReadConsoleInputW(console, &record, 1, &got) && got == 1) {
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        if (record.EventType != KEY_EVENT || !key.bKeyDown || key.uChar.UnicodeChar == 0) continue;
        const WaitingKeys pasted = FlushWaitingKeys(console);
        return (key.uChar.UnicodeChar == L'y' || key.uChar.UnicodeChar == L'Y') && !pasted.breaks && !pasted.others;
    }
    return false;
}

// Shows names sorted in columns that fit the console's window, asking first where they are many;
// then the prompt and the line again, the cursor after it.
void ShowListing(HANDLE console, HANDLE screen, const char* prompt, const std::vector<std::string>& names,
                 const std::wstring& line) {
    CONSOLE_SCREEN_BUFFER_INFO window = {};
    GetConsoleScreenBufferInfo(screen, &window);
    const int columns = window.srWindow.Right - window.srWindow.Left + 1;
    const int lines = window.srWindow.Bottom - window.srWindow.Top + 1;
    std::vector<std::size_t> widths;
    // A double-byte character of the code page takes two columns, as its two bytes.
    for (const std::string& name : names) widths.push_back(GetACP() == CP_UTF8 ? FromAnsi(name).size() : name.size());
    const std::vector<std::string> rows = ListingRows(names, widths, columns > 0 ? static_cast<std::size_t>(columns) : 80);
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

// At a Tab: the text before it completed, what stood after it dropped, its old cells blanked (two
// for each character, so that full-width ones go too). Consoles before Windows 10's 2023 line
// editing write the Tab over the character under the cursor, so the text after it cannot be
// trusted, as the command shell does not trust it. Returns the line's new length in `wide`.
DWORD CompleteAtTab(HANDLE console, HANDLE screen, const char* prompt, wchar_t* wide, DWORD tab, DWORD count,
                    bool shift) {
    CONSOLE_SCREEN_BUFFER_INFO cursor = {};
    DWORD blanked = 0;
    if (GetConsoleScreenBufferInfo(screen, &cursor)) {
        FillConsoleOutputCharacterW(screen, L' ', 2 * (count - tab - 1), cursor.dwCursorPosition, &blanked);
    }
    const CompletionRules rules = {'\\', true, GetACP()};
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

long ReadTypedLine(std::FILE* stream, const char* prompt, char* line, std::size_t capacity) {
    if (!PlatformIsConsole(stream)) return TYPED_LINE_NONE;
    HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
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
        if (!ReadConsoleW(console, wide + at, kLineSize - at, &got, completes ? &control : nullptr)) {
            return count == 0 && !tooLong ? TYPED_LINE_NONE : TYPED_LINE_REFUSED;
        }
        count = at + got;
        shown = 0;
        if (got == 0 || wide[count - 1] == L'\n') break;
        const wchar_t* tab = completes && !tooLong ? std::find(wide, wide + count, L'\t') : wide + count;
        if (tab != wide + count) {
            const bool shift = (control.dwControlKeyState & SHIFT_PRESSED) != 0;
            count = shown = CompleteAtTab(console, screen, prompt, wide, static_cast<DWORD>(tab - wide), count, shift);
            continue;
        }
        if (count == kLineSize) {
            tooLong = true;
            count = 0;
        }
    }
    if (tooLong) return TYPED_LINE_REFUSED;
    if (count == 0) return 0;
    // A control character before the line's own end (Ctrl+J, a pasted LF the console kept inside
    // the line) would split it: refused whole, so that no part answers the next prompt. Tab is a
    // blank; Ctrl+Z keeps its meaning.
    DWORD end = count;
    while (end > 0 && (wide[end - 1] == L'\n' || wide[end - 1] == L'\r')) --end;
    const bool control = std::any_of(wide, wide + end, [](wchar_t c) {
        return (c < 0x20 && c != L'\t' && c != 0x1A) || (c >= 0x7F && c <= 0x9F);
    });
    // Key presses already waiting as a typed line ends come from a paste, since typing waits for
    // the line's echo: more lines of it, beyond its closing line breaks, refuse the line.
    if (FlushWaitingKeys(console).others || control) {
        Write(screen, L"\a");
        return TYPED_LINE_REFUSED;
    }
    std::string text;
    if (!ToAnsi(wide, count, &text) || text.size() > capacity) return TYPED_LINE_REFUSED;
    std::memcpy(line, text.data(), text.size());
    return static_cast<long>(text.size());
}

// The console keeps nothing between lines for this program.
void EndTypedLines() {}
