#include "convert/range_copier.h"

#include <gtest/gtest.h>

#include "injected_fault.h"
#include "test_files.h"

namespace {

constexpr std::size_t kBlock = static_cast<std::size_t>(COPY_BLOCK_SIZE);

TEST(CopyFileRange, CopiesAcrossBlockBoundaries) {
    const std::int64_t block = COPY_BLOCK_SIZE;
    const struct {
        std::int64_t start;
        std::int64_t end;
        unsigned flags;
    } cases[] = {
        {28, 28 + block, COPY_RANGE_APPEND},      // one whole block, empty remainder
        {28, 28 + block + 1, COPY_RANGE_APPEND},  // one whole block and one byte
        {28, 28 + block - 1, COPY_RANGE_APPEND},  // a remainder alone
        {0, 3 * block + 5, COPY_RANGE_APPEND},
        {5, 5, COPY_RANGE_APPEND},
        {28, 27, COPY_RANGE_APPEND},  // a range that ends before its start copies nothing
        {28, -1, COPY_RANGE_APPEND},
        {2, 5, COPY_RANGE_CREATE},  // replaces the destination
    };
    const Bytes source = PatternBytes(28 + 3 * kBlock + 5);
    for (const auto& c : cases) {
        ScratchFolder folder;
        WriteFileBytes(folder.Path("in"), source);
        WriteFileBytes(folder.Path("out"), "head");
        EXPECT_EQ(CopyFileRange(c.start, c.end, folder.Path("in").c_str(), folder.Path("out").c_str(), c.flags),
                  COPY_RANGE_DONE);
        const Bytes copied = c.end > c.start ? source.substr(c.start, c.end - c.start) : Bytes();
        EXPECT_TRUE(ReadFileBytes(folder.Path("out")) == (c.flags == COPY_RANGE_APPEND ? "head" : "") + copied)
            << "start " << c.start << " end " << c.end;
    }
}

// Past the source's end the copy writes zeros, never bytes an earlier block left behind,
// and it stops after the block where the source ended.
TEST(CopyFileRange, ZerosPastSourceEnd) {
    const struct {
        std::size_t sourceLength;
        std::size_t start;
        std::size_t end;
        std::size_t written;
    } cases[] = {
        {6, 4, 8, 4},                           // a header range cut short
        {3, 9, 28, 19},                         // a header range wholly past the end
        {kBlock + 10, 0, 2 * kBlock, 2 * kBlock},  // the second block would hold stale bytes
        {10, 0, 3 * kBlock, kBlock},            // nothing after the block where it ended
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        const Bytes source = PatternBytes(c.sourceLength);
        WriteFileBytes(folder.Path("in"), source);
        EXPECT_EQ(CopyFileRange(static_cast<std::int64_t>(c.start), static_cast<std::int64_t>(c.end),
                                folder.Path("in").c_str(), folder.Path("out").c_str(), COPY_RANGE_APPEND),
                  COPY_RANGE_SOURCE_ENDED);
        Bytes expected = c.start < source.size() ? source.substr(c.start) : Bytes();
        expected.resize(c.written, '\0');
        EXPECT_TRUE(ReadFileBytes(folder.Path("out")) == expected) << c.sourceLength << " " << c.end;
    }
}

TEST(CopyFileRange, Failures) {
    ScratchFolder folder;
    WriteFileBytes(folder.Path("in"), PatternBytes(100));
    const std::string in = folder.Path("in");
    const std::string out = folder.Path("out");

    // A missing source: the destination is created all the same, as it always was.
    EXPECT_EQ(CopyFileRange(0, 10, folder.Path("missing").c_str(), out.c_str(), COPY_RANGE_APPEND),
              COPY_RANGE_NO_SOURCE);
    EXPECT_TRUE(PathExists(out));
    EXPECT_EQ(CopyFileRange(0, 10, folder.Root().string().c_str(), out.c_str(), COPY_RANGE_APPEND),
              COPY_RANGE_NO_SOURCE) << "a folder is no source";

    EXPECT_EQ(CopyFileRange(0, 10, in.c_str(), folder.Path("no/such/out").c_str(), COPY_RANGE_APPEND),
              COPY_RANGE_NO_DESTINATION);

    // No block buffer: nothing is opened, so nothing is created.
    InjectedFault noMemory(SERVICE_ALLOCATE, 1);
    EXPECT_EQ(CopyFileRange(0, 10, in.c_str(), folder.Path("never").c_str(), COPY_RANGE_APPEND),
              COPY_RANGE_NO_BUFFER);
    EXPECT_FALSE(PathExists(folder.Path("never")));
}

#if !defined(_WIN32)
TEST(CopyFileRange, FullDiskIsAWriteFailure) {
    ScratchFolder folder;
    WriteFileBytes(folder.Path("in"), PatternBytes(kBlock + 7));
    for (std::int64_t length : {std::int64_t{7}, std::int64_t{COPY_BLOCK_SIZE + 7}}) {
        EXPECT_EQ(CopyFileRange(0, length, folder.Path("in").c_str(), "/dev/full", COPY_RANGE_APPEND),
                  COPY_RANGE_WRITE_FAILED) << length;
    }
}
#endif

}  // namespace
