#include "platform/path_completion.h"

#include <gtest/gtest.h>

namespace {

TEST(CompletePath, FromTheTypedPathAndTheNamesOfItsFolder) {
    const std::vector<FolderEntry> folder = {
        {"in.pcm", false}, {"sp 表", true}, {"表示.pcm", false}, {"表紙.pcm", false}, {".hidden", false},
        {"a1.pcm", false}, {"a2.pcm", false}, {".", true}, {"..", true},
        // Never offered: the program reads "\\" as a separator and drops a final blank; a control
        // character (C1 too), U+FFFD and a byte that is no UTF-8 cannot be typed at the editor.
        {"in\\x.pcm", false}, {"in.pcm ", false}, {"in\x1b.pcm", false}, {"in\xc2\x9b.pcm", false},
        {"in\xef\xbf\xbd.pcm", false}, {"in\xe9.pcm", false}, {"in\xe8\xa1.pcm", false}};
    const struct {
        const char* typed;
        const char* listedFolder;
        const char* insert;
        std::vector<std::string> listed;
    } cases[] = {
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
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompletionFolder(c.typed), c.listedFolder) << c.typed;
        const PathCompletion got = CompletePath(c.typed, folder);
        EXPECT_EQ(got.insert, c.insert) << c.typed;
        EXPECT_EQ(got.listed, c.listed) << c.typed;
    }
}

// Down each column first, two blanks between columns, as many columns as fit; 表 is two wide.
TEST(ListingRows, ColumnsThatFitTheTerminal) {
    const std::vector<std::string> names = {"a", "bb", "表", "d", "e"};
    const std::vector<std::size_t> widths = {1, 2, 2, 1, 1};
    EXPECT_EQ(ListingRows(names, widths, 9), (std::vector<std::string>{"a   d", "bb  e", "表"}));
    EXPECT_EQ(ListingRows(names, widths, 10), (std::vector<std::string>{"a   表  e", "bb  d"}));
    EXPECT_EQ(ListingRows(names, widths, 3), names);
}

}  // namespace
