#pragma once
// The line editor's own state, and its side of the terminal: the terminal's modes, the signals
// while the editor lives, and the keys read whole (line_editor_terminal.cpp). Only the editor's
// files include this.

#include <cstddef>
#include <cstdio>
#include <string>
#include <histedit.h>

#include "platform/platform.h"
#include "line_editing/terminal_keys.h"

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

// The editor's state, from the callbacks' EditLine (EL_CLIENTDATA).
inline LineEditor* StateOf(EditLine* editor) {
    void* state = nullptr;
    el_get(editor, EL_CLIENTDATA, &state);
    return static_cast<LineEditor*>(state);
}

// Takes the terminal for the editor: its settings kept to set back, the editor's signal
// handlers, bracketed paste on. False where the terminal's settings cannot be read.
bool TakeTerminal();
// Paste mode off and the earlier signal handlers back, once the last line is read.
void ReleaseTerminal();
// The next key read whole: 1 with it in `key`, 0 at the input's end, -1 for an error; with
// `anyKey`, 2 for a key the editor does not act on, which rang the bell.
int NextKey(LineEditor& state, wchar_t* key, bool anyKey);
// libedit's character reader (EL_GETCFN): the terminal's bytes through the key reader, so that
// each escape sequence reaches libedit whole, in the form it binds, or not at all.
int ReadKey(EditLine* editor, wchar_t* key);
// Notes the terminal's settings as the editor set them for a line, so that after a SIGCONT a
// stop shows by their change.
void NoteEditorModes();
