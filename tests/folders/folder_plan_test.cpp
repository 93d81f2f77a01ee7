#include "folders/folder_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"

namespace {

std::vector<Bytes> Prefixes(const Bytes& path, unsigned codePage) {
    std::vector<FolderComponent> components(FolderComponentCapacity(path.size()));
    const FolderPlan plan = PlanOutputFolders(path, codePage, components.data());
    std::vector<Bytes> prefixes;
    for (std::size_t i = plan.firstMade; i < plan.componentCount; ++i) {
        Bytes prefix(FolderPrefixCapacity(path.size()) + 1, '#');
        const std::size_t length = ComposeFolderPrefix(path, plan, components.data(), i, prefix.data());
        EXPECT_EQ(prefix[length], '\0');
        EXPECT_EQ(prefix.back(), '#') << "prefix stays inside its room";
        prefixes.push_back(prefix.substr(0, length));
    }
    return prefixes;
}

Bytes Deep127() {
    Bytes path = "\\";
    for (int i = 0; i < 127; ++i) path += "a\\";
    return path;
}

TEST(PlanOutputFolders, PrefixesOutermostFirst) {
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
        {"C:/snd/take/out.wav", 932, {"C:\\/snd/take/\\"}},
        {"C:\\snd/take\\out.wav", 932, {"C:\\snd/take\\"}},
        {"C:\\a\\..\\b\\x.wav", 932, {"C:\\a\\", "C:\\a\\..\\", "C:\\a\\..\\b\\"}},
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
        {".\\snd\\x.wav", 932, {".\\", ".\\snd\\"}},
        // A share's server and name are not folders to make.
        {"\\\\s\\t\\u\\x.wav", 932, {"\\\\s\\t\\u\\"}},
        {"\\\\s\\t\\u\\v\\x.wav", 932, {"\\\\s\\t\\u\\", "\\\\s\\t\\u\\v\\"}},
        {"\\\\s\\t\\x.wav", 932, {}},
        {"\\\\s\\x.wav", 932, {}},
        // Two-byte characters whose second byte is 0x5C.
        {"C:\\\x83\x5C\x83\x74\x83\x67\\out.wav", 932, {"C:\\\x83\x5C\x83\x74\x83\x67\\"}},
        {"C:\\\x95\x5C\\x.wav", 932, {"C:\\\x95\x5C\\"}},
        {"C:\\\x95\x5C\x95\x5C\\x\\y.wav", 932, {"C:\\\x95\x5C\x95\x5C\\", "C:\\\x95\x5C\x95\x5C\\x\\"}},
        {"C:\\a\\\x83", 932, {"C:\\a\\"}},  // a lone lead byte at the end is the name
        {"C:\\a\\\x83\\", 932, {"C:\\a\\"}},  // 0x83 0x5C is one character
        // Single-byte code page: every 0x5C is a separator.
        {"C:\\\x95\x5C\\x.wav", 1252, {"C:\\\x95\\"}},
        {"C:\\\x83\x5C\x83\x74\\x.wav", 1252, {"C:\\\x83\\", "C:\\\x83\\\x83\x74\\"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Prefixes(c.path, c.codePage), c.prefixes) << Hex(c.path);
    }
}

TEST(PlanOutputFolders, LongestPaths) {
    const Bytes deep = Deep127();
    ASSERT_EQ(deep.size(), 255u);
    const std::vector<Bytes> prefixes = Prefixes(deep, 932);
    ASSERT_EQ(prefixes.size(), 127u);
    EXPECT_EQ(prefixes.front(), "\\a\\");
    EXPECT_EQ(prefixes.back(), deep);

    // Prefixes past 255 bytes are passed on whole.
    const Bytes slashes = "C:" + Bytes(252, '/') + "x";
    EXPECT_EQ(Prefixes(slashes, 932), std::vector<Bytes>{"C:\\" + Bytes(252, '/') + "\\"});
}

}  // namespace
