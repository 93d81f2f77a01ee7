#pragma once
// Tab completion of a typed path, the way the program reads paths: the text before the cursor
// is one path, blanks included, "\\" separates like "/", nothing is escaped. Pure, for a POSIX
// terminal and a Windows console alike: the line reader lists the folder (ListFolder) and
// applies the result.

#include <string>
#include <vector>

#include "platform/platform.h"

// How a system's names complete.
struct CompletionRules {
    char separator;     // added after a folder's name: '/' on POSIX, '\\' on Windows
    // Where letter case does not count (Windows): a character's form with its case folded, as the
    // file system compares names (Д and д, Ａ and ａ alike); nullptr where case counts. The text
    // added takes the name's own case.
    std::string (*foldCase)(const std::string& character);
    unsigned codePage;  // of the typed text and the names: 65001 (UTF-8) or a Windows ANSI code
                        // page, whose lead bytes take the byte after them, 0x5C included
    // How the system's terminals write typed paths, to read completed lines back by the line rules
    // (InterpretTypedLine); nullptr: not read back.
    const TypedPathForms* forms = nullptr;
};

// The typed path begins after blanks and an opening double quote that the program drops from a line
// (a dropped or pasted path), where blanks stand before a quote or an absolute path.

// The folder whose names complete `typed`: the part up to its last separator (POSIX: with "/"
// separators, "./" for a bare name; Windows: as typed, a drive's "C:" included).
std::string CompletionFolder(const std::string& typed, const CompletionRules& rules);

struct FolderEntry {
    std::string name;
    bool folder;
};

// The names in `folder` (as CompletionFolder gives it), in the typed text's code page; a name
// the code page cannot hold is left out. Empty where the folder cannot be listed. Each system's
// line reading defines it.
std::vector<FolderEntry> ListFolder(const std::string& folder);

// What Tab does. Both empty: no name matches, or one is typed whole (a beep).
struct PathCompletion {
    std::string insert;               // added at the cursor: whole characters, the separator after a
                                      // folder, the closing quote after a file where one was opened
    std::vector<std::string> listed;  // shown, sorted: several names match and nothing can be added
};

// Completes the name after the last separator of `typed` among `entries`, the names of its
// folder. Names that begin with a dot count only once a dot is typed. Names the program could
// not take as typed are never offered: with a "\\" (a separator to it), a control character, a
// blank at the end (dropped from typed lines), under UTF-8 a C1 control, U+FFFD or a byte that is
// no UTF-8, and any the line rules would read otherwise in the completed line (a folder "a ~"
// makes it two dropped files, a name in quotes loses them, %20 in a file URI becomes a blank).
PathCompletion CompletePath(const std::string& typed, const std::vector<FolderEntry>& entries,
                            const CompletionRules& rules);

// The display columns of UTF-8 text: two for each wide or full-width character, one for others.
std::size_t Utf8Columns(const std::string& text);

// Names in rows of columns that fit `width` display columns, down each column first, as ls
// writes them; `widths` holds each name's display width.
std::vector<std::string> ListingRows(const std::vector<std::string>& names,
                                     const std::vector<std::size_t>& widths, std::size_t width);
