#pragma once
// Copies a byte range of one file onto another, block by block.

#include <cstdint>
#include <string>

#include "platform/platform.h"

// Size of the one block buffer each copy uses.
inline constexpr std::int64_t COPY_BLOCK_SIZE = 262144;

// Copy flags: exactly one is given.
inline constexpr unsigned COPY_RANGE_CREATE = 0x4000;  // destination opened with "wb"
inline constexpr unsigned COPY_RANGE_APPEND = 0x8000;  // destination opened with "ab"

// Results of CopyFileRange.
inline constexpr int COPY_RANGE_DONE = 0;
// The source ended inside the range: the block where it ended was completed with zeros
// and no later block was written.
inline constexpr int COPY_RANGE_SOURCE_ENDED = 1;
inline constexpr int COPY_RANGE_NO_SOURCE = -1;       // the source did not open
inline constexpr int COPY_RANGE_NO_DESTINATION = -2;  // the destination did not open
inline constexpr int COPY_RANGE_READ_FAILED = -3;     // the source reported a read error
inline constexpr int COPY_RANGE_WRITE_FAILED = -4;    // a write or the closing flush failed
inline constexpr int COPY_RANGE_SOURCE_CHANGED = -5;       // not the source expected: nothing read
inline constexpr int COPY_RANGE_DESTINATION_CHANGED = -6;  // not the destination expected: nothing written
inline constexpr int COPY_RANGE_NO_BUFFER = -50;      // no block buffer; nothing was opened

// The files that pieces written by name must meet: what their first opens met (the source unchanged
// since: its change time the same), the length the pieces so far gave a destination that is a file,
// and the bytes the first read of the source got from its start, which later reads must get again.
// A file deleted between pieces may leave its number to the one the next piece creates; that one is
// empty.
struct PieceFiles {
    PlatformFileIdentity source;
    PlatformFileIdentity destination;
    std::int64_t destinationLength = 0;
    std::string sourceStart;
};

// True when an open destination is the one `expected` names, as long as the pieces so far left it.
bool MeetsDestination(std::FILE* destination, const PieceFiles& expected);

// Copies the source's bytes [start, end) onto the destination as `flags` says, in blocks
// of COPY_BLOCK_SIZE, each read from its absolute offset. A range whose end lies before its
// start copies nothing. With `expected`, the pieces' files: the two opens must meet those files and
// the source give the bytes its first read got, the destination, which the first piece made, is
// appended to but never created, and before it is closed its path must
// still name it, at the length the copy gave it, and the source be unchanged; or nothing more is
// copied. On a failure nothing more is read or written; what was written stays.
int CopyFileRange(std::int64_t start, std::int64_t end, const char* sourcePath,
                  const char* destinationPath, unsigned flags, const PieceFiles* expected = nullptr);
