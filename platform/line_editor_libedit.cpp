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
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/path_completion.h"
#include "platform/terminal_keys.h"

namespace {

// Everything the editor keeps between lines; the callbacks reach it through EL_CLIENTDATA.
struct LineEditor {
    EditLine* editor = nullptr;
    History* answers = nullptr;  // this run's answers, for Up
    std::FILE* discarded = nullptr;
    char prompt[3 * CONSOLE_TEXT_SIZE] = {};
    // The terminal's bytes on their way to keys (ReadKey).
    TerminalKeyReader reader;
    std::wstring keys;  // read whole, not yet taken by libedit
    unsigned char bytes[256] = {};
    std::size_t bytesAt = 0;
    std::size_t bytesEnd = 0;
    std::string question;  // the listing's question while it waits for its answer

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

// ---- The terminal's modes and signals

constexpr char kPasteOn[] = "\033[?2004h";
constexpr char kPasteOff[] = "\033[?2004l";
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT, SIGWINCH};
struct sigaction g_signalsBefore[std::size(kSignals)];
struct termios g_terminalBefore;  // the terminal's settings before the first line
volatile std::sig_atomic_t g_continued = 0;
volatile std::sig_atomic_t g_resized = 0;

// One way to set a handler everywhere, signal handlers included: nothing blocked, and no
// SA_RESTART, so that a signal ends ReadKey's wait.
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

// The terminal as it was, paste mode off: only from the foreground, so that a run ended or
// stopped in the background neither stops at the terminal nor changes the shell's modes.
void SetTerminalBack() {
    if (tcgetpgrp(STDIN_FILENO) != getpgrp()) return;
    Send(kPasteOff);
    tcsetattr(STDIN_FILENO, TCSADRAIN, &g_terminalBefore);
}

// An ending signal: the terminal set back, then the signal's own end.
void EndBySignal(int signal) {
    SetTerminalBack();
    Install(signal, SIG_DFL);
    std::raise(signal);  // delivered as this handler returns
}

// Ctrl+Z: the terminal set back while stopped; ReadKey sets it up again after fg.
void StopBySignal(int) {
    const int savedErrno = errno;
    SetTerminalBack();
    Install(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    std::raise(SIGTSTP);  // stops here until fg or bg
    Install(SIGTSTP, StopBySignal);
    errno = savedErrno;
}

void NoteSignal(int signal) { (signal == SIGCONT ? g_continued : g_resized) = 1; }

// Our handlers while the editor lives, the earlier ones after; a signal ignored from the start
// stays ignored. libedit's own (EL_SIGNAL) stay off: they set the terminal from the background.
void HandleSignals(bool editing) {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        const int signal = kSignals[i];
        if (!editing) {
            sigaction(signal, &g_signalsBefore[i], nullptr);
            continue;
        }
        sigaction(signal, nullptr, &g_signalsBefore[i]);
        if (g_signalsBefore[i].sa_handler == SIG_IGN) continue;
        Install(signal, signal == SIGTSTP ? StopBySignal : signal == SIGCONT || signal == SIGWINCH ? NoteSignal
                                                                                                 : EndBySignal);
    }
}

// ---- Keys

// After a signal: the new size; after fg, the editor's modes and paste mode again and the line
// (or the listing's question) drawn anew. In the background nothing: the next read stops the
// run until fg.
void Resume(LineEditor& state) {
    if (g_resized != 0) {
        g_resized = 0;
        el_resize(state.editor);
    }
    if (g_continued == 0 || tcgetpgrp(STDIN_FILENO) != getpgrp()) return;
    g_continued = 0;
    el_set(state.editor, EL_PREP_TERM, 0);
    el_set(state.editor, EL_PREP_TERM, 1);
    Send(kPasteOn);
    if (state.question.empty()) {
        el_set(state.editor, EL_REFRESH);
    } else {
        std::fputs(state.question.c_str(), stdout);
        std::fflush(stdout);
    }
}

// libedit's character reader: the terminal's bytes through the key reader, so that each escape
// sequence reaches libedit whole, in the form it binds, or not at all.
int ReadKey(EditLine* editor, wchar_t* key) {
    LineEditor& state = *StateOf(editor);
    while (state.keys.empty()) {
        Resume(state);
        if (state.bytesAt == state.bytesEnd) {
            pollfd input = {STDIN_FILENO, POLLIN, 0};
            const int ready = poll(&input, 1, AwaitsMoreBytes(state.reader) ? TERMINAL_SEQUENCE_WAIT_MS : -1);
            const ssize_t got = ready > 0 ? read(STDIN_FILENO, state.bytes, sizeof state.bytes) : ready;
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 || (ready > 0 && got == 0)) return got == 0 ? 0 : -1;
            state.bytesAt = 0;
            state.bytesEnd = static_cast<std::size_t>(got);
        }
        const int byte = state.bytesAt < state.bytesEnd ? state.bytes[state.bytesAt++] : NO_MORE_BYTES;
        if (FeedTerminalByte(state.reader, byte, state.keys)) el_beep(editor);
    }
    *key = state.keys.front();
    state.keys.erase(0, 1);
    return 1;
}

// The longest paste kept, in characters: more than any path line holds.
constexpr std::size_t kPasteLimit = 4096;

// PASTE_START opens a paste: read to its end and inserted as it is, so that a Tab in it
// completes nothing. Line breaks at its very end go (a copied line carries one, and tmux pastes
// CR LF as two CRs); a paste that still holds a line break or another control character, or
// is too long, is dropped whole with a bell, so that no part of it answers this prompt or the
// next.
unsigned char InsertPaste(EditLine* editor, int) {
    const std::wstring& kEnd = editor_keys::PASTE_END;
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
    while (!pasted.empty() && (pasted.back() == L'\n' || pasted.back() == L'\r')) pasted.pop_back();
    for (wchar_t pastedChar : pasted) {
        if ((pastedChar < 0x20 && pastedChar != L'\t') || pastedChar == 0x7F) return CC_REFRESH_BEEP;
    }
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

// The listing's answer: y lists. A paste or an escape sequence is read whole and answers no,
// so that none of it reaches the line.
bool AnswersYes(LineEditor& state) {
    wchar_t key = 0;
    if (ReadKey(state.editor, &key) != 1) return false;
    wchar_t dropped = 0;
    while (key == L'\033' && state.reader.inPaste && ReadKey(state.editor, &dropped) == 1) {
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
        state.question = std::to_string(names.size()) + " 個の名前をすべて表示しますか? (y/n) ";
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
    el_set(editor, EL_PROMPT, ShowPrompt);
    el_set(editor, EL_HIST, ::history, state->answers);
    // The wide calls keep these literals; the narrow one leaks a copy of each.
    el_wset(editor, EL_ADDFN, L"pcmconv-complete", L"Complete a path", CompleteTypedPath);
    el_wset(editor, EL_ADDFN, L"pcmconv-paste", L"Insert a bracketed paste", InsertPaste);
    el_set(editor, EL_BIND, "^I", "pcmconv-complete", nullptr);
    el_set(editor, EL_GETCFN, ReadKey);
    // The one form of each key that ReadKey hands on, whatever the terminal sent.
    using namespace editor_keys;
    const std::pair<const std::wstring&, const wchar_t*> kKeys[] = {
        {LEFT, L"ed-prev-char"},      {RIGHT, L"ed-next-char"},     {UP, L"ed-prev-history"},
        {DOWN, L"ed-next-history"},   {HOME, L"ed-move-to-beg"},    {END, L"ed-move-to-end"},
        {DELETE, L"ed-delete-next-char"}, {WORD_LEFT, L"ed-prev-word"}, {WORD_RIGHT, L"em-next-word"},
        {PASTE_START, L"pcmconv-paste"}};
    for (const auto& key : kKeys) el_wset(editor, EL_BIND, key.first.c_str(), key.second, nullptr);
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
    // U+FFFD stands where ReadKey met a byte that is not UTF-8: no name the user typed.
    if (static_cast<std::size_t>(count) > capacity || std::strstr(typed, "\xEF\xBF\xBD") != nullptr) {
        return CONSOLE_LINE_REFUSED;
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
    std::fflush(stdout);
    Send(kPasteOff);
    HandleSignals(false);
    delete g_lineEditor;
    g_lineEditor = nullptr;
}
