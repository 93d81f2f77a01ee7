#pragma once
// Scratch folders and whole-file reads and writes for the tests.

#include <filesystem>
#include <string>

using Bytes = std::string;

// A fresh empty folder for one test, removed when the test ends.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // The path of `name` inside the folder, as the converter takes it.
    std::string Path(const std::string& name) const;
    const std::filesystem::path& Root() const { return root_; }

private:
    std::filesystem::path root_;
};

void WriteFileBytes(const std::string& path, const Bytes& bytes);
// The whole file; an empty string for a missing one.
Bytes ReadFileBytes(const std::string& path);
bool PathExists(const std::string& path);
// A PCM data file: `length` bytes, byte i being (i * 7 + 3) mod 251 so no two blocks match.
Bytes PatternBytes(std::size_t length);
// Shows bytes as hex pairs, so a failing comparison says which byte differs.
std::string Hex(const Bytes& bytes);
