// The line editor's side of the terminal: its modes, the signals while the editor lives, and
// keys read whole. libedit's own signal handling (EL_SIGNAL) stays off: it sets the terminal
// from the background, and misses redrawing after fg with a reader of our own.

#include <cerrno>
#include <csignal>
#include <iterator>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/line_editor_state.h"

namespace {

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

// ---- Keys

// After a signal: the new size; after fg, the editor's modes and paste mode again and the line
// (or the listing's question) drawn anew. In the background nothing: the next read stops the
// run until fg.
void Resume(LineEditor& state) {
    if (g_resized != 0) {
        g_resized = 0;
        el_resize(state.editor);
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

bool TakeTerminal() {
    if (tcgetattr(STDIN_FILENO, &g_terminalBefore) != 0) return false;
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
