#include "platform/terminal_keys.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr char ESC = '\033';
constexpr wchar_t REPLACEMENT = 0xFFFD;
// No key a terminal sends is longer: a longer one is read to its end as no key at all.
constexpr std::size_t kLongestSequence = 32;

bool IsDigit(int byte) { return byte >= '0' && byte <= '9'; }
bool IsParameter(int byte) { return byte >= 0x30 && byte <= 0x3F; }
bool IsIntermediate(int byte) { return byte >= 0x20 && byte <= 0x2F; }
bool IsFinal(int byte) { return byte >= 0x40 && byte <= 0x7E; }

// A character begun and not finished: U+FFFD in its place.
void CutCharacter(TerminalKeyReader& reader, std::wstring& keys) {
    if (!reader.character.empty()) keys += REPLACEMENT;
    reader.character.clear();
}

// UTF-8 decoded; U+FFFD for a byte that begins no character, an overlong form, a surrogate, or
// a value past U+10FFFF.
void FeedText(TerminalKeyReader& reader, unsigned char byte, std::wstring& keys) {
    if (!reader.character.empty() && (byte & 0xC0) == 0x80) {
        reader.character += static_cast<char>(byte);
        const auto lead = static_cast<unsigned char>(reader.character[0]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (reader.character.size() < length) return;
        unsigned long value = lead & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) value = value << 6 | (reader.character[i] & 0x3F);
        const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
        const bool valid = value >= least[length] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
        keys += valid ? static_cast<wchar_t>(value) : REPLACEMENT;
        reader.character.clear();
        return;
    }
    CutCharacter(reader, keys);
    if (byte < 0x80) {
        keys += static_cast<wchar_t>(byte);
    } else if (byte >= 0xC2 && byte <= 0xF4) {
        reader.character = static_cast<char>(byte);
    } else {
        keys += REPLACEMENT;
    }
}

// The key a whole sequence stands for, or nullptr for one the editor does not act on. Its
// parameters are a key number and the modifiers plus one (Shift 1, Alt 2, Ctrl 4, Meta 8).
const std::wstring* KeyOf(const std::string& sequence) {
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
            return nullptr;  // "[" of the Linux console's F1-F5, private forms, intermediates
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
        const std::wstring* plain[] = {&UP, &DOWN, &RIGHT, &LEFT};
        const std::wstring* word[] = {nullptr, nullptr, &WORD_RIGHT, &WORD_LEFT};
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

bool FinishSequence(TerminalKeyReader& reader, std::wstring& keys) {
    using namespace editor_keys;
    const std::string sequence = std::exchange(reader.sequence, {});
    const std::wstring* key = KeyOf(sequence);
    // Escape before a sequence is rxvt's Alt: Alt+Left and Alt+Right move by word.
    if (std::exchange(reader.alt, false)) {
        key = key == &LEFT ? &WORD_LEFT : key == &RIGHT ? &WORD_RIGHT : key == &UP || key == &DOWN ? nullptr : key;
    }
    if (key == nullptr) return sequence != "\033[201~";  // the end of no paste: dropped quietly
    reader.inPaste = key == &PASTE_START;
    keys += *key;
    return false;
}

// Inside a paste: everything passes, its end marker ends it.
bool FeedPaste(TerminalKeyReader& reader, int byte, std::wstring& keys) {
    static const std::string kEnd(editor_keys::PASTE_END.begin(), editor_keys::PASTE_END.end());
    if (byte == ESC) CutCharacter(reader, keys);
    if (reader.sequence.empty() && byte != ESC) {
        FeedText(reader, static_cast<unsigned char>(byte), keys);
        return false;
    }
    reader.sequence += static_cast<char>(byte);
    if (kEnd.compare(0, reader.sequence.size(), reader.sequence) == 0) {
        if (reader.sequence == kEnd) {
            keys += editor_keys::PASTE_END;
            reader.sequence.clear();
            reader.inPaste = false;
        }
        return false;
    }
    // Not the end marker: the bytes are the paste's own, the last one read anew.
    std::string held = std::exchange(reader.sequence, {});
    held.pop_back();
    for (char c : held) keys += static_cast<wchar_t>(c);
    return FeedPaste(reader, byte, keys);
}

}  // namespace

bool FeedTerminalByte(TerminalKeyReader& reader, int byte, std::wstring& keys) {
    if (byte == NO_MORE_BYTES) {
        CutCharacter(reader, keys);
        const std::string held = std::exchange(reader.sequence, {});
        reader.alt = false;
        if (reader.inPaste || held == "\033") {
            for (char c : held) keys += static_cast<wchar_t>(c);  // a lone Escape is a key
            return false;
        }
        return !held.empty();  // a sequence cut short
    }
    if (reader.inPaste) return FeedPaste(reader, byte, keys);
    std::string& sequence = reader.sequence;
    if (sequence.empty()) {
        if (byte == ESC) {
            CutCharacter(reader, keys);
            sequence = ESC;
        } else {
            FeedText(reader, static_cast<unsigned char>(byte), keys);
        }
        return false;
    }
    if (sequence.size() == 1) {
        if (byte == ESC) {
            reader.alt = true;  // more Escapes than one before a key make one Alt
            return false;
        }
        if (byte == '[' || byte == 'O') {
            sequence += static_cast<char>(byte);
            return false;
        }
        // Escape, then a key: Alt+key to the editor.
        reader.alt = false;
        keys += static_cast<wchar_t>(ESC);
        sequence.clear();
        return FeedTerminalByte(reader, byte, keys);
    }
    const bool csi = sequence[1] == '[';
    const char last = sequence.back();
    // The Linux console's F1-F5: "[" after ESC [ takes exactly one more byte, a final one.
    if (csi && sequence.size() == 2 && byte == '[') {
        sequence += '[';
        return false;
    }
    if (IsFinal(byte) || (csi && byte == '$' && IsDigit(last))) {
        sequence += static_cast<char>(byte);
        return FinishSequence(reader, keys);
    }
    if (sequence != "\033[[" && ((IsParameter(byte) && !IsIntermediate(last)) || (csi && IsIntermediate(byte)))) {
        // "?" makes an overlong sequence no key; it is read to its end all the same.
        if (sequence.size() >= kLongestSequence) sequence.replace(2, std::string::npos, "?");
        sequence += static_cast<char>(byte);
        return false;
    }
    // No sequence of the grammar: dropped, and the byte read anew.
    sequence.clear();
    reader.alt = false;
    FeedTerminalByte(reader, byte, keys);
    return true;
}
