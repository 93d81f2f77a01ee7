// The line editor's side of the terminal: its modes, the signals while the editor lives, and
// keys read whole. libedit's own signal handling (EL_SIGNAL) stays off: it sets the terminal
// from the background, and misses redrawing after fg with a reader of our own.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "line_editing/line_editor_state.h"

namespace {

// ---- The terminal's modes and signals

constexpr char kPasteOn[] = "\033[?2004h";
constexpr char kPasteOff[] = "\033[?2004l";
// Ctrl+Z, fg and a new size, then every signal whose default ends the process: each of those
// sets the terminal back first.
constexpr int kSignals[] = {SIGTSTP, SIGCONT, SIGWINCH, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2,
                            SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGPIPE, SIGIO, SIGSYS, SIGTRAP,
                            SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV,
#if defined(SIGPWR)
                            SIGPWR,
#endif
#if defined(SIGSTKFLT)
                            SIGSTKFLT,
#endif
};
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

template <std::size_t N>
void Send(const char (&sequence)[N]) {
    if (write(STDOUT_FILENO, sequence, N - 1) < 0) {
        // Nothing to do: a terminal that is gone needs no mode.
    }
}

// Only the foreground touches the terminal's modes: a run ended or stopped in the background
// neither stops at the terminal nor changes the shell's.
bool InForeground() { return tcgetpgrp(STDIN_FILENO) == getpgrp(); }

// The terminal as it was, paste mode off.
void SetTerminalBack() {
    if (!InForeground()) return;
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

// ---- A new size

int Columns(EditLine* editor) {
    int columns = 80;
    el_get(editor, EL_GETTC, "co", &columns);
    return std::max(columns, 1);
}

// The display columns of the prompt and of the line up to the cursor.
int ColumnsBeforeCursor(LineEditor& state) {
    const LineInfoW* line = el_wline(state.editor);
    std::wstring text(std::strlen(state.prompt) + 1, L'\0');
    text.resize(std::mbstowcs(&text[0], state.prompt, text.size()) == static_cast<std::size_t>(-1) ? 0
                                                                                           : std::wcslen(text.c_str()));
    text.append(line->buffer, line->cursor);
    const int width = wcswidth(text.c_str(), text.size());
    return width < 0 ? static_cast<int>(text.size()) : width;
}

// A terminal capability's string, or "" where the terminal has none.
const char* Capability(EditLine* editor, const char* name) {
    char* text = nullptr;
    return el_get(editor, EL_GETTC, name, &text) == 0 && text != nullptr ? text : "";
}

// Waits up to `wait` ms (-1: for good) for the terminal's next bytes, read into the editor's
// buffer. Returns their count, 0 where none came within the wait, -1 for an error (errno says
// which), or kInputEnded.
constexpr ssize_t kInputEnded = -2;
ssize_t ReadBytes(LineEditor& state, int wait) {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, 1, wait);
    const ssize_t got = ready > 0 ? read(STDIN_FILENO, state.bytes, sizeof state.bytes) : ready;
    state.bytesAt = 0;
    state.bytesEnd = got > 0 ? static_cast<std::size_t>(got) : 0;
    return ready > 0 && got == 0 ? kInputEnded : got;
}

// Asks the terminal where the cursor stands, reading keys typed meanwhile on; false where no
// answer came within the wait. A terminal that did not answer is not asked again, and its late
// answer goes quietly.
bool AskPosition(LineEditor& state) {
    if (state.reader.awaitsPosition) return false;
    std::fflush(stdout);
    Send("\033[6n");
    state.reader.awaitsPosition = true;
    // In steps of 100 ms: near enough the wait where a signal cuts one short.
    for (int waited = 0; state.reader.awaitsPosition && waited < TERMINAL_SLOW_LINK_WAIT_MS; waited += 100) {
        if (state.bytesAt == state.bytesEnd && ReadBytes(state, 100) < 0 && errno != EINTR) break;
        while (state.bytesAt < state.bytesEnd && state.reader.awaitsPosition) {
            if (FeedTerminalByte(state.reader, state.bytes[state.bytesAt++], state.keys)) el_beep(state.editor);
        }
    }
    return !state.reader.awaitsPosition;
}

// How many rows above the cursor the line begins after a resize from `before` to `after`
// columns. Some terminals wrap their rows anew at a resize and others do not; where the cursor's
// column the terminal reports tells which, that one; elsewhere the fewer, since a guess too many
// would erase the dialogue's lines above.
int RowsAboveCursor(LineEditor& state, int before, int after) {
    const int columns = ColumnsBeforeCursor(state);
    const int rewrapped = columns / after;
    const int kept = columns / before;
    if (rewrapped == kept || !AskPosition(state)) return std::min(rewrapped, kept);
    const int column = state.reader.positionColumn - 1;
    const bool rewraps = column == columns % after;
    const bool keeps = column == std::min(columns % before, after - 1);
    const int rows = rewraps == keeps ? std::min(rewrapped, kept) : rewraps ? rewrapped : kept;
    return std::min(rows, state.reader.positionRow - 1);
}

// libedit keeps the cursor's old column across el_resize although it makes every row of its
// picture of the screen as narrow as the new width, and its next character typed at the end of
// the line is stored at that column, past the row's end. So the line is drawn anew at once, its
// picture of the screen with it, from the row where the line begins, cleared to the end of the
// screen. The listing's question, one short line, is written again.
void Redraw(LineEditor& state) {
    const int before = Columns(state.editor);
    el_resize(state.editor);
    const int after = Columns(state.editor);
    std::string move = "\r";
    for (int up = state.question.empty() ? RowsAboveCursor(state, before, after) : 0; up > 0; --up) {
        move += Capability(state.editor, "up");
    }
    std::fputs((move + Capability(state.editor, "cd") + state.question).c_str(), stdout);
    if (state.question.empty()) el_set(state.editor, EL_REFRESH);
    std::fflush(stdout);
}

// ---- Keys

// After a signal: the line drawn anew at a new size; after fg, the editor's modes and paste mode
// again and the line (or the listing's question) drawn anew. In the background nothing: the
// next read stops the run until fg.
void Resume(LineEditor& state) {
    while (g_resized != 0) {  // again where a new size came while the line was drawn anew
        g_resized = 0;
        Redraw(state);
    }
    if (g_continued == 0 || !InForeground()) return;
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

}  // namespace

int ReadKey(EditLine* editor, wchar_t* key) {
    LineEditor& state = *StateOf(editor);
    while (state.keys.empty()) {
        Resume(state);
        if (!state.keys.empty()) break;  // typed while the terminal was asked where its cursor is
        if (state.bytesAt == state.bytesEnd) {
            const ssize_t got = ReadBytes(state, TerminalKeyWait(state.reader));
            if (got == -1 && errno == EINTR) continue;
            if (got < 0) return got == kInputEnded ? 0 : -1;
        }
        const int byte = state.bytesAt < state.bytesEnd ? state.bytes[state.bytesAt++] : NO_MORE_BYTES;
        if (FeedTerminalByte(state.reader, byte, state.keys)) el_beep(editor);
    }
    *key = state.keys.front();
    state.keys.erase(0, 1);
    return 1;
}

bool TakeTerminal() {
    // Started in the background: nothing goes to the terminal before a shell's fg. A run that
    // cannot stop for it, or that bg continues, reads without the editor.
    struct sigaction stop;
    if (!InForeground() && sigaction(SIGTTOU, nullptr, &stop) == 0 && stop.sa_handler == SIG_DFL) std::raise(SIGTTOU);
    if (!InForeground() || tcgetattr(STDIN_FILENO, &g_terminalBefore) != 0) return false;
    HandleSignals(true);
    std::fflush(stdout);
    Send(kPasteOn);
    return true;
}

void ReleaseTerminal() {
    std::fflush(stdout);
    Send(kPasteOff);
    HandleSignals(false);
}
