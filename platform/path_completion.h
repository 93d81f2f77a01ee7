#pragma once
// Tab completion of a typed path, the way the program reads paths: the text before the cursor
// is one path, blanks included, "\\" separates like "/", nothing is escaped. Pure: the line
// editor lists the folder and applies the result. Portable: no OS header.

#include <string>
#include <vector>

// The folder whose names complete `typed`, with "/" separators: the part up to its last
// separator, or "./" for a bare name.
std::string CompletionFolder(const std::string& typed);

struct FolderEntry {
    std::string name;
    bool folder;
};

// What Tab does. Both empty: no name matches, or one is typed whole (a beep).
struct PathCompletion {
    std::string insert;               // added at the cursor: whole UTF-8 characters, "/" after a folder
    std::vector<std::string> listed;  // shown, sorted: several names match and nothing can be added
};

// Completes the name after the last separator of `typed` among `entries`, the names of its
// folder. Names that begin with a dot count only once a dot is typed. Names the program could
// not open as typed are never offered: with a "\\" (a separator to it), a control character,
// or a blank at the end (dropped from typed lines).
PathCompletion CompletePath(const std::string& typed, const std::vector<FolderEntry>& entries);

// Names in rows of columns that fit `width` display columns, down each column first, as ls
// writes them; `widths` holds each name's display width.
std::vector<std::string> ListingRows(const std::vector<std::string>& names,
                                     const std::vector<std::size_t>& widths, std::size_t width);
