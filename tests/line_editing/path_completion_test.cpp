#include "line_editing/path_completion.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

struct Completion {
    const char* typed;
    const char* listedFolder;
    const char* insert;
    std::vector<std::string> listed;
};

void ExpectCompletions(const std::vector<FolderEntry>& folder, const CompletionRules& rules,
                       const std::vector<Completion>& cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(CompletionFolder(c.typed, rules), c.listedFolder) << c.typed;
        const PathCompletion got = CompletePath(c.typed, folder, rules);
        EXPECT_EQ(got.insert, c.insert) << c.typed;
        EXPECT_EQ(got.listed, c.listed) << c.typed;
    }
}

TEST(CompletePath, FromTheTypedPathAndTheNamesOfItsFolder) {
    const std::vector<FolderEntry> folder = {
        {"in.pcm", false}, {"sp 表", true}, {"表示.pcm", false}, {"表紙.pcm", false}, {".hidden", false},
        {"a1.pcm", false}, {"a2.pcm", false}, {".", true}, {"..", true},
        // Never offered: the program reads "\\" as a separator and drops a final blank; a control
        // character (C1 too), U+FFFD and a byte that is no UTF-8 cannot be typed at the editor.
        {"in\\x.pcm", false}, {"in.pcm ", false}, {"in\x1b.pcm", false}, {"in\xc2\x9b.pcm", false},
        {"in\xef\xbf\xbd.pcm", false}, {"in\xe9.pcm", false}, {"in\xe8\xa1.pcm", false}, {"in\xe8\xa1", false}};
    ExpectCompletions(folder, {'/', nullptr, 65001}, {
        {"/d/i", "/d/", "n.pcm", {}},                   // one file
        {"/d/s", "/d/", "p 表/", {}},                   // one folder gets "/"
        {"/d/sp 表", "/d/", "/", {}},                   // a folder typed whole
        {"C:\\d\\i", "C:/d/", "n.pcm", {}},            // "\" separates
        {"d\\x/sp", "d/x/", " 表/", {}},
        {"/d/表", "/d/", "", {"表示.pcm", "表紙.pcm"}},  // common "表" and half of 示 and 紙: nothing added
        {"/d/", "/d/", "", {"a1.pcm", "a2.pcm", "in.pcm", "sp 表", "表示.pcm", "表紙.pcm"}},  // no dot-names
        {"/d/.", "/d/", "hidden", {}},                  // dot-names once a dot is typed
        {"/d/a", "/d/", "", {"a1.pcm", "a2.pcm"}},      // several names, nothing to add: listed
        {"in.pcm", "./", "", {}},                       // typed whole: nothing to add, nothing to list
        {"/d/x", "/d/", "", {}},                        // no name: a beep
        {"  \"/d/i", "/d/", "n.pcm\"", {}},              // after blanks and a quote, which a file closes
        {" /d/sp", "/d/", " 表/", {}},                   // blanks before an absolute path go
        {" i", "./", "", {}},                            // before a name they are its own
    });
    // Read back by a POSIX terminal's line rules: never "a ~" (two dropped files), a name in quotes alone.
    const TypedPathForms forms = {true, "/home/u", 65001};
    ExpectCompletions({{"a ~", true}, {"\"q.pcm\"", false}, {"b c", true}}, {'/', nullptr, 65001, &forms},
                      {{"/d/a", "/d/", "", {}}, {"", "./", "", {"a ~", "b c"}}, {"/d/b", "/d/", " c/", {}}});
}

// A Windows console: names in the ANSI code page (932 here), letter case aside, "\\" after a
// folder, the folder as typed; the second byte 0x5C of 表 separates nothing.
TEST(CompletePath, WindowsRules) {
    const std::vector<FolderEntry> folder = {{"Sound", true}, {"\x95\x5C.wav", false}, {"\x95\x5C\x8E\xA6", false},
                                             {"abc1.WAV", false}, {"ABc2.wav", false}, {"x\x01", false}};
    const auto fold = [](const std::string& c) { return c.size() == 1 ? std::string(1, static_cast<char>(std::toupper(c[0]))) : c; };
    ExpectCompletions(folder, {'\\', fold, 932}, {
        {"C:\\d\\s", "C:\\d\\", "ound\\", {}},  // the name's own case, then "\\"
        {"C:so", "C:", "und\\", {}},                   // a drive's current folder
        {"\x95\x5C.", "", "wav", {}},                   // 表 typed whole, no separator in it
        {"d\\a", "d\\", "bc", {}},                   // a common prefix, its case from the first name
        {"d\\ABC", "d\\", "", {"abc1.WAV", "ABc2.wav"}},
        {"d\\x", "d\\", "", {}},                     // a control character: never offered
        {" \"C:so", "C:", "und\\", {}},                // a drive after a blank and a quote
    });
}

// Down each column first, two blanks between columns, as many columns as fit; 表 is two wide.
TEST(ListingRows, ColumnsThatFitTheTerminal) {
    const std::vector<std::string> names = {"a", "bb", "表", "d", "e"};
    const std::vector<std::size_t> widths = {1, 2, 2, 1, 1};
    EXPECT_EQ(ListingRows(names, widths, 9), (std::vector<std::string>{"a   d", "bb  e", "表"}));
    EXPECT_EQ(ListingRows(names, widths, 10), (std::vector<std::string>{"a   表  e", "bb  d"}));
    EXPECT_EQ(ListingRows(names, widths, 3), names);
    // A console under UTF-8 counts UTF-16 units: the columns are counted instead.
    EXPECT_EQ(Utf8Columns("a\xE8\xA1\xA8\xEF\xBD\x81\xEF\xBD\xB1\xF0\xA0\x80\x8B"), 8u);  // a, 表, ａ, ｱ, 𠀋
}

}  // namespace
