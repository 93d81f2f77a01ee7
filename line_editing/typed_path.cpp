#include "line_editing/typed_path.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSeparator(char c) { return c == '/' || c == '\\'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Where a URI's path begins after "scheme://" at `at` (a letter, then letters, digits, "+",
// "-" or ".", two or more in all, so that "C://" stays a drive); 0 where none is.
std::size_t AfterScheme(const std::string& text, std::size_t at = 0) {
    std::size_t end = at;
    while (end < text.size() && (IsLetter(text[end]) || (end > at && (IsDigit(text[end]) ||
                                                                       std::strchr("+-.", text[end]))))) {
        ++end;
    }
    return end - at >= 2 && text.compare(end, 3, "://") == 0 ? end + 3 : 0;
}

std::string Lowered(std::string text) {
    for (char& c : text) c = IsLetter(c) ? static_cast<char>(c | 0x20) : c;
    return text;
}

// "file:/path": the one-slash form of a local file URI that some programs copy.
bool BeginsOneSlashFileUri(const std::string& text, std::size_t at) {
    return Lowered(text.substr(at, 6)) == "file:/" && text.compare(at + 6, 1, "/") != 0;
}

// A separator, a drive letter, or "~/" where "~" stands for the home folder.
bool BeginsAbsolute(const std::string& text, std::size_t at, const TypedPathForms& forms) {
    if (at >= text.size()) return false;
    const bool drive = IsLetter(text[at]) && at + 1 < text.size() && text[at + 1] == ':';
    const bool home = forms.home != nullptr && text[at] == '~' && at + 1 < text.size() && IsSeparator(text[at + 1]);
    return IsSeparator(text[at]) || drive || home;
}

// An absolute path or a URI, perhaps behind a quote.
bool BeginsLikeAPath(const std::string& text, std::size_t at, const TypedPathForms& forms) {
    if (at < text.size() && (text[at] == '\'' || text[at] == '"')) ++at;
    return BeginsAbsolute(text, at, forms) || AfterScheme(text, at) != 0 || BeginsOneSlashFileUri(text, at);
}

// True when line[at] begins a two-byte character of the code page, whose second byte (0x5C
// in 表) is no "\".
bool BeginsTwoBytes(const std::string& line, std::size_t at, unsigned codePage) {
    return at + 1 < line.size() && PlatformIsLeadByte(codePage, static_cast<unsigned char>(line[at]));
}

// True when the line splits, at blanks outside quotes, into two or more words that each begin
// like a path: several dropped files. Shell rules ('...', "...", \x) or double quotes alone.
bool HoldsSeveralPaths(const std::string& line, const TypedPathForms& forms) {
    const bool shellRules = forms.posixShell;
    std::vector<std::size_t> words;
    char quote = 0;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote == 0 && IsBlank(c)) {
            inWord = false;
            continue;
        }
        if (!inWord) words.push_back(i);
        inWord = true;
        if (BeginsTwoBytes(line, i, forms.codePage)) {
            ++i;
        } else if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || (c == '\'' && shellRules)) {
            quote = c;
        } else if (c == '\\' && shellRules) {
            ++i;
        }
    }
    if (words.size() < 2) return false;
    for (std::size_t at : words) {
        if (!BeginsLikeAPath(line, at, forms)) return false;
    }
    return true;
}

// Removes one pair of double quotes around all of `text`, or with `shellQuotes` a POSIX
// shell's single quotes, '\'' standing for a quote inside; true when it did.
bool Unquote(std::string& text, bool shellQuotes) {
    const std::size_t length = text.size();
    if (length >= 2 && text[0] == '"' && text[length - 1] == '"') {
        text = text.substr(1, length - 2);
        return true;
    }
    if (!shellQuotes || length < 2 || text[0] != '\'' || text[length - 1] != '\'') return false;
    // '...' pieces joined by \' (a quote), as 'it'\''s.pcm': unquoted only when all of it is.
    std::string unquoted;
    for (std::size_t at = 1; at < length; ++at) {
        if (text[at] != '\'') {
            unquoted += text[at];
        } else if (at + 1 < length) {
            // \' and a quote that opens the next piece, which its own quote closes.
            if (at + 4 >= length || text.compare(at + 1, 3, "\\''") != 0) return false;
            unquoted += '\'';
            at += 3;
        }
    }
    text = unquoted;
    return true;
}

// WezTerm's form: each "\ " a blank, where every "\" stands before a blank (a line without
// one is the same either way). False otherwise.
bool UnescapeBlanks(const std::string& escaped, std::string& text, unsigned codePage) {
    std::string unescaped;
    for (std::size_t at = 0; at < escaped.size(); ++at) {
        if (BeginsTwoBytes(escaped, at, codePage)) {
            unescaped += escaped[at++];
        } else if (escaped[at] == '\\') {
            if (at + 1 == escaped.size() || !IsBlank(escaped[at + 1])) return false;
            ++at;
        }
        unescaped += escaped[at];
    }
    text = unescaped;
    return true;
}

// True where text[at] begins a control character: C0, DEL, and under UTF-8 (code page 65001) the
// C1 controls U+0080 to U+009F, bytes C2 80 to C2 9F.
bool ControlAt(const std::string& text, std::size_t at, unsigned codePage) {
    const auto byte = static_cast<unsigned char>(text[at]);
    const auto next = static_cast<unsigned char>(text[at + 1]);  // [size()] is a zero byte
    return byte < 0x20 || byte == 0x7F || (codePage == 65001 && byte == 0xC2 && next >= 0x80 && next <= 0x9F);
}

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A file URI of this machine as its path, %XX decoded; false for a URI to refuse, and for one
// whose escapes give a control character. Text that is no URI stays.
bool FromUri(std::string& text, unsigned codePage) {
    if (BeginsOneSlashFileUri(text, 0)) text.insert(5, "//");
    const std::size_t path = AfterScheme(text);
    if (path == 0) return true;
    std::string rest = text.substr(path);
    if (Lowered(rest.substr(0, 10)) == "localhost/") rest.erase(0, 9);
    // A query or a fragment names no file: terminals and file managers write %3F and %23.
    if (Lowered(text.substr(0, path)) != "file://" || rest.empty() || rest[0] != '/' ||
        rest.find_first_of("?#") != std::string::npos) {
        return false;
    }
    std::string decoded;
    for (std::size_t at = 0; at < rest.size(); ++at) {
        // std::string's [size()] is a zero byte, which is no hex digit.
        const int high = rest[at] == '%' ? HexValue(rest[at + 1]) : -1;
        const int low = high < 0 ? -1 : HexValue(rest[at + 2]);
        if (low < 0) {
            decoded += rest[at];
            continue;
        }
        const char byte = static_cast<char>(high * 16 + low);
        if (byte == '\0' || IsSeparator(byte)) return false;
        decoded += byte;
        at += 2;
    }
    for (std::size_t at = 0; at < decoded.size(); ++at) {
        if (ControlAt(decoded, at, codePage)) return false;
    }
    text = decoded;
    return true;
}

// Every pair of a bracketed paste's markers goes; false where one has no pair (a paste cut
// across lines) or a control character but Tab stays: an arrow key's bytes where no editor reads
// keys, say.
bool DropPasteMarkers(std::string& line, unsigned codePage) {
    static const std::string kMarkers[] = {"\x1b[200~", "\x1b[201~"};
    std::string kept;
    bool inPaste = false;
    for (std::size_t at = 0; at < line.size();) {
        if (line.compare(at, 6, kMarkers[inPaste]) == 0) {
            inPaste = !inPaste;
            at += 6;
            continue;
        }
        if (line[at] != '\t' && ControlAt(line, at, codePage)) return false;
        kept += line[at++];
    }
    line = kept;
    return !inPaste;
}

}  // namespace

bool InterpretTypedLine(std::string& line, const TypedPathForms& forms) {
    if (!DropPasteMarkers(line, forms.codePage) || HoldsSeveralPaths(line, forms)) return false;
    std::size_t end = line.size();
    while (end > 0 && IsBlank(line[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && IsBlank(line[begin])) ++begin;
    if (!BeginsLikeAPath(line, begin, forms) && line[begin] != '\'' && line[begin] != '"') begin = 0;
    // A "\ " may end WezTerm's form: one blank after a final "\" is the name's own.
    std::size_t last = begin;  // where the last character before `end` begins
    for (std::size_t at = begin; at < end; at += BeginsTwoBytes(line, at, forms.codePage) ? 2 : 1) last = at;
    const bool escapedBlankEnds = end > begin && end < line.size() && line[last] == '\\';
    const std::string escaped = line.substr(begin, end + (escapedBlankEnds ? 1 : 0) - begin);
    std::string text = line.substr(begin, end - begin);
    const bool quoted = Unquote(text, forms.posixShell);
    if (forms.posixShell) {
        if (!quoted) UnescapeBlanks(escaped, text, forms.codePage);
        if (!FromUri(text, forms.codePage)) return false;
    }
    if (forms.home != nullptr && !quoted && text.size() >= 2 && text[0] == '~' && IsSeparator(text[1])) {
        std::string home = forms.home;
        if (home.empty() || home[0] != '/') return false;
        while (home.size() > 1 && home.back() == '/') home.pop_back();
        text = (home == "/" ? "" : home) + text.substr(1);
    }
    line = text;
    return true;
}

void InterpretTypedPath(char* path, std::size_t size, const TypedPathForms& forms) {
    std::string line(path);
    if (!InterpretTypedLine(line, forms) || line.size() >= size) line.clear();
    std::memcpy(path, line.c_str(), line.size() + 1);
}
