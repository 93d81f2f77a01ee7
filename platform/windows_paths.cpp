#include "platform/windows_paths.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A path as Windows reads it: ASCII letters lowered and "\\" for every separator, walking by
// characters of the code page so that a second byte 0x5C is never a separator; its parts as Windows
// tidies them before it opens anything ("." gone, ".." taking the part before it, a drive's "c:" a
// part of its own); and whether a ".." part stands in it.
struct WindowsPath {
    std::string lowered;
    std::vector<std::string> parts;
    bool dotDot = false;
};

WindowsPath ReadWindowsPath(const char* path, unsigned codePage) {
    WindowsPath read;
    std::string part;
    auto endPart = [&] {
        read.dotDot = read.dotDot || part == "..";
        if (part == ".." && !read.parts.empty()) read.parts.pop_back();
        if (!part.empty() && part != "." && part != "..") read.parts.push_back(part);
        part.clear();
    };
    for (std::size_t at = 0; path[at] != '\0'; ++at) {
        const char c = path[at];
        if (PlatformIsLeadByte(codePage, static_cast<unsigned char>(c)) && path[at + 1] != '\0') {
            part += c;
            part += path[++at];
            read.lowered += part.substr(part.size() - 2);
            continue;
        }
        const char lowered = IsSeparator(c) ? '\\' : IsLetter(c) ? static_cast<char>(c | 0x20) : c;
        read.lowered += lowered;
        if (lowered == '\\') {
            endPart();
        } else {
            part += lowered;
            if (at == 1 && c == ':' && IsLetter(path[0])) endPart();
        }
    }
    endPart();
    return read;
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
    const WindowsPath read = ReadWindowsPath(path, codePage);
    const std::string& lowered = read.lowered;
    // The name Windows opens last, as it tidies the path: T:\o\con.wav\. is the console too.
    if (!read.parts.empty() && IsDeviceName(read.parts.back(), codePage)) return true;
    std::size_t server = std::string::npos;  // where a network path's server name begins
    if (lowered.compare(0, 4, "\\\\.\\") == 0 || lowered.compare(0, 4, "\\\\?\\") == 0 ||
        lowered.compare(0, 4, "\\??\\") == 0) {
        const bool drive = lowered.size() >= 7 && IsLetter(lowered[4]) && lowered.compare(5, 2, ":\\") == 0;
        if (read.dotDot || !(drive || lowered.compare(4, 4, "unc\\") == 0)) return true;
        if (!drive) server = 8;
    } else if (lowered.compare(0, 2, "\\\\") == 0) {
        server = 2;
    }
    // \\server\pipe\name: that server's named pipe.
    const std::size_t share = server == std::string::npos ? server : lowered.find('\\', server);
    return share != std::string::npos && lowered.compare(share, 6, "\\pipe\\") == 0;
}

bool WindowsOutputIsDevice(const char* path, unsigned codePage) {
    const WindowsPath read = ReadWindowsPath(path, codePage);
    if (read.lowered == "nul" || read.lowered == "\\\\.\\nul") return false;
    // A device name as a folder's makes a folder that Explorer cannot remove, and under it files.
    return OpensWindowsDevice(path, codePage) ||
           std::any_of(read.parts.begin(), read.parts.end(), [&](const std::string& part) { return IsDeviceName(part, codePage, true); });
}
