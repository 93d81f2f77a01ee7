#include "line_editing/path_completion.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "line_editing/typed_path.h"
#include "line_editing/utf8.h"
#include "platform/platform.h"

namespace {

// The byte length of the character at `at`: UTF-8 by its lead byte; in an ANSI code page 2 for a
// lead byte with a byte after it.
std::size_t CharacterLength(const std::string& text, std::size_t at, unsigned codePage) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t size = 1;
    if (codePage == 65001) {
        size = Utf8Length(lead);
    } else if (PlatformIsLeadByte(codePage, lead)) {
        size = 2;
    }
    return std::min(size, text.size() - at);
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Where the path begins in the typed text: after blanks and an opening double quote, which the
// program drops from a line; blanks count only before a quote or an absolute path ("C:", "\\",
// "~/"), as the line rules read them.
std::size_t PathStart(const std::string& typed) {
    const std::size_t at = std::min(typed.find_first_not_of(" \t"), typed.size());
    const char next = at + 1 < typed.size() ? typed[at + 1] : '\0';
    if (at < typed.size() && typed[at] == '"') return at + 1;
    const bool absolute = at < typed.size() && (IsSeparator(typed[at]) || next == ':' || (typed[at] == '~' && IsSeparator(next)));
    return absolute ? at : 0;
}

std::size_t NameStart(const std::string& typed, unsigned codePage) {
    std::size_t start = PathStart(typed);
    for (std::size_t at = start; at < typed.size(); at += CharacterLength(typed, at, codePage)) {
        if (IsSeparator(typed[at])) start = at + 1;
    }
    return start;
}

// A name's characters each with its case folded where the rules fold it: what names compare as.
std::string Folded(const std::string& name, const CompletionRules& rules) {
    if (rules.foldCase == nullptr) return name;
    std::string folded;
    for (std::size_t at = 0, size = 0; at < name.size(); at += size) {
        size = CharacterLength(name, at, rules.codePage);
        folded += rules.foldCase(name.substr(at, size));
    }
    return folded;
}

// How many leading bytes `a` and `b` share in whole characters, letter case aside where the rules
// fold it; characters of other lengths never match.
std::size_t SamePrefix(const std::string& a, const std::string& b, const CompletionRules& rules) {
    std::size_t same = 0;
    while (same < a.size() && same < b.size()) {
        const std::size_t size = CharacterLength(a, same, rules.codePage);
        const std::string ofA = a.substr(same, size), ofB = b.substr(same, CharacterLength(b, same, rules.codePage));
        if (ofA != ofB && (ofA.size() != ofB.size() || rules.foldCase == nullptr || rules.foldCase(ofA) != rules.foldCase(ofB))) break;
        same += size;
    }
    return same;
}

// True when the program reads the name back as typed: "\\" separates, control characters
// cannot be typed, and blanks after a line are dropped; under UTF-8 neither are C1 controls, and
// U+FFFD stands for a byte that is no UTF-8, which refuses the line.
bool Reachable(const std::string& name, const CompletionRules& rules) {
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t size = CharacterLength(name, at, rules.codePage);
        const long c = rules.codePage == 65001 ? Utf8At(name, at, size) : size == 1 ? static_cast<unsigned char>(name[at]) : 0x100;
        if (c < 0x20 || c == '\\' || c == 0x7F || (c >= 0x80 && c <= 0x9F && rules.codePage == 65001) || c == 0xFFFD) {
            return false;
        }
        at += size;
    }
    return !name.empty() && name.back() != ' ';
}

// True where the line rules read `typed` with the name at `nameStart` completed as `name`, and
// `after` it (a folder's separator, a quote's close), as a line that holds that name: as they read
// it with a plain name in its place, whose line they do not refuse.
bool ReadsBack(const std::string& typed, std::size_t nameStart, const std::string& name, const std::string& after,
               const CompletionRules& rules) {
    if (rules.forms == nullptr) return true;
    std::string plain = typed.substr(0, nameStart) + "a" + after;
    std::string named = typed.substr(0, nameStart) + name + after;
    if (!InterpretTypedLine(plain, *rules.forms)) return true;  // refused whatever the name
    const std::size_t tail = after.size() == 1 && after[0] == rules.separator ? 1 : 0;  // a quote goes
    const std::size_t at = plain.size() - 1 - tail;
    return InterpretTypedLine(named, *rules.forms) && plain[at] == 'a' &&
           named == plain.substr(0, at) + name + plain.substr(at + 1);
}

}  // namespace

std::string CompletionFolder(const std::string& typed, const CompletionRules& rules) {
    const std::size_t path = PathStart(typed);
    const std::size_t start = NameStart(typed, rules.codePage);
    const bool drive = typed.size() >= path + 2 && typed[path + 1] == ':';
    if (rules.separator == '\\') return typed.substr(path, (start == path && drive ? path + 2 : start) - path);
    std::string folder = typed.substr(path, start - path);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    return folder.empty() ? "./" : folder;
}

PathCompletion CompletePath(const std::string& typed, const std::vector<FolderEntry>& entries,
                            const CompletionRules& rules) {
    const std::size_t path = PathStart(typed);
    const std::size_t nameStart = NameStart(typed, rules.codePage);
    const bool drive = rules.separator == '\\' && nameStart == path && typed.size() >= path + 2 && typed[path + 1] == ':';
    const std::string start = typed.substr(drive ? path + 2 : nameStart);
    const bool quoted = path > 0 && typed[path - 1] == '"';
    const std::string closing = quoted ? "\"" : "";
    std::vector<const FolderEntry*> matches;
    for (const FolderEntry& entry : entries) {
        const std::string& name = entry.name;
        if (!Reachable(name, rules) || name == "." || name == ".." || (name[0] == '.' && start.empty())) continue;
        if (SamePrefix(name, start, rules) == start.size() &&
            ReadsBack(typed, typed.size() - start.size(), name, entry.folder ? std::string(1, rules.separator) : closing, rules)) {
            matches.push_back(&entry);
        }
    }
    PathCompletion completion;
    if (matches.empty()) return completion;
    const std::string& first = matches[0]->name;
    std::size_t common = first.size();
    for (const FolderEntry* match : matches) common = std::min(common, SamePrefix(first, match->name, rules));
    completion.insert = first.substr(start.size(), common - start.size());
    if (matches.size() == 1) completion.insert += matches[0]->folder ? std::string(1, rules.separator) : closing;
    if (completion.insert.empty() && matches.size() > 1) {
        for (const FolderEntry* match : matches) completion.listed.push_back(match->name);
        // Sorted as the rules compare names: where letter case does not count, neither for the order.
        std::sort(completion.listed.begin(), completion.listed.end(),
                  [&](const std::string& a, const std::string& b) { return Folded(a, rules) < Folded(b, rules); });
    }
    return completion;
}

std::size_t Utf8Columns(const std::string& text) {
    // East Asian Wide and Fullwidth, as terminals and consoles draw them.
    static const std::pair<long, long> kWide[] = {
        {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE10, 0xFE19},
        {0xFE30, 0xFE6F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};
    std::size_t columns = 0;
    for (std::size_t at = 0, size = 0; at < text.size(); at += size) {
        size = std::min<std::size_t>(Utf8Length(static_cast<unsigned char>(text[at])), text.size() - at);
        const long c = Utf8At(text, at, size);
        columns += std::any_of(std::begin(kWide), std::end(kWide), [c](const auto& r) { return c >= r.first && c <= r.second; }) ? 2 : 1;
    }
    return columns;
}

std::vector<std::string> ListingRows(const std::vector<std::string>& names,
                                     const std::vector<std::size_t>& widths, std::size_t width) {
    std::size_t column = 0;
    for (const std::size_t w : widths) column = std::max(column, w + 2);
    const std::size_t columns = std::max<std::size_t>(1, std::min(names.size(), (width + 2) / std::max<std::size_t>(column, 1)));
    const std::size_t rows = (names.size() + columns - 1) / columns;
    std::vector<std::string> lines(rows);
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string& line = lines[i % rows];
        line += names[i];
        if (i + rows < names.size()) line.append(column - widths[i], ' ');
    }
    return lines;
}
