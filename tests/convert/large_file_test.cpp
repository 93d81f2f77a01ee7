// Positions and lengths past 2^31 and 2^32 are 64-bit: the length probe and the copier on a
// sparse file of 4 GiB and a bit, read around each boundary and at the end of the last block.
// (The whole conversion of such a file runs end to end in the Windows suite.)

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "convert/file_probes.h"
#include "convert/range_copier.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kGiB = std::int64_t{1} << 30;

Bytes ReadAt(const std::string& path, std::int64_t offset, std::size_t length) {
    std::ifstream file(path, std::ios::binary);
    file.seekg(offset);
    Bytes bytes(length, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

TEST(LargeFile, PositionsPastFourGiB) {
    ScratchFolder folder;
    const std::string in = folder.Path("big.pcm");
    const std::int64_t length = 4 * kGiB + 300001;
    WriteFileBytes(in, "");
    fs::resize_file(in, static_cast<std::uintmax_t>(length));  // sparse
    const std::int64_t marks[] = {2 * kGiB - 8, 4 * kGiB - 8, length - 40};
    {
        std::fstream file(in, std::ios::binary | std::ios::in | std::ios::out);
        for (std::int64_t mark : marks) {
            file.seekp(mark);
            file << PatternBytes(16) << "marked bytes here " << PatternBytes(6);
        }
    }
    ASSERT_EQ(QueryFileLength(in.c_str()), length);

    // Each boundary, and one whole block and a remainder that end where the file ends.
    const std::int64_t ranges[][2] = {{marks[0] - 64, marks[0] + 64},
                                      {marks[1] - 64, marks[1] + 64},
                                      {length - COPY_BLOCK_SIZE - 100, length}};
    for (const auto& range : ranges) {
        const std::string out = folder.Path("out");
        EXPECT_EQ(CopyFileRange(range[0], range[1], in.c_str(), out.c_str(), COPY_RANGE_CREATE), COPY_RANGE_DONE);
        const std::size_t size = static_cast<std::size_t>(range[1] - range[0]);
        EXPECT_TRUE(ReadFileBytes(out) == ReadAt(in, range[0], size)) << "from " << range[0];
    }
}

}  // namespace
