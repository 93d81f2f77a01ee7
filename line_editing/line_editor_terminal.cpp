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
#include <time.h>
#include <unistd.h>

#include "line_editing/line_editor_state.h"

namespace {

// ---- The terminal's modes and signals

// Paste mode on, and every mouse mode off: another program may have left one on, and the
// editor asks for no mouse reports.
constexpr char kPasteOn[] = "\033[?2004h\033[?1000l\033[?1002l\033[?1003l\033[?1005l\033[?1006l\033[?1015l";
constexpr char kPasteOff[] = "\033[?2004l";
// How long, from its question, the terminal's answer is awaited before the terminal is given back,
// so that none of it reaches the shell: a slow link's answer comes later than the editor waits.
constexpr int kAnswerWaitMs = 3500;
// The stops (Ctrl+Z, and a read or a write from the background), fg and a new size, then every
// signal whose default ends the process: each of those sets the terminal back first.
constexpr int kSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU, SIGCONT, SIGWINCH, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2,
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
volatile std::sig_atomic_t g_stopped = 0;  // stopped by a signal the editor handles
volatile std::sig_atomic_t g_asked = 0;    // a question to the terminal unanswered
struct timespec g_askedAt;
struct termios g_editorModes;  // the terminal's settings while the editor reads

// One way to set a handler everywhere, signal handlers included: nothing blocked. SA_RESTART, so
// that no write to the terminal is cut short; ReadKey's wait (poll) ends at a signal all the same.
void Install(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

// Writes all of `bytes`, whatever signal comes; a terminal that is gone needs nothing more.
void Send(const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t wrote = write(STDOUT_FILENO, bytes, length);
        if (wrote == 0 || (wrote < 0 && errno != EINTR)) return;
        bytes += wrote > 0 ? wrote : 0;
        length -= wrote > 0 ? static_cast<std::size_t>(wrote) : 0;
    }
}
template <std::size_t N>
void Send(const char (&sequence)[N]) {
    Send(sequence, N - 1);
}

// Only the foreground touches the terminal's modes: a run ended or stopped in the background
// neither stops at the terminal nor changes the shell's. A terminal that is not the program's
// controlling terminal (ENOTTY) has no job control, and is the program's as bash and vim take it.
bool InForeground() {
    const pid_t group = tcgetpgrp(STDIN_FILENO);
    return group == getpgrp() || (group < 0 && errno == ENOTTY);
}

// The milliseconds from the terminal's question to its answer's last chance.
int AnswerWaitLeft() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long waited = (now.tv_sec - g_askedAt.tv_sec) * 1000 + (now.tv_nsec - g_askedAt.tv_nsec) / 1000000;
    return static_cast<int>(std::max(0L, kAnswerWaitMs - waited));
}

// Before the terminal is given back: the answer to a question still open, once it comes, goes,
// the bytes typed meanwhile with it (the run stops or ends). In signal handlers too: poll and read.
void DropAnswer() {
    unsigned char bytes[64];
    for (int left = AnswerWaitLeft(); g_asked != 0 && left > 0; left = AnswerWaitLeft()) {
        pollfd input = {STDIN_FILENO, POLLIN, 0};
        const ssize_t got = poll(&input, 1, left) > 0 ? read(STDIN_FILENO, bytes, sizeof bytes) : 0;
        if (got <= 0 && errno != EINTR) break;
        for (ssize_t i = 0; i < got; ++i) g_asked = g_asked && bytes[i] != 'R';
    }
    g_asked = 0;
}

// The terminal as it was, paste mode off.
void SetTerminalBack() {
    if (!InForeground()) return;
    DropAnswer();
    Send(kPasteOff);
    tcsetattr(STDIN_FILENO, TCSADRAIN, &g_terminalBefore);
}

// An ending signal: the terminal set back, then the signal's own end.
void EndBySignal(int signal) {
    SetTerminalBack();
    Install(signal, SIG_DFL);
    std::raise(signal);  // delivered as this handler returns
}

// Ctrl+Z, or SIGTTIN or SIGTTOU: the terminal set back while stopped; ReadKey sets it up again
// after fg.
void StopBySignal(int signal) {
    const int savedErrno = errno;
    SetTerminalBack();
    Install(signal, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, signal);
    g_stopped = 1;
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    std::raise(signal);  // stops here until fg or bg
    Install(signal, StopBySignal);
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
        const bool stops = signal == SIGTSTP || signal == SIGTTIN || signal == SIGTTOU;
        Install(signal, stops ? StopBySignal : signal == SIGCONT || signal == SIGWINCH ? NoteSignal : EndBySignal);
    }
}

// ---- A new size

int Columns(EditLine* editor) {
    int columns = 80;
    el_get(editor, EL_GETTC, "co", &columns);
    return std::max(columns, 1);
}

// The display columns of text before the cursor: the prompt and the line up to it, or the
// listing's question while it waits.
int ColumnsBeforeCursor(LineEditor& state) {
    const char* before = state.question.empty() ? state.prompt : state.question.c_str();
    std::wstring text(std::strlen(before) + 1, L'\0');
    text.resize(std::mbstowcs(&text[0], before, text.size()) == static_cast<std::size_t>(-1) ? 0 : std::wcslen(text.c_str()));
    if (state.question.empty()) text.append(el_wline(state.editor)->buffer, el_wline(state.editor)->cursor);
    const int width = wcswidth(text.c_str(), text.size());
    return width < 0 ? static_cast<int>(text.size()) : width;
}

// A terminal capability's string, or "" where the terminal has none, without terminfo's padding
// ("$<2>"), which only a slow terminal's driver acts on.
std::string Capability(EditLine* editor, const char* name) {
    char* text = nullptr;
    std::string capability = el_get(editor, EL_GETTC, name, &text) == 0 && text != nullptr ? text : "";
    for (std::size_t at = capability.find("$<"); at != std::string::npos; at = capability.find("$<", at)) {
        capability.erase(at, capability.find('>', at) - at + 1);
    }
    return capability;
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
    clock_gettime(CLOCK_MONOTONIC, &g_askedAt);
    g_asked = 1;
    Send("\033[6n");
    state.reader.awaitsPosition = true;
    // In steps of 100 ms: near enough the wait where a signal cuts one short.
    for (int waited = 0; state.reader.awaitsPosition && waited < TERMINAL_SLOW_LINK_WAIT_MS; waited += 100) {
        if (state.bytesAt == state.bytesEnd && ReadBytes(state, 100) < 0 && errno != EINTR) break;
        while (state.bytesAt < state.bytesEnd && state.reader.awaitsPosition) {
            if (FeedTerminalByte(state.reader, state.bytes[state.bytesAt++], state.keys)) el_beep(state.editor);
        }
    }
    g_asked = state.reader.awaitsPosition;
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
// screen; or the listing's question, from the row where it begins.
void Redraw(LineEditor& state) {
    const int before = Columns(state.editor);
    el_resize(state.editor);
    const int after = Columns(state.editor);
    std::string move = "\r";
    for (int up = RowsAboveCursor(state, before, after); up > 0; --up) move += Capability(state.editor, "up");
    std::fputs((move + Capability(state.editor, "cd") + state.question).c_str(), stdout);
    if (state.question.empty()) el_set(state.editor, EL_REFRESH);
    std::fflush(stdout);
}

// ---- Keys

// After a signal: the line drawn anew at a new size; after fg, the editor's modes and paste mode
// again and the line (or the listing's question) drawn anew, where the run was stopped (a SIGCONT
// alone changes nothing). In the background nothing: the next read stops the run until fg.
void Resume(LineEditor& state) {
    while (g_resized != 0) {  // again where a new size came while the line was drawn anew
        g_resized = 0;
        Redraw(state);
    }
    if (g_continued == 0 || !InForeground()) return;
    g_continued = 0;
    struct termios now;
    const bool changed = tcgetattr(STDIN_FILENO, &now) != 0 || now.c_iflag != g_editorModes.c_iflag ||
                         now.c_oflag != g_editorModes.c_oflag || now.c_cflag != g_editorModes.c_cflag ||
                         now.c_lflag != g_editorModes.c_lflag || std::memcmp(now.c_cc, g_editorModes.c_cc, sizeof now.c_cc) != 0;
    if (g_stopped == 0 && !changed) return;  // a SIGCONT without a stop
    g_stopped = 0;
    el_set(state.editor, EL_PREP_TERM, 0);
    el_set(state.editor, EL_PREP_TERM, 1);
    NoteEditorModes();
    Send(kPasteOn);
    if (state.question.empty()) {
        el_set(state.editor, EL_REFRESH);
    } else {
        std::fputs(state.question.c_str(), stdout);
        std::fflush(stdout);
    }
}

}  // namespace

void NoteEditorModes() { tcgetattr(STDIN_FILENO, &g_editorModes); }

int NextKey(LineEditor& state, wchar_t* key, bool anyKey) {
    while (state.keys.empty()) {
        Resume(state);
        if (!state.keys.empty()) break;  // typed while the terminal was asked where its cursor is
        if (state.bytesAt == state.bytesEnd) {
            const ssize_t got = ReadBytes(state, TerminalKeyWait(state.reader));
            if (got == -1 && errno == EINTR) continue;
            if (got < 0) return got == kInputEnded ? 0 : -1;
        }
        const int byte = state.bytesAt < state.bytesEnd ? state.bytes[state.bytesAt++] : NO_MORE_BYTES;
        const bool rang = FeedTerminalByte(state.reader, byte, state.keys);
        g_asked = g_asked && state.reader.awaitsPosition;
        if (rang) el_beep(state.editor);
        if (rang && anyKey && state.keys.empty()) return 2;
    }
    *key = state.keys.front();
    state.keys.erase(0, 1);
    return 1;
}

int ReadKey(EditLine* editor, wchar_t* key) { return NextKey(*StateOf(editor), key, false); }

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
    DropAnswer();
    Send(kPasteOff);
    HandleSignals(false);
}
