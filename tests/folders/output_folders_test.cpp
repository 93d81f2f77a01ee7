#include "folders/output_folders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "injected_fault.h"
#include "platform/platform.h"
#include "test_files.h"

namespace {

// The folders PrepareOutputFolders asks the platform to create, in order; none is made.
std::vector<Bytes> FoldersAskedFor(const Bytes& path, unsigned codePage) {
    SetPathCodePage(codePage);
    InjectedFault noFolder(SERVICE_CREATE_FOLDER, 1, true);
    PrepareOutputFolders(path.c_str());
    return noFolder.Paths();
}

TEST(PrepareOutputFolders, AsksForEachFolderOutermostFirst) {
    auto byText = [](std::vector<Bytes> windows, std::vector<Bytes> posix) {
        return PlatformResolvesDotsByText() ? windows : posix;
    };
    const struct {
        Bytes path;
        unsigned codePage;
        std::vector<Bytes> prefixes;
    } cases[] = {
        {"C:\\snd\\take\\out.wav", 932, {"C:\\snd\\", "C:\\snd\\take\\"}},
        {"C:\\snd\\take\\", 932, {"C:\\snd\\", "C:\\snd\\take\\"}},
        {"C:\\\\snd\\\\\\take\\out.wav", 932, {"C:\\snd\\", "C:\\snd\\take\\"}},
        {"C:\\snd\\take", 932, {"C:\\snd\\"}},
        {"\\snd\\out.wav", 932, {"\\snd\\"}},
        {"1:\\x\\y.wav", 932, {"1:\\x\\"}},
        // "/" cuts as "\\" does.
        {"C:/snd/take/out.wav", 932, {"C:\\snd\\", "C:\\snd\\take\\"}},
        {"C:\\snd/take\\out.wav", 932, {"C:\\snd\\", "C:\\snd\\take\\"}},
        {"/tmp/q/new1/new2/out.wav", 65001, {"\\tmp\\", "\\tmp\\q\\", "\\tmp\\q\\new1\\", "\\tmp\\q\\new1\\new2\\"}},
        // POSIX needs the folders that "." and ".." follow; Windows reads them from the text: no
        // folder a later ".." cancels, the root's ".." (a share's too) is the root, and a ".."
        // out of the current folder stays.
        {"C:\\a\\..\\b\\x.wav", 932, byText({"C:\\b\\"}, {"C:\\a\\", "C:\\a\\..\\", "C:\\a\\..\\b\\"})},
        {".\\snd\\x.wav", 932, byText({"snd\\"}, {".\\", ".\\snd\\"})},
        {"a\\.\\..\\..\\b\\o.wav", 932, byText({"..\\", "..\\b\\"}, {"a\\", "a\\.\\", "a\\.\\..\\", "a\\.\\..\\..\\",
                                                  "a\\.\\..\\..\\b\\"})},
        {"..\\..\\b\\o.wav", 932, {"..\\", "..\\..\\", "..\\..\\b\\"}},
        {"\\..\\x\\.\\o.wav", 932, byText({"\\x\\"}, {"\\..\\", "\\..\\x\\", "\\..\\x\\.\\"})},
        {"\\\\s\\t\\..\\u\\o.wav", 932, byText({"\\\\s\\t\\u\\"}, {"\\\\s\\t\\..\\", "\\\\s\\t\\..\\u\\"})},
        // A last ".." or "." too, the output then being the folder left last; a \\.\ path's ".."
        // over its drive; \\?\ paths as they are.
        {"T:\\j\\junk\\x.wav\\..", 932, byText({"T:\\j\\"}, {"T:\\j\\", "T:\\j\\junk\\", "T:\\j\\junk\\x.wav\\"})},
        {"T:\\j\\junk\\.", 932, byText({"T:\\j\\"}, {"T:\\j\\", "T:\\j\\junk\\"})},
        {"\\\\.\\T:\\..\\g\\x.wav", 932, byText({}, {"\\\\.\\T:\\..\\", "\\\\.\\T:\\..\\g\\"})},
        {"\\\\.\\T:\\a\\..\\g\\x.wav", 932, byText({"\\\\.\\T:\\g\\"}, {"\\\\.\\T:\\a\\", "\\\\.\\T:\\a\\..\\", "\\\\.\\T:\\a\\..\\g\\"})},
        {"\\\\?\\T:\\a\\..\\x.wav", 932, {"\\\\?\\T:\\a\\", "\\\\?\\T:\\a\\..\\"}},
        {"out.wav", 932, {}},
        {"C:out.wav", 932, {}},
        {"C:\\out.wav", 932, {}},
        {"C:", 932, {}},
        {"C:\\", 932, {}},
        {"", 932, {}},
        // Relative paths stay relative: the folders go where the output will be written.
        {"snd\\out.wav", 932, {"snd\\"}},
        {"C:snd\\out.wav", 932, {"C:snd\\"}},
        {"snd\\take\\out.wav", 932, {"snd\\", "snd\\take\\"}},
        // A share's server and name are not folders to make, nor is anything at the root.
        {"\\\\s\\t\\u\\x.wav", 932, {"\\\\s\\t\\u\\"}},
        {"\\\\s\\t\\u\\v\\x.wav", 932, {"\\\\s\\t\\u\\", "\\\\s\\t\\u\\v\\"}},
        {"\\\\s\\t\\x.wav", 932, {}},
        {"\\\\s\\x.wav", 932, {}},
        {"//s/t/u/x.wav", 932, {"\\\\s\\t\\u\\"}},
        {"\\/s\\t\\u/x.wav", 932, {"\\\\s\\t\\u\\"}},
        {"/\\s/t/x.wav", 932, {}},
        // Two-byte characters whose second byte is 0x5C.
        {"C:\\\x83\x5C\x83\x74\x83\x67\\out.wav", 932, {"C:\\\x83\x5C\x83\x74\x83\x67\\"}},
        {"C:\\\x95\x5C\x95\x5C\\x\\y.wav", 932, {"C:\\\x95\x5C\x95\x5C\\", "C:\\\x95\x5C\x95\x5C\\x\\"}},
        {"C:\\a\\\x83", 932, {"C:\\a\\"}},  // a lone lead byte at the end is the name
        {"C:\\a\\\x83\\", 932, {"C:\\a\\"}},  // 0x83 0x5C is one character
        // Single-byte code page: every 0x5C is a separator.
        {"C:\\\x95\x5C\\x.wav", 1252, {"C:\\\x95\\"}},
        {"C:\\\x83\x5C\x83\x74\\x.wav", 1252, {"C:\\\x83\\", "C:\\\x83\\\x83\x74\\"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FoldersAskedFor(c.path, c.codePage), c.prefixes) << Hex(c.path);
    }
    // The bounds of the code page 932 lead bytes: a lead byte takes the 0x5C after it.
    const struct {
        unsigned char byte;
        bool lead;
    } bounds[] = {{0x80, false}, {0x81, true}, {0x9F, true}, {0xA0, false},
                  {0xDF, false}, {0xE0, true}, {0xFC, true}, {0xFD, false}};
    for (const auto& b : bounds) {
        const Bytes whole = "C:\\" + Bytes(1, static_cast<char>(b.byte)) + "\\y\\";
        const std::vector<Bytes> expected =
            b.lead ? std::vector<Bytes>{whole} : std::vector<Bytes>{whole.substr(0, 5), whole};
        EXPECT_EQ(FoldersAskedFor(whole + "x.wav", 932), expected) << Hex(Bytes(1, b.byte));
    }
}

// The deepest path there is: its last prefix is the whole path, built in working memory of
// exactly that size, so the sanitizer build sees any byte past it.
TEST(PrepareOutputFolders, DeepestPath) {
    Bytes deep = "\\";
    for (int i = 0; i < 127; ++i) deep += "a\\";
    ASSERT_EQ(deep.size(), 255u);
    const std::vector<Bytes> prefixes = FoldersAskedFor(deep, 932);
    ASSERT_EQ(prefixes.size(), 127u);
    EXPECT_EQ(prefixes.front(), "\\a\\");
    EXPECT_EQ(prefixes.back(), deep);
}

// The folders are made where the output goes, a separator of either kind working; without
// working memory none is made.
TEST(PrepareOutputFolders, MakesEveryMissingFolder) {
    ScratchFolder folder;
    SetPathCodePage(PlatformAnsiCodePage());
    const std::string path = folder.Root().string() + "\\a\\b\\c\\out.wav";
    for (long refused : {1L, 2L}) {
        InjectedFault noMemory(SERVICE_ALLOCATE, refused, true);
        PrepareOutputFolders(path.c_str());
        EXPECT_FALSE(PathExists(folder.Path("a"))) << "allocation " << refused << " refused";
    }
    PrepareOutputFolders(path.c_str());
    EXPECT_TRUE(PathExists(folder.Path("a/b/c")));
    // Existing folders: the same calls, all refused, nothing changes.
    WriteFileBytes(folder.Path("a/b/c/keep"), "k");
    PrepareOutputFolders(path.c_str());
    EXPECT_EQ(ReadFileBytes(folder.Path("a/b/c/keep")), "k");
}

}  // namespace
