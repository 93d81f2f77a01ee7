#include "convert/pcm_to_wav.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
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
// conversion goes on as before: only another's lock stops it. With the locks, another file put in
// the place of one between its lock and its first open (the input's header read, the first piece)
// ends the run: the files a run reads and writes are the ones its locks hold (on Windows no other
// program can replace them at all).
TEST(ConvertPcmDataToWav, Locks) {
    ScratchFolder folder;
    const std::string in = folder.Path("in.pcm"), out = folder.Path("out.wav"), other = folder.Path("other");
    FileLock first, second;
    EXPECT_EQ(PlatformLockFile(folder.Path("new.wav").c_str(), true, &first.handle), LOCK_TAKEN);
    EXPECT_EQ(PlatformLockFile(folder.Path("new.wav").c_str(), false, &second.handle), LOCK_HELD);
    for (const long nth : {2L, 3L}) {
        WriteFileBytes(in, PatternBytes(300)), WriteFileBytes(other, "JUNK" + PatternBytes(500));
        std::error_code refused;
        InjectedFault swapped(SERVICE_OPEN, nth, [&] { fs::rename(other, nth == 2 ? in : out, refused); });
        const std::string result = ConvertPcmDataToWav(in.c_str(), out.c_str());  // before `refused` is read
        EXPECT_EQ(result, refused ? texts::TEXT_RESULT_DONE : nth == 2 ? texts::TEXT_RESULT_READ_FAILED : texts::TEXT_RESULT_WRITE_FAILED);
    }
    WriteFileBytes(in, PatternBytes(300));
    InjectedFault noLocks(SERVICE_LOCK, 1, true);
    EXPECT_STREQ(ConvertPcmDataToWav(in.c_str(), out.c_str()), texts::TEXT_RESULT_DONE);
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

// Another program acts on a file just before each open in turn and each seek (each block read): a
// run that ends in 21 wrote the WAV file of what the input then holds, whole; any other ends with
// a text the act allows, the input kept where the act left it alone, an output deleted after the
// first piece never made anew. Without the locks, as on a file system that cannot lock.
TEST(ConvertPcmDataToWav, EachPieceMeetsTheFileTheFirstMet) {
    using Act = void (*)(const std::string& in, const std::string& out, const std::string& other, std::error_code& e);
    const char *read = texts::TEXT_RESULT_READ_FAILED, *write = texts::TEXT_RESULT_WRITE_FAILED, *same = texts::TEXT_RESULT_SAME_FILE;
    const struct {
        const char* what;
        Act act;
        std::vector<const char*> results;  // the failures it allows
        bool inputKept;
    } acts[] = {
        {"output deleted", [](auto&, auto& out, auto&, auto& e) { fs::remove(out, e); }, {write}, true},
        {"other over the input", [](auto& in, auto&, auto& other, auto& e) { fs::rename(other, in, e); }, {read}, false},
        {"the output a link to the input (which that changes)", [](auto& in, auto& out, auto&, auto& e) { fs::remove(out, e), fs::create_hard_link(in, out, e); }, {same, write, read}, true},
        {"the input a link to the output", [](auto& in, auto& out, auto&, auto& e) { fs::remove(in, e), fs::create_hard_link(out, in, e); }, {same, read}, false},
        {"the input cut", [](auto& in, auto&, auto&, auto& e) { fs::resize_file(in, 10, e); }, {read}, false},
        {"the input rewritten in place", [](auto& in, auto&, auto&, auto&) { WriteFileBytes(in, Bytes(2 * COPY_BLOCK_SIZE + 33, 'x')); }, {read}, false},
        {"the output cut", [](auto&, auto& out, auto&, auto& e) { fs::resize_file(out, 1, e); }, {write}, true},
        {"the output added to", [](auto&, auto& out, auto&, auto&) { std::ofstream(out, std::ios::app) << "more"; }, {write}, true},
    };
    const Bytes pcm = PatternBytes(2 * COPY_BLOCK_SIZE + 33);
    for (const PlatformService service : {SERVICE_OPEN, SERVICE_SEEK}) {
        for (const auto& a : acts) {
            int failures = 0, acted = 0;  // Windows refuses to rename or delete a file open without sharing it
            for (long nth = 1;; ++nth) {
                ScratchFolder folder;
                const std::string in = folder.Path("in.pcm"), out = folder.Path("out.wav"), other = folder.Path("other");
                WriteFileBytes(in, pcm), WriteFileBytes(out, "old"), WriteFileBytes(other, "JUNK" + PatternBytes(500));
                InjectedFault noLocks(SERVICE_LOCK, 1, true);
                InjectedFault at(service, nth, [&] {
                    std::error_code refused;
                    a.act(in, out, other, refused);
                    acted += !refused;
                });
                const std::string result = ConvertPcmDataToWav(in.c_str(), out.c_str());
                const std::string where = std::string(a.what) + (service == SERVICE_OPEN ? " at open " : " at seek ") + std::to_string(nth);
                if (result == texts::TEXT_RESULT_DONE) {
                    const Bytes wav = ReadFileBytes(out), now = ReadFileBytes(in), padded = now + Bytes(28, '\0');
                    EXPECT_TRUE(wav.size() >= 44 && wav == WavHeader(padded.substr(4, 4), padded.substr(9, 3), padded.substr(12, 16),
                                                                     wav.substr(40, 4)) + (now.size() > 28 ? now.substr(28) : ""))
                        << where;
                } else {
                    ++failures;
                    EXPECT_NE(std::find(a.results.begin(), a.results.end(), result), a.results.end()) << where;
                    EXPECT_TRUE(a.act != acts[0].act || !PathExists(out)) << where << ": made anew";
                }
                EXPECT_TRUE(!a.inputKept || ReadFileBytes(in) == pcm) << where << ": the input";
                if (at.Paths().size() < static_cast<std::size_t>(nth)) break;
            }
            EXPECT_TRUE(failures > 0 || acted == 0) << a.what;
        }
    }
}

#if defined(__linux__)
// A 1 MiB loop device on `file`, where root can make one; "" elsewhere. losetup -d ends it.
std::string LoopDevice(const std::string& file) {
    WriteFileBytes(file, PatternBytes(1 << 20));
    std::string loop(64, '\0');
    std::FILE* made = popen(("losetup -f --show " + file + " 2>/dev/null").c_str(), "r");
    loop.resize(made != nullptr && std::fgets(&loop[0], 64, made) != nullptr ? std::strcspn(loop.c_str(), "\n") : 0);
    if (made != nullptr) pclose(made);
    return loop;
}

// Inputs whose length is not their content give 28 before an existing output is touched: a read
// that fails, files that say less or more than they give (/proc, /sys, /dev/zero's 0); /dev/null
// says 0 and gives nothing, and converts its header; a block device converts whole, its length
// taken at its end. As outputs, what cannot take pieces gives 31 unopened: a FIFO, a socket, a
// block device; /dev/null takes them.
TEST(ConvertPcmDataToWav, DevicesAndFilesWhoseLengthIsNotTheirContent) {
    ScratchFolder folder;
    const std::string loop = LoopDevice(folder.Path("disk")), in = folder.Path("in.pcm");
    WriteFileBytes(in, PatternBytes(300));
    mkfifo(folder.Path("fifo").c_str(), 0666);
    sockaddr_un address{AF_UNIX, {}};
    folder.Path("socket").copy(address.sun_path, sizeof address.sun_path - 1);
    const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const struct {
        std::string input;
        std::string output;
        const char* result;
        std::size_t written;  // 0: the output as it was
    } cases[] = {
        {"/proc/self/mem", "out.wav", texts::TEXT_RESULT_READ_FAILED, 0}, {"/proc/self/status", "out.wav", texts::TEXT_RESULT_READ_FAILED, 0},
        {"/sys/devices/system/cpu/online", "out.wav", texts::TEXT_RESULT_READ_FAILED, 0}, {"/dev/zero", "out.wav", texts::TEXT_RESULT_READ_FAILED, 0},
        {"/sys/devices/system/cpu/cpu0/uevent", "out.wav", texts::TEXT_RESULT_READ_FAILED, 0},  // says 4096, gives more than 28
        {"/dev/null", "out.wav", texts::TEXT_RESULT_DONE, 44}, {loop, "out.wav", texts::TEXT_RESULT_DONE, (1 << 20) + 16},
        {in, folder.Path("fifo"), texts::TEXT_RESULT_WRITE_FAILED, 0}, {in, folder.Path("socket"), texts::TEXT_RESULT_WRITE_FAILED, 0},
        {in, loop, texts::TEXT_RESULT_WRITE_FAILED, 0}, {in, "/dev/null", texts::TEXT_RESULT_DONE, 0},
    };
    std::string missing;
    for (const auto& c : cases) {
        if (c.input.empty() || c.output.empty() || !PathExists(c.input)) {
            missing += " " + (c.input.empty() || c.output.empty() ? std::string("a loop device") : c.input);
            continue;
        }
        const std::string out = c.output == "out.wav" ? folder.Path("out.wav") : c.output;
        if (c.output == "out.wav") WriteFileBytes(out, "keep");
        InjectedFault opens(SERVICE_OPEN, 0);
        EXPECT_STREQ(ConvertPcmDataToWav(c.input.c_str(), out.c_str()), c.result) << c.input << " " << out;
        if (c.output == "out.wav") {
            const Bytes got = ReadFileBytes(out);
            EXPECT_TRUE(c.written == 0 ? got == "keep" : got.size() == c.written) << c.input;
        } else if (c.result != texts::TEXT_RESULT_DONE) {
            EXPECT_EQ(std::count(opens.Paths().begin(), opens.Paths().end(), out), 0) << out << " opened";
        }
    }
    close(listening);
    if (!loop.empty()) std::system(("losetup -d " + loop).c_str());
    if (!missing.empty()) GTEST_SKIP() << "missing here:" << missing;
}

// Inode numbers repeat across file systems: the first files of two fresh tmpfs mounts share one,
// and are two files all the same. An overlay shows one file twice, at its merged path and in its
// upper layer, each with an identity of its own: one file, 45, the input untouched.
TEST(ConvertPcmDataToWav, FileSystemsAndTheirIdentities) {
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
    for (const char* layer : {"/l", "/u", "/w", "/m"}) fs::create_directory(b + layer);
    const bool overlay = mount("o", (b + "/m").c_str(), "overlay", 0, ("lowerdir=" + b + "/l,upperdir=" + b + "/u,workdir=" + b + "/w").c_str()) == 0;
    WriteFileBytes(b + "/u/x.pcm", PatternBytes(100));
    const char* overlaid = overlay ? ConvertPcmDataToWav((b + "/m/x.pcm").c_str(), (b + "/u/x.pcm").c_str()) : "";
    const bool kept = ReadFileBytes(b + "/u/x.pcm") == PatternBytes(100);
    umount2((b + "/m").c_str(), MNT_DETACH);
    umount2(a.c_str(), MNT_DETACH);
    umount2(b.c_str(), MNT_DETACH);
    if (!shared || !overlay) GTEST_SKIP() << (shared ? "no overlay here" : "the two files got different inode numbers");
    EXPECT_EQ(result, texts::TEXT_RESULT_DONE);
    EXPECT_STREQ(overlaid, texts::TEXT_RESULT_SAME_FILE);
    EXPECT_TRUE(kept);
}
#endif

}  // namespace
