// The line editor of POSIX terminals, through libedit's own interface: no configuration file
// is read and nothing goes to standard error.

#include "platform/line_editor.h"

#include <cerrno>
#include <csignal>
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
#include <termios.h>
#include <unistd.h>

#include "platform/path_completion.h"

namespace {

// Everything the editor keeps between lines; the callbacks reach it through EL_CLIENTDATA.
struct LineEditor {
    EditLine* editor = nullptr;
    History* answers = nullptr;  // this run's answers, for Up
    std::FILE* discarded = nullptr;
    char prompt[3 * CONSOLE_TEXT_SIZE] = {};

    LineEditor() = default;
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;
    ~LineEditor() {
        if (editor != nullptr) el_end(editor);
        if (answers != nullptr) history_end(answers);
        if (discarded != nullptr) std::fclose(discarded);
    }
};

LineEditor* g_lineEditor = nullptr;

LineEditor* StateOf(EditLine* editor) {
    void* state = nullptr;
    el_get(editor, EL_CLIENTDATA, &state);
    return static_cast<LineEditor*>(state);
}

char* ShowPrompt(EditLine* editor) { return StateOf(editor)->prompt; }

// ---- The terminal's bracketed paste, on while the editor lives and off on every way out

constexpr char kPasteOn[] = "\033[?2004h";
constexpr char kPasteOff[] = "\033[?2004l";
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
struct sigaction g_signalsBefore[std::size(kSignals)];
struct termios g_terminalBefore;  // the terminal's settings before the first line

// One way to set a handler everywhere, signal handlers included: no flags, nothing blocked.
void Install(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

void Send(const char (&sequence)[9]) {
    if (write(STDOUT_FILENO, sequence, sizeof sequence - 1) < 0) {
        // Nothing to do: a terminal that is gone needs no mode.
    }
}

// An ending signal: the terminal as it was, then the signal's own end. libedit, whose
// handlers stand in front of these while a line is read, has set the terminal back already.
void EndBySignal(int signal) {
    Send(kPasteOff);
    tcsetattr(STDIN_FILENO, TCSADRAIN, &g_terminalBefore);
    Install(signal, SIG_DFL);
    std::raise(signal);  // delivered as this handler returns
}

// Ctrl+Z: the paste mode off while stopped, on again after fg. libedit sets the terminal's
// own modes back and forth.
void StopBySignal(int) {
    const int savedErrno = errno;
    Send(kPasteOff);
    Install(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    std::raise(SIGTSTP);  // stops here until fg
    Send(kPasteOn);
    Install(SIGTSTP, StopBySignal);
    errno = savedErrno;
}

// Our handlers while the editor lives, the earlier ones after; a signal ignored from the start
// stays ignored.
void HandleSignals(bool editing) {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        if (!editing) {
            sigaction(kSignals[i], &g_signalsBefore[i], nullptr);
            continue;
        }
        sigaction(kSignals[i], nullptr, &g_signalsBefore[i]);
        if (g_signalsBefore[i].sa_handler != SIG_IGN) {
            Install(kSignals[i], kSignals[i] == SIGTSTP ? StopBySignal : EndBySignal);
        }
    }
}

// The longest paste kept, in characters: more than any path line holds.
constexpr std::size_t kPasteLimit = 4096;

// ESC[200~ opens a paste: read to ESC[201~ and inserted as it is, so that a Tab in it
// completes nothing. One line break at its end goes (a copied line carries one); a paste that
// still holds one, or too long, is dropped whole with a bell, so that no part of it answers
// this prompt or the next.
unsigned char InsertPaste(EditLine* editor, int) {
    static const std::wstring kEnd = L"\033[201~";
    std::wstring pasted;
    bool whole = true;
    bool ended = false;
    wchar_t c = 0;
    while (!ended && el_wgetc(editor, &c) == 1) {
        pasted += c;
        ended = pasted.size() >= kEnd.size() && pasted.compare(pasted.size() - kEnd.size(), kEnd.size(), kEnd) == 0;
        if (pasted.size() > kPasteLimit) {
            whole = false;
            pasted.erase(0, pasted.size() - kEnd.size());
        }
    }
    if (!ended || !whole) return CC_REFRESH_BEEP;
    pasted.resize(pasted.size() - kEnd.size());
    if (!pasted.empty() && pasted.back() == L'\n') pasted.pop_back();
    if (!pasted.empty() && pasted.back() == L'\r') pasted.pop_back();
    if (pasted.find_first_of(L"\r\n") != std::wstring::npos) return CC_REFRESH_BEEP;
    return el_winsertstr(editor, pasted.c_str()) == 0 ? CC_REFRESH : CC_REFRESH_BEEP;
}

// ---- Tab

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

// Past this many names, or a screenful, the listing asks first.
constexpr std::size_t kNamesListedUnasked = 100;

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
        std::fprintf(stdout, "%zu 個の名前をすべて表示しますか? (y/n) ", names.size());
        std::fflush(stdout);
        char answer = 0;
        const bool yes = el_getc(editor, &answer) == 1 && (answer == 'y' || answer == 'Y');
        std::fputc('\n', stdout);
        if (!yes) return;
    }
    for (const std::string& row : rows) std::fprintf(stdout, "%s\n", row.c_str());
}

unsigned char CompleteTypedPath(EditLine* editor, int) {
    const LineInfo* line = el_line(editor);
    const std::string typed(line->buffer, static_cast<std::size_t>(line->cursor - line->buffer));
    std::string folder = CompletionFolder(typed);
    // "~/" lists the home folder, as the program reads it.
    const char* home = std::getenv("HOME");
    if (folder.compare(0, 2, "~/") == 0 && home != nullptr && home[0] == '/') {
        folder = std::string(home) + folder.substr(1);
    }
    const PathCompletion completion = CompletePath(typed, ListFolder(folder));
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
    if (state->discarded != nullptr && state->answers != nullptr && tcgetattr(STDIN_FILENO, &g_terminalBefore) == 0) {
        state->editor = el_init("pcmconv", stdin, stdout, state->discarded);
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
    el_set(editor, EL_SIGNAL, 1);  // the terminal is set back when a signal ends the run
    el_set(editor, EL_PROMPT, ShowPrompt);
    el_set(editor, EL_HIST, ::history, state->answers);
    // The wide calls keep these literals; the narrow one leaks a copy of each.
    el_wset(editor, EL_ADDFN, L"pcmconv-complete", L"Complete a path", CompleteTypedPath);
    el_wset(editor, EL_ADDFN, L"pcmconv-paste", L"Insert a bracketed paste", InsertPaste);
    el_set(editor, EL_BIND, "^I", "pcmconv-complete", nullptr);
    el_set(editor, EL_BIND, "\033[200~", "pcmconv-paste", nullptr);
    // Home, End and Delete as tmux, screen, the Linux console and rxvt send them; libedit
    // knows the xterm forms only.
    static const char* const kKeys[][2] = {
        {"\033[1~", "ed-move-to-beg"}, {"\033[7~", "ed-move-to-beg"}, {"\033[4~", "ed-move-to-end"},
        {"\033[8~", "ed-move-to-end"}, {"\033[3~", "ed-delete-next-char"}};
    for (const auto& key : kKeys) el_set(editor, EL_BIND, key[0], key[1], nullptr);
    // libedit's handlers stand in front of these while a line is read, and call them after
    // setting the terminal back.
    HandleSignals(true);
    std::fflush(stdout);
    Send(kPasteOn);
    g_lineEditor = state;
    return state;
}

}  // namespace

long ReadEditedLine(const char* prompt, char* line, std::size_t capacity) {
    LineEditor* state = TheLineEditor();
    if (state == nullptr) return CONSOLE_LINE_NONE;
    std::snprintf(state->prompt, sizeof state->prompt, "%s", prompt);
    // Raw mode before the prompt shows: keys typed as soon as it is on the screen must reach
    // the editor, not the terminal's own line editing (el_gets sets it only at its first read).
    el_set(state->editor, EL_PREP_TERM, 1);
    int count = 0;
    const char* typed = el_gets(state->editor, &count);
    if (typed == nullptr || count <= 0) return count == 0 ? 0 : CONSOLE_LINE_NONE;  // 0: Ctrl+D, empty line
    if (static_cast<std::size_t>(count) > capacity) return CONSOLE_LINE_REFUSED;
    std::memcpy(line, typed, static_cast<std::size_t>(count));
    // Up at the next prompt brings this answer back.
    const std::string answer(typed, static_cast<std::size_t>(count) - (typed[count - 1] == '\n' ? 1 : 0));
    HistEvent event;
    if (!answer.empty()) ::history(state->answers, &event, H_ENTER, answer.c_str());
    return count;
}

void EndLineEditor() {
    if (g_lineEditor == nullptr) return;
    std::fflush(stdout);
    Send(kPasteOff);
    HandleSignals(false);
    delete g_lineEditor;
    g_lineEditor = nullptr;
}
