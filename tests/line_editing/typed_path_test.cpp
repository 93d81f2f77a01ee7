#include "line_editing/typed_path.h"

#include <gtest/gtest.h>

#include <cstring>

#include "dialogue/line_reader.h"
#include "test_files.h"

namespace {

Bytes Interpret(const Bytes& typed, const TypedPathForms& forms) {
    char path[PATH_BUFFER_SIZE] = {};
    std::memcpy(path, typed.data(), typed.size());
    InterpretTypedPath(path, PATH_BUFFER_SIZE, forms);
    return path;
}

// Each typed line as a Windows console's forms read it, and as a POSIX terminal's (HOME=/home/u).
TEST(InterpretTypedPath, TheFormsTerminalsWrite) {
    const struct {
        Bytes typed;
        Bytes windows;
        Bytes posix;
    } cases[] = {
        {"\"C:\\my files\\in.pcm\"", "C:\\my files\\in.pcm", "C:\\my files\\in.pcm"},
        {"\"/my dir/x.pcm\" ", "/my dir/x.pcm", "/my dir/x.pcm"},
        {"/my/x.pcm \t ", "/my/x.pcm", "/my/x.pcm"},
        {"'/my dir/x.pcm' ", "'/my dir/x.pcm'", "/my dir/x.pcm"},
        {R"('it'\''s.pcm')", R"('it'\''s.pcm')", "it's.pcm"},
        {R"('a'\''')", R"('a'\''')", "a'"},
        {"''", "''", ""},
        {"\"\"", "", ""},
        {"\"C:\\\x95\x5C\\x.pcm\"", "C:\\\x95\x5C\\x.pcm", "C:\\\x95\x5C\\x.pcm"},
        // Not one quoted path: used as typed.
        {R"('a'\'')", R"('a'\'')", R"('a'\'')"},
        {"'a'b'", "'a'b'", "'a'b'"},
        {"'", "'", "'"},
        {"\"", "\"", "\""},
        {"\"C:\\in.pcm", "\"C:\\in.pcm", "\"C:\\in.pcm"},
        {"C:\\in.pcm\"", "C:\\in.pcm\"", "C:\\in.pcm\""},
        {"'/d/in.pcm", "'/d/in.pcm", "'/d/in.pcm"},
        {" x", " x", " x"},
        {"\"\"x\"\"", "\"x\"", "\"x\""},
        // Blanks before a path; several dropped files; a blank inside one name.
        {" \t/d/in.pcm", "/d/in.pcm", "/d/in.pcm"},
        {"/d/k1.wav /d/k2.wav ", "", ""},
        {"/my dir/x.pcm ", "/my dir/x.pcm", "/my dir/x.pcm"},
        {R"('/d/a'\'' '\''b.pcm' )", "", "/d/a' 'b.pcm"},
        // WezTerm's "\ "; a Windows-style path keeps "\" as a separator.
        {"/d/end\\  ", "/d/end\\", "/d/end "},
        {"out\\ 2\\x.wav", "out\\ 2\\x.wav", "out\\ 2\\x.wav"},
        {"'/d/a\\ b' ", "'/d/a\\ b'", "/d/a\\ b"},
        // URIs.
        {"file:///d/u%20v%e8%a1%a8.wav", "file:///d/u%20v%e8%a1%a8.wav", "/d/u v\xe8\xa1\xa8.wav"},
        {"file://localhost/d/x%zz", "file://localhost/d/x%zz", "/d/x%zz"},
        {"file://host/d/x", "file://host/d/x", ""},
        {"http://localhost/d/x%", "http://localhost/d/x%", ""},
        {"file:///d/a%2Fb", "file:///d/a%2Fb", ""},
        {"file:///d/a%00b", "file:///d/a%00b", ""},
        {"file:///d/a%0Ab%1B%7F", "file:///d/a%0Ab%1B%7F", ""},  // control characters decoded
        {"file:///d/a%FF", "file:///d/a%FF", "/d/a\xFF"},     // a byte no UTF-8 holds stays
        {"C://dir/x.wav", "C://dir/x.wav", "C://dir/x.wav"},
        {" smb://server/share/o.wav", "smb://server/share/o.wav", ""},
        {"\tfile:/d/a1.wav", "file:/d/a1.wav", "/d/a1.wav"},
        {"file://LOCALHOST/d/x", "file://LOCALHOST/d/x", "/d/x"},
        {"file:///d/x?y", "file:///d/x?y", ""},
        {"file:///d/x#y", "file:///d/x#y", ""},
        // The home folder.
        {"~/t.wav", "~/t.wav", "/home/u/t.wav"},
        {"~\\t.wav", "~\\t.wav", "/home/u\\t.wav"},
        {"~user/t.wav", "~user/t.wav", "~user/t.wav"},
        {"'~/t.wav'", "'~/t.wav'", "~/t.wav"},
        {"T:\\x ~\\in.pcm", "T:\\x ~\\in.pcm", ""},  // "~" is a letter on Windows, no second path
        // A bracketed paste's markers; a paste cut across lines answers nothing.
        {"\x1b[200~/d/a\x1b[201~", "/d/a", "/d/a"},
        {"\x1b[200~/d/a", "", ""},
        {"/d/b\x1b[201~", "", ""},
        {"/d/b\x1b[201~\x1b[200~/d/c", "", ""},
        {"/d/\x1b[200~a\x1b[201~\x1b[200~b \x1b[201~", "/d/ab", "/d/ab"},
        // Control bytes: keys where no editor reads them. A Tab is a blank.
        {"/d/o.wav\x1b[D\x1b[1;5D", "", ""},
        {"/d/a\rb", "", ""},
        {"/d/a\x7f", "", ""},
        {"/d/a\tb\t", "/d/a\tb", "/d/a\tb"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Interpret(c.typed, {false, nullptr, 1252}), c.windows) << c.typed;
        EXPECT_EQ(Interpret(c.typed, {true, "/home/u", 1252}), c.posix) << c.typed;
    }
}

// "~/" from other HOMEs: refused where HOME gives no path, or the path outgrows the buffer.
TEST(InterpretTypedPath, HomeFolders) {
    const Bytes longHome = "/" + Bytes(250, 'h');
    const struct {
        const char* home;
        Bytes used;
    } cases[] = {{"/", "/abc"}, {"/h//", "/h/abc"}, {longHome.c_str(), longHome + "/abc"}, {"", ""}, {"h", ""}};
    for (const auto& c : cases) EXPECT_EQ(Interpret("~/abc", {true, c.home, 1252}), c.used) << c.home;
    EXPECT_EQ(Interpret("~/abcd", {true, longHome.c_str(), 1252}), "");
}

// Under code page 932 a second byte 0x5C (表) is no "\\": no escape, neither WezTerm's nor a shell's.
// Under UTF-8 the C1 controls (U+009B: C2 9B) are control characters, typed or decoded; U+00A0 is not.
TEST(InterpretTypedPath, CodePages) {
    EXPECT_EQ(Interpret("/d/\x95\x5C x\x95\x5C ", {true, "/h", 932}), "/d/\x95\x5C x\x95\x5C");
    EXPECT_EQ(Interpret("/d/\x95\x5C x.pcm", {true, "/h", 932}), "/d/\x95\x5C x.pcm");
    EXPECT_EQ(Interpret("/d/\x95\x5C /e/x.pcm", {true, "/h", 932}), "");
    EXPECT_EQ(Interpret("/d/\xC2\x9B.wav", {true, "/h", 65001}), "");
    EXPECT_EQ(Interpret("file:///d/%C2%9B.wav", {true, "/h", 65001}), "");
    EXPECT_EQ(Interpret("file:///d/%C2%9B.wav", {true, "/h", 1252}), "/d/\xC2\x9B.wav");
    EXPECT_EQ(Interpret("/d/\xC2\xA0.wav", {true, "/h", 65001}), "/d/\xC2\xA0.wav");
}

}  // namespace
