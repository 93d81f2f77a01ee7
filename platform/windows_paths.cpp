#include "platform/windows_paths.h"

#include <algorithm>
#include <string>

#include "platform/platform.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The path with ASCII letters lowered and "\\" for every separator, walking by characters of the
// code page so that a second byte 0x5C is never a separator; where its last part begins, and
// whether a ".." part stands in it.
std::string LoweredPath(const char* path, unsigned codePage, std::size_t* lastPartAt, bool* dotDot) {
    std::string lowered;
    std::size_t partAt = 0;
    *dotDot = false;
    for (std::size_t at = 0; path[at] != '\0'; ++at) {
        const char c = path[at];
        if (PlatformIsLeadByte(codePage, static_cast<unsigned char>(c)) && path[at + 1] != '\0') {
            lowered += c;
            lowered += path[++at];
        } else if (IsSeparator(c)) {
            *dotDot = *dotDot || lowered.compare(partAt, std::string::npos, "..") == 0;
            lowered += '\\';
            partAt = lowered.size();
        } else {
            lowered += IsLetter(c) ? static_cast<char>(c | 0x20) : c;
        }
    }
    *dotDot = *dotDot || lowered.compare(partAt, std::string::npos, "..") == 0;
    *lastPartAt = partAt;
    return lowered;
}

// A name Windows reads as a device (with `nul`, the null device too): what stands before the
// first dot or colon, blanks after it dropped, with the trailing dots and blanks of the whole part
// gone first.
bool IsDeviceName(std::string name, unsigned codePage, bool nul = false) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    name.erase(std::min(name.find_first_of(".:"), name.size()));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    static const char* const kNames[] = {"con", "conin$", "conout$", "aux", "prn"};
    for (const char* device : kNames) {
        if (name == device) return true;
    }
    if (name.compare(0, 3, "com") != 0 && name.compare(0, 3, "lpt") != 0) return nul && name == "nul";
    // The digits, and the superscripts 1, 2 and 3 in the code pages that hold them.
    const std::string number = name.substr(3);
    const bool superscript = (codePage == 1252 && (number == "\xB9" || number == "\xB2" || number == "\xB3")) ||
                             (codePage == 65001 && (number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3"));
    return superscript || (number.size() == 1 && number[0] >= '1' && number[0] <= '9');
}

}  // namespace

bool OpensWindowsDevice(const char* path, unsigned codePage) {
    std::size_t lastPartAt = 0;
    bool dotDot = false;
    const std::string lowered = LoweredPath(path, codePage, &lastPartAt, &dotDot);
    // A drive in front is no part of the name: "C:con" is the console too.
    const bool drivePrefix = lastPartAt == 0 && lowered.size() >= 2 && IsLetter(lowered[0]) && lowered[1] == ':';
    if (IsDeviceName(lowered.substr(drivePrefix ? 2 : lastPartAt), codePage)) return true;
    std::size_t server = std::string::npos;  // where a network path's server name begins
    if (lowered.compare(0, 4, "\\\\.\\") == 0 || lowered.compare(0, 4, "\\\\?\\") == 0 ||
        lowered.compare(0, 4, "\\??\\") == 0) {
        const bool drive = lowered.size() >= 7 && IsLetter(lowered[4]) && lowered.compare(5, 2, ":\\") == 0;
        if (dotDot || !(drive || lowered.compare(4, 4, "unc\\") == 0)) return true;
        if (!drive) server = 8;
    } else if (lowered.compare(0, 2, "\\\\") == 0) {
        server = 2;
    }
    // \\server\pipe\name: that server's named pipe.
    const std::size_t share = server == std::string::npos ? server : lowered.find('\\', server);
    return share != std::string::npos && lowered.compare(share, 6, "\\pipe\\") == 0;
}

bool WindowsOutputIsDevice(const char* path, unsigned codePage) {
    std::size_t lastPartAt = 0;
    bool dotDot = false;
    const std::string lowered = LoweredPath(path, codePage, &lastPartAt, &dotDot);
    if (lowered == "nul" || lowered == "\\\\.\\nul") return false;
    const bool drivePrefix = lastPartAt == 0 && lowered.size() >= 2 && IsLetter(lowered[0]) && lowered[1] == ':';
    return OpensWindowsDevice(path, codePage) || IsDeviceName(lowered.substr(drivePrefix ? 2 : lastPartAt), codePage, true);
}
