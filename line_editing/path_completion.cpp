#include "line_editing/path_completion.h"

#include <algorithm>

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

std::size_t NameStart(const std::string& typed, unsigned codePage) {
    std::size_t start = 0;
    for (std::size_t at = 0; at < typed.size(); at += CharacterLength(typed, at, codePage)) {
        if (typed[at] == '/' || typed[at] == '\\') start = at + 1;
    }
    return start;
}

char Folded(char c, bool ignoreCase) { return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; }

// How many leading bytes `a` and `b` share in whole characters, letter case aside where the rules say.
std::size_t SamePrefix(const std::string& a, const std::string& b, const CompletionRules& rules) {
    std::size_t same = 0;
    while (same < a.size() && same < b.size()) {
        const std::size_t size = CharacterLength(a, same, rules.codePage);
        if (same + size > b.size()) break;
        for (std::size_t i = same; i < same + size; ++i) {
            if (Folded(a[i], rules.ignoreCase && size == 1) != Folded(b[i], rules.ignoreCase && size == 1)) return same;
        }
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

}  // namespace

std::string CompletionFolder(const std::string& typed, const CompletionRules& rules) {
    std::size_t start = NameStart(typed, rules.codePage);
    const bool drive = typed.size() >= 2 && typed[1] == ':';
    if (rules.separator == '\\') return typed.substr(0, start == 0 && drive ? 2 : start);
    std::string folder = typed.substr(0, start);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    return folder.empty() ? "./" : folder;
}

PathCompletion CompletePath(const std::string& typed, const std::vector<FolderEntry>& entries,
                            const CompletionRules& rules) {
    const std::size_t nameStart = NameStart(typed, rules.codePage);
    const bool drive = rules.separator == '\\' && nameStart == 0 && typed.size() >= 2 && typed[1] == ':';
    const std::string start = typed.substr(drive ? 2 : nameStart);
    std::vector<const FolderEntry*> matches;
    for (const FolderEntry& entry : entries) {
        const std::string& name = entry.name;
        if (!Reachable(name, rules) || name == "." || name == ".." || (name[0] == '.' && start.empty())) continue;
        if (SamePrefix(name, start, rules) == start.size()) matches.push_back(&entry);
    }
    PathCompletion completion;
    if (matches.empty()) return completion;
    const std::string& first = matches[0]->name;
    std::size_t common = first.size();
    for (const FolderEntry* match : matches) common = std::min(common, SamePrefix(first, match->name, rules));
    completion.insert = first.substr(start.size(), common - start.size());
    if (matches.size() == 1 && matches[0]->folder) completion.insert += rules.separator;
    if (completion.insert.empty() && matches.size() > 1) {
        for (const FolderEntry* match : matches) completion.listed.push_back(match->name);
        // Sorted as the rules compare names: where letter case does not count, neither for the order.
        auto key = [&](std::string name) {
            for (std::size_t at = 0; at < name.size(); at += CharacterLength(name, at, rules.codePage)) {
                if (CharacterLength(name, at, rules.codePage) == 1) name[at] = Folded(name[at], rules.ignoreCase);
            }
            return name;
        };
        std::sort(completion.listed.begin(), completion.listed.end(),
                  [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
    }
    return completion;
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
