#include "platform/platform.h"

#include <gtest/gtest.h>

#include "platform/handles.h"
#include "test_files.h"

namespace {

// A lock on a missing output creates it, so that a second run started at once onto the same
// new name finds it locked and does not mix its pieces in.
TEST(PlatformLockFile, CreatesAMissingOutputAndHoldsIt) {
    ScratchFolder folder;
    const std::string output = folder.Path("new.wav");
    FileLock first, second;
    EXPECT_EQ(PlatformLockFile(output.c_str(), true, &first.handle), LOCK_TAKEN);
    EXPECT_TRUE(PathExists(output));
    EXPECT_EQ(PlatformLockFile(output.c_str(), true, &second.handle), LOCK_HELD);
    EXPECT_EQ(PlatformLockFile(output.c_str(), false, &second.handle), LOCK_HELD);
}

#if defined(_WIN32)
TEST(PlatformIsPipe, NamedPipesByTheirNameAlone) {
    for (const char* pipe : {"\\\\.\\pipe\\a", "//./PIPE/a", "\\\\?\\Pipe\\a", "\\/.\\pipe/a"}) {
        EXPECT_TRUE(PlatformIsPipe(pipe)) << pipe;
    }
    for (const char* other : {"\\\\.\\pipes\\a", "\\\\.\\pip", "\\\\server\\pipe\\a", "C:\\pipe\\a", "NUL", ""}) {
        EXPECT_FALSE(PlatformIsPipe(other)) << other;
    }
}
#endif

}  // namespace
