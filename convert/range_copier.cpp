#include "convert/range_copier.h"

#include <cstring>
#include <utility>

#include "platform/handles.h"
#include "platform/platform.h"

namespace {

// Reads `want` bytes at `offset` into `block`; bytes past the source's end become zeros,
// never what an earlier block left there. Returns a CopyFileRange result.
int ReadBlock(std::FILE* source, std::int64_t offset, unsigned char* block, std::size_t want) {
    if (!PlatformSeekStream(source, offset)) return COPY_RANGE_READ_FAILED;
    const std::size_t got = std::fread(block, 1, want, source);
    if (got == want) return COPY_RANGE_DONE;
    if (std::ferror(source) != 0) return COPY_RANGE_READ_FAILED;
    std::memset(block + got, 0, want - got);
    return COPY_RANGE_SOURCE_ENDED;
}

}  // namespace

bool MeetsDestination(std::FILE* destination, const PieceFiles& expected) {
    const PlatformFileIdentity met = PlatformStreamIdentity(destination);
    return PlatformSameIdentity(met, expected.destination) &&
           (!met.regular || PlatformStreamLength(destination) == expected.destinationLength);
}

namespace {

// The source as the first piece met it: the same file, unchanged since.
bool MeetsSource(std::FILE* source, const PieceFiles& expected) {
    const PlatformFileIdentity met = PlatformStreamIdentity(source);
    return PlatformSameIdentity(met, expected.source) && met.changed == expected.source.changed;
}

// True where a block read at `offset` gives what the source's first read got there.
bool AgreesWithFirstRead(const PieceFiles& expected, std::int64_t offset, const unsigned char* block, std::size_t want) {
    const std::string& first = expected.sourceStart;
    for (std::int64_t at = offset; at < offset + static_cast<std::int64_t>(want) && at < static_cast<std::int64_t>(first.size()); ++at) {
        if (block[at - offset] != static_cast<unsigned char>(first[static_cast<std::size_t>(at)])) return false;
    }
    return true;
}

}  // namespace

int CopyFileRange(std::int64_t start, std::int64_t end, const char* sourcePath,
                  const char* destinationPath, unsigned flags, const PieceFiles* expected) {
    WorkingMemory<unsigned char> block(
        static_cast<unsigned char*>(PlatformAllocZeroed(static_cast<std::size_t>(COPY_BLOCK_SIZE))));
    if (!block) return COPY_RANGE_NO_BUFFER;

    // Both are opened before either is checked, so a missing destination is created even
    // when the source is missing, as callers have always seen; but never a piece's.
    StreamHandle source(PlatformOpenStream(sourcePath, "rb"));
    StreamHandle destination(expected != nullptr ? PlatformOpenToAppend(destinationPath)
                                                  : PlatformOpenStream(destinationPath, (flags & COPY_RANGE_CREATE) != 0 ? "wb" : "ab"));
    if (!source) return COPY_RANGE_NO_SOURCE;
    if (!destination) return COPY_RANGE_NO_DESTINATION;
    if (expected != nullptr && !MeetsSource(source.get(), *expected)) return COPY_RANGE_SOURCE_CHANGED;
    if (expected != nullptr && !MeetsDestination(destination.get(), *expected)) return COPY_RANGE_DESTINATION_CHANGED;

    int outcome = COPY_RANGE_DONE;
    std::int64_t done = 0;
    std::int64_t left = end > start ? end - start : 0;
    while (left > 0 && outcome == COPY_RANGE_DONE) {
        const std::size_t want = static_cast<std::size_t>(left < COPY_BLOCK_SIZE ? left : COPY_BLOCK_SIZE);
        outcome = ReadBlock(source.get(), start + done, block.get(), want);
        if (outcome < 0) return outcome;
        if (expected != nullptr && !AgreesWithFirstRead(*expected, start + done, block.get(), want)) {
            return COPY_RANGE_SOURCE_CHANGED;
        }
        if (std::fwrite(block.get(), 1, want, destination.get()) != want) return COPY_RANGE_WRITE_FAILED;
        done += static_cast<std::int64_t>(want);
        left -= static_cast<std::int64_t>(want);
    }
    if (expected != nullptr) {
        // Another program may have deleted, replaced, cut or added to the destination while the
        // blocks went, or written the source: the copy goes through only where neither happened.
        if (std::fflush(destination.get()) != 0) return COPY_RANGE_WRITE_FAILED;
        const PlatformFileIdentity atPath = PlatformPathIdentity(destinationPath);
        if (!PlatformSameIdentity(atPath, expected->destination) ||
            (atPath.regular && PlatformStreamLength(destination.get()) != expected->destinationLength + done)) {
            return COPY_RANGE_DESTINATION_CHANGED;
        }
        if (!MeetsSource(source.get(), *expected)) return COPY_RANGE_SOURCE_CHANGED;
    }
    source.reset();
    return CloseWrittenStream(std::move(destination)) ? outcome : COPY_RANGE_WRITE_FAILED;
}
