#include "platform/path_completion.h"

#include <algorithm>

namespace {

std::size_t NameStart(const std::string& typed) {
    const std::size_t cut = typed.find_last_of("/\\");
    return cut == std::string::npos ? 0 : cut + 1;
}

// How many of the `length` bytes of `text` after `from` make whole UTF-8 characters.
std::size_t WholeCharacters(const std::string& text, std::size_t from, std::size_t length) {
    std::size_t whole = 0;
    while (whole < length) {
        const unsigned char lead = static_cast<unsigned char>(text[from + whole]);
        const std::size_t size = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (whole + size > length) break;
        whole += size;
    }
    return whole;
}

// True when the program reads the name back as typed: "\\" separates, control characters (C1
// included) cannot be typed, U+FFFD stands for a byte that is no UTF-8 and refuses the line,
// and blanks after a line are dropped.
bool Reachable(const std::string& name) {
    for (std::size_t at = 0; at < name.size();) {
        const auto lead = static_cast<unsigned char>(name[at]);
        const std::size_t size = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xF4 ? (lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2) : 0;
        unsigned long c = size == 1 ? lead : lead & (0x7F >> size);
        for (std::size_t i = 1; i < size; ++i) {
            const auto byte = static_cast<unsigned char>(name[at + i]);  // [size()] is a zero byte
            if ((byte & 0xC0) != 0x80) return false;
            c = c << 6 | (byte & 0x3F);
        }
        const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
        // A byte that is no UTF-8, an overlong form, a surrogate, a value past U+10FFFF.
        if (size == 0 || c < least[size] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c == '\\' || c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFD) return false;
        at += size;
    }
    return !name.empty() && name.back() != ' ';
}

}  // namespace

std::string CompletionFolder(const std::string& typed) {
    std::string folder = typed.substr(0, NameStart(typed));
    std::replace(folder.begin(), folder.end(), '\\', '/');
    return folder.empty() ? "./" : folder;
}

PathCompletion CompletePath(const std::string& typed, const std::vector<FolderEntry>& entries) {
    const std::string start = typed.substr(NameStart(typed));
    std::vector<const FolderEntry*> matches;
    for (const FolderEntry& entry : entries) {
        const std::string& name = entry.name;
        if (!Reachable(name) || name == "." || name == ".." || (name[0] == '.' && start.empty())) continue;
        if (name.compare(0, start.size(), start) == 0) matches.push_back(&entry);
    }
    PathCompletion completion;
    if (matches.empty()) return completion;
    const std::string& first = matches[0]->name;
    std::size_t common = first.size();
    for (const FolderEntry* match : matches) {
        std::size_t same = 0;
        while (same < common && same < match->name.size() && match->name[same] == first[same]) ++same;
        common = same;
    }
    completion.insert = first.substr(start.size(), WholeCharacters(first, start.size(), common - start.size()));
    if (matches.size() == 1 && matches[0]->folder) completion.insert += '/';
    if (completion.insert.empty() && matches.size() > 1) {
        for (const FolderEntry* match : matches) completion.listed.push_back(match->name);
        std::sort(completion.listed.begin(), completion.listed.end());
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
