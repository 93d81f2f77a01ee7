#pragma once
// Questions the conversion asks about a file before it touches it.

#include <cstdint>

// True when the path names a file that opens for reading with "r"; a folder does not count.
bool FileExists(const char* path);
// The file's length in bytes, or -1 when it cannot be taken. Asks for read access only and
// leaves the file to other users, so read-only and shared files measure too.
std::int64_t QueryFileLength(const char* path);
// True when both paths name one existing file, through whatever spelling or link, and where a file
// system shows one file under two identities (PlatformOneFile).
bool NamesSameFile(const char* pathA, const char* pathB);
