#include "test_files.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
    // Tests run in parallel processes: a random name keeps their folders apart.
    static std::random_device entropy;
    static std::atomic<int> counter{0};
    std::ostringstream name;
    name << "pcmconv_test_" << std::hex << entropy() << entropy() << "_" << counter++;
    root_ = fs::temp_directory_path() / name.str();
    fs::create_directories(root_);
}

ScratchFolder::~ScratchFolder() {
    // Windows deletes no read-only file: make everything writable first.
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(root_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(root_, ignored);
}

std::string ScratchFolder::Path(const std::string& name) const { return (root_ / name).string(); }

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool PathExists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::path(path), ignored);
}

Bytes PatternBytes(std::size_t length) {
    Bytes bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

std::string Hex(const Bytes& bytes) {
    std::string text;
    for (unsigned char byte : bytes) text += {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15], ' '};
    return text;
}
