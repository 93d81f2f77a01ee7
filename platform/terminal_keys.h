#pragma once
// What a terminal's bytes mean to the line editor: each escape sequence read whole, by its
// grammar, and either rewritten into the one form the editor binds for that key or dropped with
// a bell, so that no byte of a sequence ever reaches the line. Pure: the editor feeds the bytes
// it reads and hands on the keys. Portable: no OS header.

#include <string>

// The forms the editor binds, one for each key it acts on.
namespace editor_keys {
inline const std::wstring LEFT = L"\033[D";
inline const std::wstring RIGHT = L"\033[C";
inline const std::wstring UP = L"\033[A";
inline const std::wstring DOWN = L"\033[B";
inline const std::wstring HOME = L"\033[H";
inline const std::wstring END = L"\033[F";
inline const std::wstring DELETE = L"\033[3~";
inline const std::wstring WORD_LEFT = L"\033b";  // Alt+b, libedit's own binding
inline const std::wstring WORD_RIGHT = L"\033f";
// Between these two everything passes unchanged, so that the paste keeps its own bytes.
inline const std::wstring PASTE_START = L"\033[200~";
inline const std::wstring PASTE_END = L"\033[201~";
}  // namespace editor_keys

// Fed in place of a byte when none came within TERMINAL_SEQUENCE_WAIT_MS of the last one.
inline constexpr int NO_MORE_BYTES = -1;
// How long a begun sequence or character waits for its next byte: a lone Escape is a key.
inline constexpr int TERMINAL_SEQUENCE_WAIT_MS = 100;

// The bytes read so far that do not make a key yet.
struct TerminalKeyReader {
    std::string sequence;   // an escape sequence begun
    std::string character;  // a UTF-8 character begun
    bool alt = false;       // an Escape before the sequence begun (rxvt's Alt)
    bool inPaste = false;   // between PASTE_START and PASTE_END
};

// Feeds one byte (or NO_MORE_BYTES) and appends to `keys` what the editor is to read: a
// character (U+FFFD for bytes that are not UTF-8), a control character as typed, a lone
// Escape, or one of editor_keys. Returns true where the bytes made a key the editor does not
// act on, or a sequence cut short: ring the bell.
bool FeedTerminalByte(TerminalKeyReader& reader, int byte, std::wstring& keys);

// True while held bytes wait for more: wait TERMINAL_SEQUENCE_WAIT_MS, then feed NO_MORE_BYTES.
inline bool AwaitsMoreBytes(const TerminalKeyReader& reader) {
    return !reader.sequence.empty() || !reader.character.empty();
}
