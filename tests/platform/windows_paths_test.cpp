#include "platform/windows_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(OpensWindowsDevice, ByThePathsFormAlone) {
    const struct {
        const char* path;
        bool device;
    } cases[] = {
        // A named pipe in every spelling Windows tidies into one, on this machine or a server.
        {"\\\\.\\pipe\\np", true}, {"\\\\?\\PIPE\\np", true}, {"\\\\?\\GLOBALROOT\\Device\\NamedPipe\\np", true},
        {"\\\\.\\\\pipe\\np", true}, {"\\\\.\\.\\pipe\\np", true}, {"\\\\.\\y\\..\\pipe\\np", true},
        {"\\\\.\\pipe.\\np", true}, {"\\\\.//pipe/np", true}, {"\\??\\pipe\\np", true},
        {"\\\\.\\C:\\..\\pipe\\np", true}, {"\\\\srv\\Pipe\\np", true}, {"\\\\?\\UNC\\srv\\pipe\\np", true},
        // Volumes and devices behind the prefixes; files on a drive or a share are files.
        {"\\\\.\\C:", true}, {"\\\\?\\Volume{1}\\x.pcm", true}, {"\\\\.\\PhysicalDrive0", true},
        {"\\\\?\\C:\\snd\\in.pcm", false}, {"//./c:/in.pcm", false}, {"\\\\?\\unc\\srv\\share\\in.pcm", false},
        {"\\\\srv\\share\\in.pcm", false}, {"\\\\srv\\share\\pipe\\np", false}, {"C:\\pipe\\np", false},
        // Names of devices, wherever they stand last; NUL, COM0, COM10, a device name as a folder.
        {"AUX", true}, {"com1", true}, {"aux.pcm", true}, {"T:\\x\\con.pcm", true}, {"C:\\x/CONIN$", true},
        {"conout$", true}, {"Lpt9.x.y", true}, {"prn .pcm", true}, {"con. .", true}, {"C:con", true},
        {"con:", true}, {"NUL", false}, {"com0", false}, {"com10", false}, {"C:\\con\\in.pcm", false},
        {"console.pcm", false}, {"icon.pcm", false}, {"C:\\aux1.pcm", false},
        // The last part as Windows tidies the path: "." and ".." go first.
        {"T:\\o\\con.wav\\.", true}, {"CON\\.", true}, {"T:\\o\\aux\\.\\.", true}, {"T:\\o\\lpt1\\x\\..", true}, {"T:\\o\\con.wav/.", true}, {"T:\\con\\..\\in.pcm", false},
        // Under code page 932 a second byte 0x5C is no separator: "表" then "con" is one name.
        {"C:\\\x95\x5C" "con", false},
    };
    for (const auto& c : cases) EXPECT_EQ(OpensWindowsDevice(c.path, 932), c.device) << c.path;
    EXPECT_TRUE(OpensWindowsDevice("C:\\\x95\x5C" "con", 1252));
    // COM and LPT with a superscript digit, where the code page holds one; 0xB9 is a katakana in 932.
    EXPECT_TRUE(OpensWindowsDevice("T:\\COM\xB9.pcm", 1252));
    EXPECT_TRUE(OpensWindowsDevice("lpt\xC2\xB3", 65001));
    EXPECT_FALSE(OpensWindowsDevice("com\xB9", 932));
}

// As an output the null device counts too, but for its bare name, which takes any write.
TEST(WindowsOutputIsDevice, TheNullDeviceUnderItsBareNameAlone) {
    const std::pair<const char*, bool> cases[] = {
        {"NUL", false}, {"\\\\.\\nul", false}, {"T:\\o\\out.wav", false}, {"nul.wav", true},
        {"T:\\o\\NUL", true}, {"T:\\o\\nul.wav", true}, {"com1.wav", true}, {"\\\\.\\pipe\\np", true},
        // A device name as a folder, however tidied: T:\o\con would be made, and not removed.
        {"T:\\o\\nul.wav\\.", true}, {"T:\\o\\con\\x.wav", true}, {"T:\\o\\con.\\", true}, {"T:\\o\\Nul\\", true}, {"T:\\o\\con\\..\\x.wav", false}, {"T:\\o\\icon\\x.wav", false}};
    for (const auto& [path, device] : cases) EXPECT_EQ(WindowsOutputIsDevice(path, 932), device) << path;
}

}  // namespace
