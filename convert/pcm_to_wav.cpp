#include "convert/pcm_to_wav.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

#include "convert/file_probes.h"
#include "convert/range_copier.h"
#include "convert/size_field_codec.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "texts/console_texts.h"

namespace {

// The input's size field as read, and a zero byte behind it.
std::array<unsigned char, 5> g_sizeField{};
std::array<char, 64> g_resultMessage{};
// The input and the output as the first open of each met them. Every piece opens its file anew by
// name, and another program may delete or rename one between pieces: each later piece checks that
// it met the same file, from its open stream.
PieceFiles g_pieceFiles;

const char* SetResult(const char* text) {
    std::strncpy(g_resultMessage.data(), text, g_resultMessage.size() - 1);
    return g_resultMessage.data();
}

// Appends one header piece to the output, opened anew by name and never created; false on any
// failure, and where it met another file than the first piece did, or not as long as the pieces left it.
bool WriteHeaderPiece(const char* outputPath, const void* bytes, std::size_t length) {
    StreamHandle output(PlatformOpenToAppend(outputPath));
    if (!output || !MeetsDestination(output.get(), g_pieceFiles)) return false;
    const bool written = std::fwrite(bytes, 1, length, output.get()) == length;
    g_pieceFiles.destinationLength += static_cast<std::int64_t>(length);
    return CloseWrittenStream(std::move(output)) && written;
}

// The first piece, "RIFF", into an output opened without emptying it, so that a file that is the
// input (the output's path made a link to it since it was asked) or another than the one locked is
// never emptied: the result text where it is either, nullptr once written.
const char* WriteFirstPiece(const char* outputPath, const PlatformFileIdentity& locked) {
    StreamHandle output(PlatformOpenStream(outputPath, "a+b"));
    if (!output) return texts::TEXT_RESULT_WRITE_FAILED;
    // The input as its first read met it; a new file that took the number of an input gone since is
    // told apart by its length.
    const PlatformFileIdentity met = PlatformStreamIdentity(output.get());
    if (PlatformOneFile(met, g_pieceFiles.source) && met.size == g_pieceFiles.source.size) return texts::TEXT_RESULT_SAME_FILE;
    if ((locked.known && !PlatformSameIdentity(met, locked)) || (met.regular && !PlatformTruncateStream(output.get()))) {
        return texts::TEXT_RESULT_WRITE_FAILED;
    }
    g_pieceFiles.destination = met;
    const bool written = std::fwrite("RIFF", 1, 4, output.get()) == 4;
    g_pieceFiles.destinationLength = 4;
    return CloseWrittenStream(std::move(output)) && written ? nullptr : texts::TEXT_RESULT_WRITE_FAILED;
}

// Reads the input's header once, before the output is touched, and notes the file it met and the
// bytes it got. False where the read fails, where the file is not the one its lock holds, and where
// the input's length is not what it reads: /proc's files and /dev/zero say 0 and give bytes, /sys's
// say 4096 and give a few; such a length copies no samples.
bool ReadInputHeader(const char* inputPath, const PlatformFileIdentity& locked) {
    StreamHandle input(PlatformOpenStream(inputPath, "rb"));
    if (!input) return false;
    g_pieceFiles.source = PlatformStreamIdentity(input.get());
    const std::int64_t length = PlatformStreamLength(input.get());
    char header[PCM_DATA_OFFSET];
    const std::size_t got = std::fread(header, 1, sizeof header, input.get());
    g_pieceFiles.sourceStart.assign(header, got);
    return std::ferror(input.get()) == 0 && length >= 0 && (!locked.known || PlatformSameIdentity(locked, g_pieceFiles.source)) &&
           static_cast<std::int64_t>(got) == std::min<std::int64_t>(length, PCM_DATA_OFFSET);
}

// Reads the size field, bytes 4 to 7 of the input; bytes past its end stay zero. False where the
// input is not the file, or does not give the bytes, its first read met.
bool ReadSizeField(const char* inputPath) {
    StreamHandle input(PlatformOpenStream(inputPath, "rb"));
    if (!input || !PlatformSameIdentity(PlatformStreamIdentity(input.get()), g_pieceFiles.source) ||
        !PlatformSeekStream(input.get(), 4)) {
        return false;
    }
    const bool read = std::fread(g_sizeField.data(), 1, 4, input.get()) == 4 || std::ferror(input.get()) == 0;
    const std::string first = (g_pieceFiles.sourceStart + std::string(8, '\0')).substr(4, 4);
    return read && std::memcmp(g_sizeField.data(), first.data(), 4) == 0;
}

// The data chunk length: the size field less DATA_SIZE_ADJUST, modulo 2^32, little-endian.
const unsigned char* DataChunkLength() {
    const unsigned char* mostSignificantFirst = ReverseText(g_sizeField.data(), 4);
    const std::uint32_t sizeField = BytesToInt(mostSignificantFirst, 4);
    return IntToBytes(sizeField - DATA_SIZE_ADJUST, BYTE_ORDER_LITTLE);
}

// Appends input bytes [start, end) to the output; returns the result text when the copy did
// not go through, nullptr when it did. A source that ends early is fine in the header, whose
// missing bytes are zeros by design, but not in the samples.
const char* AppendInputRange(const char* inputPath, const char* outputPath, std::int64_t start,
                             std::int64_t end, bool wholeSourceNeeded) {
    const int copied = CopyFileRange(start, end, inputPath, outputPath, COPY_RANGE_APPEND, &g_pieceFiles);
    g_pieceFiles.destinationLength += end > start ? end - start : 0;
    switch (copied) {
        case COPY_RANGE_DONE:
            return nullptr;
        case COPY_RANGE_SOURCE_ENDED:
            return wholeSourceNeeded ? texts::TEXT_RESULT_READ_FAILED : nullptr;
        case COPY_RANGE_NO_SOURCE:
        case COPY_RANGE_READ_FAILED:
        case COPY_RANGE_SOURCE_CHANGED:
            return texts::TEXT_RESULT_READ_FAILED;
        default:  // no destination, another one, a failed write, no block buffer
            return texts::TEXT_RESULT_WRITE_FAILED;
    }
}

const char* Convert(const char* inputPath, const char* outputPath) {
    // The pieces read the input at set offsets, which a pipe, a terminal or a device like them
    // cannot give: refused before the output is touched, and undisturbed.
    if (PlatformIsUnseekable(inputPath)) return texts::TEXT_RESULT_READ_FAILED;
    if (!FileExists(inputPath)) return texts::TEXT_RESULT_NO_INPUT;
    // Creating the output would empty the input before it is read.
    if (NamesSameFile(inputPath, outputPath)) return texts::TEXT_RESULT_SAME_FILE;
    // Pieces each opened anew need an output that keeps what the last one wrote, and that is not
    // where this program's own texts go: refused before it is touched.
    if (PlatformCannotTakePieces(outputPath) || PlatformIsOwnOutput(outputPath)) {
        return texts::TEXT_RESULT_WRITE_FAILED;
    }
    // Another run must not write this run's input, nor write or read its output, while the
    // pieces go: each is locked until the last piece is closed. The input first, its header read
    // once, so that a run that stops here has created nothing.
    FileLock inputLock;
    FileLock outputLock;
    if (PlatformLockFile(inputPath, false, &inputLock.handle) == LOCK_HELD ||
        !ReadInputHeader(inputPath, PlatformLockIdentity(inputLock.handle))) {
        return texts::TEXT_RESULT_READ_FAILED;
    }
    if (PlatformLockFile(outputPath, true, &outputLock.handle) == LOCK_HELD) {
        return texts::TEXT_RESULT_WRITE_FAILED;
    }

    if (const char* failed = WriteFirstPiece(outputPath, PlatformLockIdentity(outputLock.handle))) return failed;
    if (const char* failed = AppendInputRange(inputPath, outputPath, 4, 8, false)) return failed;
    if (!ReadSizeField(inputPath)) return texts::TEXT_RESULT_READ_FAILED;

    static const unsigned char kWaveFmt[9] = {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 0x10};
    if (!WriteHeaderPiece(outputPath, kWaveFmt, sizeof kWaveFmt)) {
        return texts::TEXT_RESULT_WRITE_FAILED;
    }
    if (const char* failed = AppendInputRange(inputPath, outputPath, 9, PCM_DATA_OFFSET, false)) {
        return failed;
    }

    std::array<unsigned char, 8> dataChunk{'d', 'a', 't', 'a'};
    std::memcpy(dataChunk.data() + 4, DataChunkLength(), 4);
    if (!WriteHeaderPiece(outputPath, dataChunk.data(), dataChunk.size())) {
        return texts::TEXT_RESULT_WRITE_FAILED;
    }

    // The length probe runs while none of our streams is open; an input cut since its first read
    // would copy no samples of the file it was.
    const std::int64_t inputLength = QueryFileLength(inputPath);
    if (inputLength < static_cast<std::int64_t>(g_pieceFiles.sourceStart.size())) return texts::TEXT_RESULT_READ_FAILED;
    if (const char* failed =
            AppendInputRange(inputPath, outputPath, PCM_DATA_OFFSET, inputLength, true)) {
        return failed;
    }
    return texts::TEXT_RESULT_DONE;
}

}  // namespace

const char* ConvertPcmDataToWav(const char* inputPath, const char* outputPath) {
    g_sizeField.fill(0);
    g_pieceFiles = {};
    return SetResult(Convert(inputPath, outputPath));
}
