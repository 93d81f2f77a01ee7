// A PCM data file past 4 GiB converts byte-exact: positions and lengths are 64-bit.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "convert/pcm_to_wav.h"
#include "test_files.h"
#include "texts/console_texts.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kGiB = std::int64_t{1} << 30;

void WriteAt(const std::string& path, std::int64_t offset, const Bytes& bytes) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(offset);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadAt(const std::string& path, std::int64_t offset, std::size_t length) {
    std::ifstream file(path, std::ios::binary);
    file.seekg(offset);
    Bytes bytes(length, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

TEST(LargeFile, ConvertsPastFourGiB) {
#if defined(_WIN32)
    GTEST_SKIP() << "skipped: run by the host suite, which writes 4 GiB in the kernel";
#endif
    ScratchFolder folder;
    std::error_code error;
    const auto space = fs::space(folder.Root(), error);
    if (error || space.available < 5 * kGiB) {
        GTEST_SKIP() << "skipped: needs 5 GiB free beside " << folder.Root() << ", "
                     << (error ? 0 : space.available / kGiB) << " GiB free";
    }
    const std::string in = folder.Path("big.pcm");
    const std::string out = folder.Path("big.wav");
    const std::int64_t length = 4 * kGiB + 300001;  // the last block is a partial one
    WriteFileBytes(in, "");
    fs::resize_file(in, static_cast<std::uintmax_t>(length));  // sparse
    const std::uint32_t sizeField = static_cast<std::uint32_t>(length + 16);
    Bytes header = "PCM ";
    for (int i = 0; i < 4; ++i) header += static_cast<char>(sizeField >> (8 * i));
    header += Bytes("\0\0\0\0\x01\x00\x02\x00\x44\xAC\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00", 20);
    WriteAt(in, 0, header);
    const std::int64_t marks[] = {2 * kGiB - 8, 4 * kGiB - 8, length - 40};
    for (std::int64_t mark : marks) WriteAt(in, mark, PatternBytes(40).substr(0, 16) + "marked bytes here " + PatternBytes(6));

    ASSERT_STREQ(ConvertPcmDataToWav(in.c_str(), out.c_str()), texts::TEXT_RESULT_DONE);
    EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(out)), length + 16);
    const Bytes wavHeader = ReadAt(out, 0, 44);
    EXPECT_EQ(Hex(wavHeader.substr(4, 4)), Hex(header.substr(4, 4))) << "RIFF length is the size field";
    const std::uint32_t dataLength = sizeField - 44;
    Bytes expectedDataLength;
    for (int i = 0; i < 4; ++i) expectedDataLength += static_cast<char>(dataLength >> (8 * i));
    EXPECT_EQ(Hex(wavHeader.substr(40, 4)), Hex(expectedDataLength));
    for (std::int64_t mark : marks) {
        EXPECT_EQ(Hex(ReadAt(out, mark + 16 - 64, 128)), Hex(ReadAt(in, mark - 64, 128))) << "at " << mark;
    }
    fs::remove(out);
}

}  // namespace
