#include "folders/output_folders.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "test_files.h"

namespace {

// The folders are made where the output goes; a separator of either kind works.
std::string Native(const ScratchFolder& folder, const std::string& relative) {
    return folder.Root().string() + "\\" + relative;
}

TEST(PrepareOutputFolders, MakesEveryMissingFolder) {
    ScratchFolder folder;
    SetPathCodePage(PlatformAnsiCodePage());
    PrepareOutputFolders(Native(folder, "a\\b\\c\\out.wav").c_str());
    EXPECT_TRUE(PathExists(folder.Path("a/b/c")));
    // Existing folders: the same calls, all refused, nothing changes.
    WriteFileBytes(folder.Path("a/b/c/keep"), "k");
    PrepareOutputFolders(Native(folder, "a\\b\\c\\out.wav").c_str());
    EXPECT_EQ(ReadFileBytes(folder.Path("a/b/c/keep")), "k");
}

TEST(PrepareOutputFolders, NoWorkingMemoryMakesNoFolder) {
    for (long grants : {0L, 1L}) {
        ScratchFolder folder;
        SetPathCodePage(PlatformAnsiCodePage());
        PlatformLimitAllocations(grants);
        PrepareOutputFolders(Native(folder, "a\\b\\out.wav").c_str());
        PlatformLimitAllocations(-1);
        EXPECT_FALSE(PathExists(folder.Path("a"))) << grants;
    }
}

}  // namespace
