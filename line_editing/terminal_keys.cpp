#include "line_editing/terminal_keys.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "line_editing/utf8.h"

namespace {

constexpr char ESC = '\033';
constexpr wchar_t REPLACEMENT = 0xFFFD;
// No key a terminal sends is longer: a longer one is read to its end as no key at all.
constexpr std::size_t kLongestSequence = 32;

bool IsDigit(int byte) { return byte >= '0' && byte <= '9'; }
bool IsParameter(int byte) { return byte >= 0x30 && byte <= 0x3F; }
bool IsIntermediate(int byte) { return byte >= 0x20 && byte <= 0x2F; }
bool IsFinal(int byte) { return byte >= 0x40 && byte <= 0x7E; }
// An Escape alone, or with intermediate bytes: a key by itself (Escape, Alt with it) once its wait runs out.
bool EscapeAlone(const std::string& sequence) {
    return sequence == "\033" || (sequence.size() > 1 && IsIntermediate(sequence[1]));
}

// A character begun and not finished: U+FFFD in its place.
void CutCharacter(TerminalKeyReader& reader, std::wstring& out) {
    if (!reader.character.empty()) out += REPLACEMENT;
    reader.character.clear();
}

// UTF-8 decoded into `out`; U+FFFD for a byte that begins no character, an overlong form, a
// surrogate, or a value past U+10FFFF.
void Decode(TerminalKeyReader& reader, unsigned char byte, std::wstring& out) {
    if (!reader.character.empty() && (byte & 0xC0) == 0x80) {
        reader.character += static_cast<char>(byte);
        const std::size_t length = Utf8Length(static_cast<unsigned char>(reader.character[0]));
        if (reader.character.size() < length) return;
        const long value = Utf8At(reader.character, 0, length);
        out += value < 0 ? REPLACEMENT : static_cast<wchar_t>(value);
        reader.character.clear();
        return;
    }
    CutCharacter(reader, out);
    if (byte < 0x80) {
        out += static_cast<wchar_t>(byte);
    } else if (byte >= 0xC2 && byte <= 0xF4) {
        reader.character = static_cast<char>(byte);
    } else {
        out += REPLACEMENT;
    }
}

// The key a whole sequence stands for, or nullptr for one the editor does not act on. Its
// parameters are a key number and the modifiers plus one (Shift 1, Alt 2, Ctrl 4, Meta 8).
const std::wstring_view* KeyOf(const std::string& sequence) {
    using namespace editor_keys;
    const bool ss3 = sequence[1] == 'O';
    const char final = sequence.back();
    int parameters[2] = {0, 0};
    std::size_t count = 1;
    for (std::size_t at = 2; at + 1 < sequence.size(); ++at) {
        if (IsDigit(sequence[at])) {
            parameters[count - 1] = std::min(parameters[count - 1] * 10 + (sequence[at] - '0'), 10000);
        } else if (sequence[at] == ';' && count == 1) {
            ++count;
        } else {
            return nullptr;  // "[" of the Linux console's F1-F5, more parameters
        }
    }
    const int number = std::max(parameters[0], 1);
    // SS3 forms carry their modifiers as their only parameter (ESC O 5 D).
    const int modifierParameter = count == 2 ? parameters[1] : ss3 ? parameters[0] : 1;
    const int modifiers = std::max(modifierParameter, 1) - 1;
    const bool byWord = (modifiers & ~1) != 0;  // Alt, Ctrl or Meta; Shift alone moves as plain
    if (std::strchr("ABCDHF", final) != nullptr && (number == 1 || (ss3 && count == 1))) {
        switch (final) {
            case 'A': return byWord ? nullptr : &UP;
            case 'B': return byWord ? nullptr : &DOWN;
            case 'C': return byWord ? &WORD_RIGHT : &RIGHT;
            case 'D': return byWord ? &WORD_LEFT : &LEFT;
            case 'H': return &HOME;
            default: return &END;
        }
    }
    // rxvt: ESC [ a-d with Shift, ESC O a-d with Ctrl; "^" and "$" end its Ctrl and Shift forms.
    if (sequence.size() == 3 && final >= 'a' && final <= 'd') {
        const std::wstring_view* plain[] = {&UP, &DOWN, &RIGHT, &LEFT};
        const std::wstring_view* word[] = {nullptr, nullptr, &WORD_RIGHT, &WORD_LEFT};
        return (ss3 ? word : plain)[final - 'a'];
    }
    if (ss3 || std::strchr("~^$", final) == nullptr) return nullptr;
    switch (number) {
        case 1: case 7: return &HOME;
        case 4: case 8: return &END;
        case 3: return &DELETE;
        case 200: return final == '~' && count == 1 ? &PASTE_START : nullptr;
        default: return nullptr;  // Insert, PageUp, PageDown, F5-F20
    }
}

// What the terminal reports rather than a key: a private marker (mouse, mode and attribute
// reports), an intermediate byte (DECRQM's "$ y"), focus in and out, a stray paste end.
bool IsReport(const std::string& sequence) {
    if (sequence[1] != '[') return false;
    const char final = sequence.back();
    const bool intermediate = std::any_of(sequence.begin() + 2, sequence.end() - 1, [](char c) { return IsIntermediate(c); });
    // Position (R), window (t) and status (n) reports; urxvt's mouse (M with parameters).
    const bool report = std::strchr("Rtn", final) != nullptr || (final == 'M' && sequence.size() > 3);
    return intermediate || report || std::strchr("<=>?", sequence[2]) != nullptr || sequence == "\033[I" ||
           sequence == "\033[O" || sequence == "\033[201~";
}

// "row;column R" when the editor asked where the cursor stands.
bool TakePositionReport(TerminalKeyReader& reader, const std::string& sequence) {
    int row = 0;
    int column = 0;
    char end = 0;
    if (!reader.awaitsPosition || sequence[1] != '[' ||
        std::sscanf(sequence.c_str() + 2, "%4d;%4d%c", &row, &column, &end) != 3 || end != 'R') {
        return false;
    }
    reader.awaitsPosition = false;
    reader.positionRow = row;
    reader.positionColumn = column;
    return true;
}

bool FinishSequence(TerminalKeyReader& reader, std::wstring& keys) {
    using namespace editor_keys;
    const std::string sequence = std::exchange(reader.sequence, {});
    const bool alt = std::exchange(reader.alt, false);
    // The tail of one that stalled: rung for already, and no key.
    if (TakePositionReport(reader, sequence) || IsReport(sequence) || reader.stalled) return false;
    const std::wstring_view* key = KeyOf(sequence);
    // Escape before a sequence is rxvt's Alt: Alt+Left and Alt+Right move by word.
    if (alt) key = key == &LEFT ? &WORD_LEFT : key == &RIGHT ? &WORD_RIGHT : key == &UP || key == &DOWN ? nullptr : key;
    if (key == nullptr) return true;
    reader.inPaste = key == &PASTE_START;
    keys += *key;
    return false;
}

// Inside a paste: everything passes; its end marker ends it once the burst is over.
void FeedPaste(TerminalKeyReader& reader, int byte, std::wstring& keys) {
    static constexpr std::string_view kEnd = "\033[201~";
    if (byte == ESC) CutCharacter(reader, keys);
    if (reader.sequence.empty() && byte != ESC) {
        std::wstring decoded;
        Decode(reader, static_cast<unsigned char>(byte), decoded);
        if (!reader.pasteSpoiled) keys += decoded;
        return;
    }
    std::string& sequence = reader.sequence;
    sequence += static_cast<char>(byte);
    // The editor's own question may be answered in the middle of a paste: taken, and the paste goes on.
    const bool report = reader.awaitsPosition && sequence.compare(0, 2, "\033[") == 0 &&
                        std::all_of(sequence.begin() + 2, sequence.end() - (sequence.back() == 'R'),
                                    [](char c) { return IsDigit(c) || c == ';'; });
    if (report && sequence.back() == 'R') {
        TakePositionReport(reader, std::exchange(sequence, {}));
        return;
    }
    if (kEnd.compare(0, sequence.size(), sequence) == 0 || report) {
        if (sequence == kEnd) {
            sequence.clear();
            reader.inPaste = false;
            reader.pasteEnding = true;
        }
        return;
    }
    // An Escape of the paste's own: none of it reaches the editor, which could take it for a
    // marker. The last byte is read anew.
    reader.sequence.clear();
    reader.pasteSpoiled = true;
    FeedPaste(reader, byte, keys);
}

bool FeedAfterEscape(TerminalKeyReader& reader, int byte, std::wstring& keys);
bool FeedCharacter(TerminalKeyReader& reader, wchar_t c, std::wstring& keys);

// A control string's characters go; BEL, ESC \ and ST end it, CAN and SUB cancel it, and an
// Escape followed by anything else, or another C1 control, ends it and begins what it begins.
bool FeedString(TerminalKeyReader& reader, int byte, std::wstring& keys) {
    std::wstring decoded;
    Decode(reader, static_cast<unsigned char>(byte), decoded);
    bool bell = false;
    for (const wchar_t c : decoded) {
        if (!reader.inString) {  // ended by a character before this one
            bell = FeedCharacter(reader, c, keys) || bell;
        } else if (std::exchange(reader.stringEscape, false)) {
            reader.inString = false;
            if (c == L'\\') continue;
            if (c >= 0x80) {  // Alt with a character cuts the string: neither is a key
                bell = true;
                continue;
            }
            reader.sequence = ESC;
            bell = FeedAfterEscape(reader, static_cast<int>(c), keys) || bell;
        } else if (c == ESC) {
            reader.stringEscape = true;
        } else if (c == 0x07 || c == 0x18 || c == 0x1A || (c >= 0x80 && c <= 0x9F)) {
            reader.inString = false;
            if (c >= 0x80 && c != 0x9C) bell = FeedCharacter(reader, c, keys) || bell;
        }
    }
    return bell;
}

// After ESC, or a C1 control standing for ESC and `byte`.
bool FeedAfterEscape(TerminalKeyReader& reader, int byte, std::wstring& keys) {
    if (byte == ESC) {
        reader.alt = true;  // more Escapes than one before a key make one Alt
        return false;
    }
    if (byte == '[' || byte == 'O' || IsIntermediate(byte)) {
        reader.sequence += static_cast<char>(byte);
        return false;
    }
    if (byte != 0 && std::strchr("]PX^_", byte) != nullptr) {  // OSC, DCS, SOS, PM, APC
        reader.sequence.clear();
        reader.alt = false;
        reader.inString = true;
        return false;
    }
    // Escape, then a key: Alt+key to the editor; with a character past ASCII, the character; with
    // Enter, Enter (an Escape let go before it); with NUL (Alt+Ctrl+Space), nothing.
    reader.alt = false;
    reader.sequence.clear();
    if (byte == 0) return true;
    if (byte < 0x80 && byte != '\r' && byte != '\n') keys += static_cast<wchar_t>(ESC);
    return FeedTerminalByte(reader, byte, keys);
}

// One character outside any sequence, with C1 controls read as their Escape forms.
bool FeedCharacter(TerminalKeyReader& reader, wchar_t c, std::wstring& keys) {
    if (c == ESC) {
        reader.sequence = ESC;
    } else if (c >= 0x80 && c <= 0x9F) {
        // CSI, SS3 and the strings begin as their Escape forms; ST alone goes; the rest ring.
        const int form = static_cast<int>(c) - 0x40;
        reader.sequence = ESC;
        const bool bell = std::strchr("[O]PX^_", form) != nullptr && FeedAfterEscape(reader, form, keys);
        if (std::strchr("[O", form) == nullptr) reader.sequence.clear();
        return bell || std::strchr("[O]PX^_\\", form) == nullptr;
    } else if (c != 0) {  // NUL (Ctrl+Space) does nothing
        keys += c;
    }
    return false;
}

bool FeedGround(TerminalKeyReader& reader, int byte, std::wstring& keys) {
    std::wstring decoded;
    Decode(reader, static_cast<unsigned char>(byte), decoded);
    bool bell = false;
    for (const wchar_t c : decoded) bell = FeedCharacter(reader, c, keys) || bell;
    return bell;
}

}  // namespace

namespace {

bool FeedByte(TerminalKeyReader& reader, int byte, std::wstring& keys) {
    if (byte == NO_MORE_BYTES) {
        if (std::exchange(reader.swallowing, false)) return false;
        if (std::exchange(reader.pasteEnding, false)) {
            keys += std::exchange(reader.pasteSpoiled, false) ? editor_keys::PASTE_DROPPED : editor_keys::PASTE_END;
            return false;
        }
        // What stalled rings now, and waits as long again for its tail, which then goes with it.
        const bool begun = reader.inString || reader.skip > 0 || (!reader.sequence.empty() && !EscapeAlone(reader.sequence));
        if (begun && !reader.inPaste && !std::exchange(reader.stalled, true)) return true;
        // A paste that stalls before its end goes whole; the editor rings for it.
        if (reader.inPaste) keys += editor_keys::PASTE_DROPPED;
        if (reader.stalled || reader.inPaste) reader.character.clear();
        CutCharacter(reader, keys);
        const std::string held = std::exchange(reader.sequence, {});
        const bool quiet = std::exchange(reader.inPaste, false) || std::exchange(reader.stalled, false);
        reader.pasteSpoiled = false;
        reader.alt = reader.inString = reader.stringEscape = reader.skipLead = false;
        reader.skip = 0;
        if (!quiet && EscapeAlone(held)) {
            for (char c : held) keys += static_cast<wchar_t>(c);  // a lone Escape, or Alt with a key
        }
        return false;
    }
    if (reader.swallowing) return false;
    if (std::exchange(reader.pasteEnding, false)) {
        // More bytes with the paste's end: its own text held the end marker. All of it goes, and
        // the editor rings for it.
        keys += editor_keys::PASTE_DROPPED;
        reader.swallowing = true;
        reader.pasteSpoiled = false;
        return false;
    }
    if (reader.inPaste) {
        FeedPaste(reader, byte, keys);
        return false;
    }
    if (std::exchange(reader.skipLead, false) && (byte & 0xC0) == 0x80) return false;  // its second byte
    if (reader.skip > 0) {
        --reader.skip;
        reader.skipLead = byte >= 0xC2 && byte <= 0xDF;  // xterm's UTF-8 mouse mode: past column 95, two bytes
        return false;
    }
    if (reader.inString) return FeedString(reader, byte, keys);
    std::string& sequence = reader.sequence;
    if (sequence.empty()) return FeedGround(reader, byte, keys);
    if (sequence.size() == 1) return FeedAfterEscape(reader, byte, keys);
    // A control inside a sequence is done as typed and the sequence goes on; DEL is ignored; CAN
    // and SUB cancel it, and an Escape begins another.
    if ((byte < 0x20 && byte != ESC && byte != 0x18 && byte != 0x1A) || byte == 0x7F) {
        if (byte != 0x7F) FeedGround(reader, byte, keys);
        return false;
    }
    if (byte == 0x18 || byte == 0x1A) {
        sequence.clear();
        reader.alt = false;
        return !reader.stalled;
    }
    if (IsIntermediate(sequence[1])) {
        // ESC, intermediates, a final byte (ESC # 8, ESC ( B, ESC SP F): no key. Anything else
        // after them, or nothing within a lone Escape's wait, and they were Alt with a key.
        if (IsIntermediate(byte) && sequence.size() < kLongestSequence) {
            sequence += static_cast<char>(byte);
            return false;
        }
        const std::string held = std::exchange(sequence, {});
        reader.alt = false;
        if (IsParameter(byte) || IsFinal(byte)) return false;
        for (char c : held) keys += static_cast<wchar_t>(c);
        return FeedTerminalByte(reader, byte, keys);
    }
    const bool csi = sequence[1] == '[';
    const char last = sequence.back();
    // The Linux console's F1-F5: "[" after ESC [ takes exactly one more byte, a final one.
    if (csi && sequence.size() == 2 && byte == '[') {
        sequence += '[';
        return false;
    }
    // An X10 mouse report: ESC [ M and three coordinates.
    if (csi && sequence.size() == 2 && byte == 'M') {
        sequence.clear();
        reader.alt = false;
        reader.skip = 3;
        return false;
    }
    // "$" ends rxvt's Shift forms (ESC [ 2 $), digits before it; elsewhere it is an intermediate.
    const bool rxvtShift = csi && byte == '$' && sequence.size() > 2 &&
                           std::all_of(sequence.begin() + 2, sequence.end(), [](char c) { return IsDigit(c); });
    if (IsFinal(byte) || rxvtShift) {
        sequence += static_cast<char>(byte);
        return FinishSequence(reader, keys);
    }
    // A parameter byte after an intermediate makes a CSI no key, read to its end all the same.
    if (sequence != "\033[[" && ((IsParameter(byte) && (csi || !IsIntermediate(last))) || (csi && IsIntermediate(byte)))) {
        // "?" makes an overlong sequence no key; it is read to its end all the same.
        if (sequence.size() >= kLongestSequence) sequence.replace(2, std::string::npos, "?");
        sequence += static_cast<char>(byte);
        return false;
    }
    // No sequence of the grammar: dropped, and the byte read anew.
    const bool rung = reader.stalled;
    sequence.clear();
    reader.alt = false;
    FeedTerminalByte(reader, byte, keys);
    return !rung;
}

}  // namespace

bool FeedTerminalByte(TerminalKeyReader& reader, int byte, std::wstring& keys) {
    const bool bell = FeedByte(reader, byte, keys);
    // A stalled sequence, string or report whose tail has come, or been cut off: over.
    if (reader.sequence.empty() && !reader.inString && reader.skip == 0 && !reader.skipLead) reader.stalled = false;
    return bell;
}

int TerminalKeyWait(const TerminalKeyReader& reader) {
    if (reader.pasteEnding || reader.swallowing) return TERMINAL_PASTE_SETTLE_MS;
    if (reader.sequence.size() > 1 && EscapeAlone(reader.sequence) && !reader.inPaste) return TERMINAL_ESCAPE_WAIT_MS;
    const bool begun = reader.inPaste || reader.inString || reader.skip > 0 || !reader.sequence.empty() ||
                       !reader.character.empty();
    return begun ? TERMINAL_SLOW_LINK_WAIT_MS : -1;
}
