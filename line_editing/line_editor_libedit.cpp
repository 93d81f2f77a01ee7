// The line editor of POSIX terminals, through libedit's own interface: no configuration file
// is read and nothing goes to standard error.

#include "line_editing/line_editor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>
#include <dirent.h>
#include <histedit.h>
#include <sys/stat.h>

#include "line_editing/line_editor_state.h"
#include "line_editing/path_completion.h"
#include "texts/console_texts.h"

namespace {

LineEditor* g_lineEditor = nullptr;

char* ShowPrompt(EditLine* editor) { return StateOf(editor)->prompt; }

// ---- Pastes

// The longest paste kept, in characters: more than any path line holds.
constexpr std::size_t kPasteLimit = 4096;

// PASTE_START opens a paste: read to its end and inserted as it is, so that a Tab in it
// completes nothing and stays. Line breaks at its very end go (a copied line carries one, and tmux
// pastes CR LF as two CRs); a paste that still holds a line break or another control character (C1
// included), is too long, or that the key reader drops (it stalled, or its own text held its end
// marker) is dropped whole with a bell, so that no part of it answers this prompt or the next.
unsigned char InsertPaste(EditLine* editor, int) {
    using editor_keys::PASTE_DROPPED;
    using editor_keys::PASTE_END;
    std::wstring pasted;
    bool whole = true;
    auto endsWith = [&](std::wstring_view end) {
        return pasted.size() >= end.size() && pasted.compare(pasted.size() - end.size(), end.size(), end) == 0;
    };
    wchar_t c = 0;
    while (!endsWith(PASTE_END) && !endsWith(PASTE_DROPPED) && el_wgetc(editor, &c) == 1) {
        pasted += c;
        if (pasted.size() > kPasteLimit) {
            whole = false;
            pasted.erase(0, pasted.size() - PASTE_END.size());
        }
    }
    if (!endsWith(PASTE_END) || !whole) return CC_REFRESH_BEEP;
    pasted.resize(pasted.size() - PASTE_END.size());
    while (!pasted.empty() && (pasted.back() == L'\n' || pasted.back() == L'\r')) pasted.pop_back();
    for (wchar_t pastedChar : pasted) {
        if ((pastedChar < 0x20 && pastedChar != L'\t') || (pastedChar >= 0x7F && pastedChar <= 0x9F)) return CC_REFRESH_BEEP;
    }
    return el_winsertstr(editor, pasted.c_str()) == 0 ? CC_REFRESH : CC_REFRESH_BEEP;
}

// ---- Tab

// Past this many names, or a screenful, the listing asks first.
constexpr std::size_t kNamesListedUnasked = 100;

// The listing's answer: y lists; any other key, one the editor does not act on too (F5, PageUp),
// answers no, and is not kept. A paste or an escape sequence is read whole, so that none of it
// reaches the line.
bool AnswersYes(LineEditor& state) {
    wchar_t key = 0;
    if (NextKey(state, &key, true) != 1) return false;
    wchar_t dropped = 0;
    while (key == L'\033' && (state.reader.inPaste || state.reader.pasteEnding) &&
           ReadKey(state.editor, &dropped) == 1) {
    }
    if (key == L'\033') state.keys.clear();  // the rest of the sequence, or of the paste's end
    return key == L'y' || key == L'Y';
}

// Shows names sorted in columns that fit the terminal; asks first where they are many.
void ListNames(EditLine* editor, const std::vector<std::string>& names) {
    int columns = 80;
    int lines = 24;
    el_get(editor, EL_GETTC, "co", &columns);
    el_get(editor, EL_GETTC, "li", &lines);
    std::vector<std::size_t> widths;
    for (const std::string& name : names) {
        std::vector<wchar_t> wide(name.size() + 1);
        const std::size_t count = std::mbstowcs(wide.data(), name.c_str(), wide.size());
        const int width = count == static_cast<std::size_t>(-1) ? -1 : wcswidth(wide.data(), count);
        widths.push_back(width < 0 ? name.size() : static_cast<std::size_t>(width));
    }
    const std::vector<std::string> rows = ListingRows(names, widths, columns > 0 ? columns : 80);
    std::fputc('\n', stdout);
    if (names.size() > kNamesListedUnasked || static_cast<int>(rows.size()) >= lines - 1) {
        LineEditor& state = *StateOf(editor);
        char text[3 * sizeof texts::TEXT_LIST_QUESTION] = {};
        const long length = PlatformUtf8FromConsoleText(texts::TEXT_LIST_QUESTION, sizeof texts::TEXT_LIST_QUESTION - 1,
                                                        text, sizeof text - 1);
        state.question = std::to_string(names.size()) + (length < 0 ? "" : text);
        std::fputs(state.question.c_str(), stdout);
        std::fflush(stdout);
        const bool yes = AnswersYes(state);
        state.question.clear();
        std::fputc('\n', stdout);
        if (!yes) return;
    }
    for (const std::string& row : rows) std::fprintf(stdout, "%s\n", row.c_str());
}

unsigned char CompleteTypedPath(EditLine* editor, int) {
    const LineInfo* line = el_line(editor);
    const std::string typed(line->buffer, static_cast<std::size_t>(line->cursor - line->buffer));
    const TypedPathForms forms = PlatformTypedPathForms();
    const CompletionRules rules = {'/', nullptr, 65001, &forms};
    std::string folder = CompletionFolder(typed, rules);
    // "~/" lists the home folder, as the program reads it.
    const char* home = std::getenv("HOME");
    if (folder.compare(0, 2, "~/") == 0 && home != nullptr && home[0] == '/') {
        folder = std::string(home) + folder.substr(1);
    }
    const PathCompletion completion = CompletePath(typed, ListFolder(folder), rules);
    if (!completion.insert.empty()) {
        return el_insertstr(editor, completion.insert.c_str()) == 0 ? CC_REFRESH : CC_REFRESH_BEEP;
    }
    if (completion.listed.empty()) return CC_REFRESH_BEEP;
    ListNames(editor, completion.listed);
    return CC_REDISPLAY;
}

// The editor of this run, made at its first line.
LineEditor* TheLineEditor() {
    if (g_lineEditor != nullptr) return g_lineEditor;
    auto* state = new LineEditor;
    state->discarded = std::fopen("/dev/null", "w");
    state->answers = history_init();
    // The terminal's settings are taken before el_init, which sets its own.
    if (state->discarded != nullptr && state->answers != nullptr && TakeTerminal()) {
        state->editor = el_init("pcmconv", stdin, stdout, state->discarded);
        if (state->editor == nullptr) ReleaseTerminal();
    }
    if (state->editor == nullptr) {
        delete state;
        return nullptr;
    }
    EditLine* editor = state->editor;
    // Without inserting and deleting in place, libedit redraws the rest of the line, which
    // keeps the cursor true beside wide characters under every terminal type.
    for (const char* capability : {"DC", "dc", "IC", "ic", "im", "ei"}) {
        el_set(editor, EL_SETTC, capability, "", nullptr);
    }
    HistEvent event;
    ::history(state->answers, &event, H_SETSIZE, 10);
    el_set(editor, EL_CLIENTDATA, state);
    el_set(editor, EL_EDITOR, "emacs");
    el_set(editor, EL_PROMPT, ShowPrompt);
    el_set(editor, EL_HIST, ::history, state->answers);
    // The wide calls keep these literals; the narrow one leaks a copy of each.
    el_wset(editor, EL_ADDFN, L"pcmconv-complete", L"Complete a path", CompleteTypedPath);
    el_wset(editor, EL_ADDFN, L"pcmconv-paste", L"Insert a bracketed paste", InsertPaste);
    el_set(editor, EL_BIND, "^I", "pcmconv-complete", nullptr);
    el_set(editor, EL_GETCFN, ReadKey);
    // The one form of each key that ReadKey hands on, whatever the terminal sent.
    using namespace editor_keys;
    const std::pair<std::wstring_view, const wchar_t*> kKeys[] = {
        {LEFT, L"ed-prev-char"},      {RIGHT, L"ed-next-char"},     {UP, L"ed-prev-history"},
        {DOWN, L"ed-next-history"},   {HOME, L"ed-move-to-beg"},    {END, L"ed-move-to-end"},
        {DELETE, L"ed-delete-next-char"}, {WORD_LEFT, L"ed-prev-word"}, {WORD_RIGHT, L"em-next-word"},
        {PASTE_START, L"pcmconv-paste"}};
    // The views are whole string literals, each followed by its zero.
    for (const auto& key : kKeys) el_wset(editor, EL_BIND, key.first.data(), key.second, nullptr);
    // Bindings that leave the line: Alt+x's command line (:), Ctrl+V's quoted insert, which makes
    // Enter a character of the line. They ring the bell.
    for (const char* key : {"\\ex", "\\eX", "^V"}) el_set(editor, EL_BIND, key, "ed-unassigned", nullptr);
    g_lineEditor = state;
    return state;
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) return entries;
    while (const dirent* entry = readdir(listing)) {
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            // A link to a folder completes as a folder too.
            struct stat info;
            isFolder = stat((folder + entry->d_name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back({entry->d_name, isFolder});
    }
    closedir(listing);
    return entries;
}

long ReadEditedLine(const char* prompt, char* line, std::size_t capacity) {
    LineEditor* state = TheLineEditor();
    if (state == nullptr) {
        // Read without the editor, the prompt's last line written here as the editor would.
        std::fputs(prompt, stdout);
        std::fflush(stdout);
        return TYPED_LINE_NONE;
    }
    std::snprintf(state->prompt, sizeof state->prompt, "%s", prompt);
    // Raw mode before the prompt shows: keys typed as soon as it is on the screen must reach
    // the editor, not the terminal's own line editing (el_gets sets it only at its first read).
    el_set(state->editor, EL_PREP_TERM, 1);
    NoteEditorModes();
    int count = 0;
    const char* typed = el_gets(state->editor, &count);
    if (typed == nullptr || count <= 0) return count == 0 ? 0 : TYPED_LINE_NONE;  // 0: Ctrl+D, empty line
    // U+FFFD stands where ReadKey met a byte that is not UTF-8: no name the user typed.
    if (static_cast<std::size_t>(count) > capacity || std::strstr(typed, "\xEF\xBF\xBD") != nullptr) {
        return TYPED_LINE_REFUSED;
    }
    std::memcpy(line, typed, static_cast<std::size_t>(count));
    // Up at the next prompt brings this answer back.
    const std::string answer(typed, static_cast<std::size_t>(count) - (typed[count - 1] == '\n' ? 1 : 0));
    HistEvent event;
    if (!answer.empty()) ::history(state->answers, &event, H_ENTER, answer.c_str());
    return count;
}

void EndLineEditor() {
    if (g_lineEditor == nullptr) return;
    ReleaseTerminal();
    delete g_lineEditor;
    g_lineEditor = nullptr;
}
