#include "convert/pcm_to_wav.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#endif

#include "convert/range_copier.h"
#include "platform/handles.h"
#include "injected_fault.h"
#include "test_files.h"
#include "texts/console_texts.h"

namespace {

namespace fs = std::filesystem;

// A PCM data file header: bytes 0-3 and 8 are never read, so they hold noise.
Bytes PcmHeader(const Bytes& sizeField, const Bytes& fmtHigh, const Bytes& formatBlock) {
    return "JUNK" + sizeField + "\x77" + fmtHigh + formatBlock;
}

const Bytes kFormatBlock("\x01\x00\x02\x00\x44\xAC\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00", 16);

Bytes WavHeader(const Bytes& sizeField, const Bytes& fmtHigh, const Bytes& formatBlock,
                const Bytes& dataLength) {
    return "RIFF" + sizeField + "WAVEfmt \x10" + fmtHigh + formatBlock + "data" + dataLength;
}

struct Conversion {
    std::string result;
    Bytes wav;
};

// Converts `pcm` onto an output that holds older, longer content, which must go.
Conversion Convert(const ScratchFolder& folder, const Bytes& pcm) {
    WriteFileBytes(folder.Path("in.pcm"), pcm);
    WriteFileBytes(folder.Path("out.wav"), PatternBytes(5000));
    const std::string result =
        ConvertPcmDataToWav(folder.Path("in.pcm").c_str(), folder.Path("out.wav").c_str());
    return {result, ReadFileBytes(folder.Path("out.wav"))};
}

TEST(ConvertPcmDataToWav, AssemblesHeaderAndCopiesSamples) {
    const Bytes zero3("\x00\x00\x00", 3);
    const Bytes samples = "\x0A\x0D\x0A\x1A" + PatternBytes(3000);  // no line-end translation
    const struct {
        const char* name;
        Bytes pcm;
        Bytes wav;
    } cases[] = {
        {"stereo 44.1 kHz",
         PcmHeader(Bytes("\x24\x08\x00\x00", 4), zero3, kFormatBlock) + samples,
         WavHeader(Bytes("\x24\x08\x00\x00", 4), zero3, kFormatBlock, Bytes("\xF8\x07\x00\x00", 4)) + samples},
        {"header only",
         PcmHeader(Bytes("\x2C\x00\x00\x00", 4), zero3, kFormatBlock),
         WavHeader(Bytes("\x2C\x00\x00\x00", 4), zero3, kFormatBlock, Bytes(4, '\0'))},
        {"fmt length bytes copied, byte 16 fixed",
         PcmHeader(Bytes("\x28\x00\x00\x00", 4), "\x01\x02\x03", kFormatBlock) + "\x0A",
         WavHeader(Bytes("\x28\x00\x00\x00", 4), "\x01\x02\x03", kFormatBlock, "\xFC\xFF\xFF\xFF") + "\x0A"},
        {"size field with a line feed byte",
         PcmHeader(Bytes("\x36\x0A\x00\x00", 4), zero3, kFormatBlock),
         WavHeader(Bytes("\x36\x0A\x00\x00", 4), zero3, kFormatBlock, Bytes("\x0A\x0A\x00\x00", 4))},
        {"data length of five hex digits",
         PcmHeader(Bytes("\xCC\x86\x01\x00", 4), zero3, kFormatBlock),
         WavHeader(Bytes("\xCC\x86\x01\x00", 4), zero3, kFormatBlock, Bytes("\xA0\x86\x01\x00", 4))},
        {"size field below 44 wraps",
         PcmHeader(Bytes("\x00\x00\x00\x00", 4), zero3, kFormatBlock),
         WavHeader(Bytes("\x00\x00\x00\x00", 4), zero3, kFormatBlock, "\xD4\xFF\xFF\xFF")},
        // Shorter than 28 bytes: missing bytes read as zeros, the header keeps its layout.
        {"6 bytes", Bytes("ABCD\x30\x01", 6),
         WavHeader(Bytes("\x30\x01\x00\x00", 4), zero3, Bytes(16, '\0'), Bytes("\x04\x01\x00\x00", 4))},
        {"empty", "", WavHeader(Bytes(4, '\0'), zero3, Bytes(16, '\0'), "\xD4\xFF\xFF\xFF")},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        const Conversion done = Convert(folder, c.pcm);
        EXPECT_EQ(done.result, texts::TEXT_RESULT_DONE) << c.name;
        EXPECT_EQ(Hex(done.wav.substr(0, 48)), Hex(c.wav.substr(0, 48))) << c.name;
        EXPECT_TRUE(done.wav == c.wav) << c.name;
        EXPECT_TRUE(ReadFileBytes(folder.Path("in.pcm")) == c.pcm) << c.name << ": input unchanged";
    }
}

TEST(ConvertPcmDataToWav, DataRangeOnBlockBoundaries) {
    const std::size_t block = static_cast<std::size_t>(COPY_BLOCK_SIZE);
    for (std::size_t samples : {block - 1, block, block + 1, 2 * block}) {
        ScratchFolder folder;
        const Bytes pcm = PatternBytes(28 + samples);
        const Conversion done = Convert(folder, pcm);
        EXPECT_EQ(done.result, texts::TEXT_RESULT_DONE);
        EXPECT_EQ(done.wav.size(), 44 + samples);
        EXPECT_TRUE(done.wav.substr(44) == pcm.substr(28)) << samples;
    }
}

TEST(ConvertPcmDataToWav, RefusesTheInputAsOutput) {
    ScratchFolder folder;
    fs::create_directory(folder.Root() / "sub");
    const Bytes pcm = PatternBytes(100);
    WriteFileBytes(folder.Path("in.pcm"), pcm);
    fs::create_hard_link(folder.Root() / "in.pcm", folder.Root() / "hard.pcm");
    std::error_code noLinks;  // a symbolic link where the system makes one
    fs::create_symlink(folder.Root() / "in.pcm", folder.Root() / "link.pcm", noLinks);
    std::vector<std::string> spellings = {
        folder.Path("in.pcm"),
        (folder.Root() / "." / "in.pcm").string(),
        (folder.Root() / "sub" / ".." / "in.pcm").string(),
        folder.Path("hard.pcm"),
    };
    if (!noLinks) spellings.push_back(folder.Path("link.pcm"));
    for (const std::string& output : spellings) {
        EXPECT_STREQ(ConvertPcmDataToWav(folder.Path("in.pcm").c_str(), output.c_str()),
                     texts::TEXT_RESULT_SAME_FILE) << output;
        EXPECT_TRUE(ReadFileBytes(folder.Path("in.pcm")) == pcm) << output;
    }
}

// Working memory refused at each copy in turn: never reported as a success.
TEST(ConvertPcmDataToWav, NoBlockBufferIsAFailure) {
    for (long refused : {1L, 2L, 3L}) {
        ScratchFolder folder;
        WriteFileBytes(folder.Path("in.pcm"), PatternBytes(300));
        InjectedFault noMemory(SERVICE_ALLOCATE, refused, true);
        EXPECT_STREQ(ConvertPcmDataToWav(folder.Path("in.pcm").c_str(), folder.Path("out.wav").c_str()),
                     texts::TEXT_RESULT_WRITE_FAILED) << refused;
    }
}

// A lock on a missing output creates it, so that a second run started at once onto the same
// new name finds it locked. Where no lock can be had (a file system without locks), the
// conversion goes on as before: only another's lock stops it.
TEST(ConvertPcmDataToWav, Locks) {
    ScratchFolder folder;
    FileLock first, second;
    EXPECT_EQ(PlatformLockFile(folder.Path("new.wav").c_str(), true, &first.handle), LOCK_TAKEN);
    EXPECT_EQ(PlatformLockFile(folder.Path("new.wav").c_str(), false, &second.handle), LOCK_HELD);
    WriteFileBytes(folder.Path("in.pcm"), PatternBytes(300));
    InjectedFault noLocks(SERVICE_LOCK, 1, true);
    EXPECT_STREQ(ConvertPcmDataToWav(folder.Path("in.pcm").c_str(), folder.Path("out.wav").c_str()),
                 texts::TEXT_RESULT_DONE);
    EXPECT_EQ(noLocks.Paths().size(), 2u) << "the input and the output";
}

// Each open refused in turn, as for a file that is gone or locked just then: the input
// refused at its first open is a missing input, later a read failure; the output refused is
// a write failure; never a success until no open is refused.
TEST(ConvertPcmDataToWav, EachRefusedOpenIsAFailure) {
    for (std::size_t nth = 1; nth < 50; ++nth) {
        ScratchFolder folder;
        const std::string in = folder.Path("in.pcm"), out = folder.Path("out.wav");
        WriteFileBytes(in, PatternBytes(300));
        InjectedFault refused(SERVICE_OPEN, static_cast<long>(nth));
        const std::string result = ConvertPcmDataToWav(in.c_str(), out.c_str());
        const std::vector<std::string>& opened = refused.Paths();
        if (opened.size() < nth) {
            EXPECT_EQ(result, texts::TEXT_RESULT_DONE) << "no open refused";
            return;
        }
        const auto refusedAt = opened.begin() + static_cast<long>(nth) - 1;
        const bool firstOfInput = std::find(opened.begin(), refusedAt, in) == refusedAt;
        const char* expected = opened[nth - 1] == out ? texts::TEXT_RESULT_WRITE_FAILED
                               : firstOfInput         ? texts::TEXT_RESULT_NO_INPUT
                                                      : texts::TEXT_RESULT_READ_FAILED;
        EXPECT_EQ(result, expected) << "open " << nth << ": " << opened[nth - 1];
    }
    ADD_FAILURE() << "the conversion never ended without a refused open";
}

#if defined(__linux__)
// Files whose length is not their content, as inputs that change while they are copied: a
// read that reports an error, a length that says more than the file holds (it shrank), and
// one that says less (it grew: only the bytes the length counts are copied); a device that
// seeks, of length 0, converts its header as a file does.
TEST(ConvertPcmDataToWav, InputsWhoseLengthIsNotTheirContent) {
    const struct {
        const char* input;
        const char* result;
    } cases[] = {
        {"/proc/self/mem", texts::TEXT_RESULT_READ_FAILED},
        {"/sys/devices/system/cpu/online", texts::TEXT_RESULT_READ_FAILED},
        {"/proc/self/status", texts::TEXT_RESULT_DONE},
        {"/dev/zero", texts::TEXT_RESULT_DONE},
    };
    std::string missing;
    for (const auto& c : cases) {
        if (!PathExists(c.input)) {
            missing += std::string(" ") + c.input;
            continue;
        }
        ScratchFolder folder;
        EXPECT_STREQ(ConvertPcmDataToWav(c.input, folder.Path("out.wav").c_str()), c.result) << c.input;
        if (c.result == texts::TEXT_RESULT_DONE) {
            EXPECT_EQ(ReadFileBytes(folder.Path("out.wav")).size(), 44u) << c.input;
        }
    }
    if (!missing.empty()) GTEST_SKIP() << "missing here:" << missing;
}

// Inode numbers repeat across file systems: the first files of two fresh tmpfs mounts share
// one, and are two files all the same.
TEST(ConvertPcmDataToWav, SameInodeNumberOnTwoFileSystems) {
    ScratchFolder folder;
    const std::string a = folder.Path("a"), b = folder.Path("b"), in = a + "/in", out = b + "/out";
    if (!fs::create_directory(a) || !fs::create_directory(b) || unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("t", a.c_str(), "tmpfs", 0, nullptr) != 0 || mount("t", b.c_str(), "tmpfs", 0, nullptr) != 0) {
        GTEST_SKIP() << "needs mounts of its own (root)";
    }
    WriteFileBytes(in, PatternBytes(100));
    WriteFileBytes(out, "old");
    struct stat inInfo, outInfo;
    const bool shared = stat(in.c_str(), &inInfo) == 0 && stat(out.c_str(), &outInfo) == 0 &&
                        inInfo.st_ino == outInfo.st_ino;
    const std::string result = ConvertPcmDataToWav(in.c_str(), out.c_str());
    umount2(a.c_str(), MNT_DETACH);
    umount2(b.c_str(), MNT_DETACH);
    if (!shared) GTEST_SKIP() << "the two files got different inode numbers";
    EXPECT_EQ(result, texts::TEXT_RESULT_DONE);
}
#endif

}  // namespace
