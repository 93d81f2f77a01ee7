#pragma once
// What a terminal's bytes mean to the line editor: each escape sequence, control string and
// report read whole, by the grammar terminals parse the same bytes with (ECMA-48, xterm's
// conventions), and either rewritten into the one form the editor binds for that key or
// dropped, so that no byte of one ever reaches the line. Pure: the editor feeds the bytes it
// reads, waits as TerminalKeyWait says, and hands on the keys. Portable: no OS header.

#include <string>
#include <string_view>

// The forms the editor binds, one for each key it acts on.
namespace editor_keys {
inline constexpr std::wstring_view LEFT = L"\033[D";
inline constexpr std::wstring_view RIGHT = L"\033[C";
inline constexpr std::wstring_view UP = L"\033[A";
inline constexpr std::wstring_view DOWN = L"\033[B";
inline constexpr std::wstring_view HOME = L"\033[H";
inline constexpr std::wstring_view END = L"\033[F";
inline constexpr std::wstring_view DELETE = L"\033[3~";
inline constexpr std::wstring_view WORD_LEFT = L"\033b";  // Alt+b, libedit's own binding
inline constexpr std::wstring_view WORD_RIGHT = L"\033f";
// A paste is PASTE_START, its characters unchanged, then PASTE_END, or PASTE_DROPPED where it
// is to go whole: it stalled before its end, more bytes came with its end (its own text held
// the end marker), or it held an Escape, which never reaches the editor from inside a paste.
inline constexpr std::wstring_view PASTE_START = L"\033[200~";
inline constexpr std::wstring_view PASTE_END = L"\033[201~";
inline constexpr std::wstring_view PASTE_DROPPED = L"\033[202~";
}  // namespace editor_keys

// Fed in place of a byte when none came within the wait TerminalKeyWait gave.
inline constexpr int NO_MORE_BYTES = -1;
// How long an Escape with intermediate bytes waits for a next byte before it is Alt with a key.
inline constexpr int TERMINAL_ESCAPE_WAIT_MS = 100;
// How long anything begun (a sequence, a string, a character, a paste) waits for its next byte,
// as a slow link may need, before it is dropped with a bell; its tail, should it come within as
// long again, goes with it. A lone Escape waits as long for a byte that begins a sequence or a
// string, which makes it that, before it is a key of its own.
inline constexpr int TERMINAL_SLOW_LINK_WAIT_MS = 1500;
// How long a paste's end waits for more bytes of the same burst: quicker than any hand.
inline constexpr int TERMINAL_PASTE_SETTLE_MS = 50;

// The bytes read so far that do not make a key yet, and where in the grammar they stand.
struct TerminalKeyReader {
    std::string sequence;   // an escape sequence begun
    std::string character;  // a UTF-8 character begun
    bool alt = false;       // an Escape before the sequence begun (rxvt's Alt)
    bool inString = false;  // a control string (OSC, DCS, SOS, PM, APC) before its terminator
    bool stringEscape = false;  // an Escape inside it, perhaps the first byte of its terminator
    int skip = 0;           // coordinates of an X10 mouse report still to come
    bool skipLead = false;  // a coordinate's first byte of two (xterm's UTF-8 mouse mode)
    bool stalled = false;   // what is begun stalled and rang: its tail goes quietly
    bool inPaste = false;   // between PASTE_START and its end marker
    bool pasteSpoiled = false;  // an Escape in it, no part of its end marker: it goes whole
    bool pasteEnding = false;   // its end marker read, the burst not yet over
    bool swallowing = false;    // the rest of a burst that cut a paste short
    // Set by the editor when it has asked for the cursor's position; the report, once read,
    // clears it and says where the cursor stands (1-based), and is no key.
    bool awaitsPosition = false;
    int positionRow = 0;
    int positionColumn = 0;
};

// Feeds one byte (or NO_MORE_BYTES) and appends to `keys` what the editor is to read: a
// character (U+FFFD for bytes that are not UTF-8), a control character as typed, a lone Escape,
// Alt with a key, or one of editor_keys. C1 controls (U+0080 to U+009F) stand for their
// Escape forms, NUL (Ctrl+Space) and Alt with it for nothing, Escape then Enter for Enter; a C0
// control inside a sequence is a key and the sequence goes on, as ECMA-48 has it. Returns true
// where the bytes made a key the editor does not act on, or something begun that stalled: ring the
// bell. Control strings and reports (mouse, focus, mode, position, window, status) go quietly.
bool FeedTerminalByte(TerminalKeyReader& reader, int byte, std::wstring& keys);

// How long to wait for the next byte before feeding NO_MORE_BYTES: -1 for as long as it takes.
int TerminalKeyWait(const TerminalKeyReader& reader);
