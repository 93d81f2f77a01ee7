#include "convert/pcm_to_wav.h"

#include <array>
#include <cstring>
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

const char* SetResult(const char* text) {
    std::strncpy(g_resultMessage.data(), text, g_resultMessage.size() - 1);
    return g_resultMessage.data();
}

// Opens the output with `mode`, writes one header piece, closes it; false on any failure.
bool WriteHeaderPiece(const char* outputPath, const char* mode, const void* bytes,
                      std::size_t length) {
    StreamHandle output(PlatformOpenStream(outputPath, mode));
    if (!output) return false;
    const bool written = std::fwrite(bytes, 1, length, output.get()) == length;
    return CloseWrittenStream(std::move(output)) && written;
}

// Reads the size field, bytes 4 to 7 of the input; bytes past its end stay zero.
bool ReadSizeField(const char* inputPath) {
    StreamHandle input(PlatformOpenStream(inputPath, "rb"));
    if (!input || !PlatformSeekStream(input.get(), 4)) return false;
    return std::fread(g_sizeField.data(), 1, 4, input.get()) == 4 || std::ferror(input.get()) == 0;
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
    switch (CopyFileRange(start, end, inputPath, outputPath, COPY_RANGE_APPEND)) {
        case COPY_RANGE_DONE:
            return nullptr;
        case COPY_RANGE_SOURCE_ENDED:
            return wholeSourceNeeded ? texts::TEXT_RESULT_READ_FAILED : nullptr;
        case COPY_RANGE_NO_SOURCE:
        case COPY_RANGE_READ_FAILED:
            return texts::TEXT_RESULT_READ_FAILED;
        default:  // no destination, a failed write, no block buffer
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
    // Another run must not write this run's input, nor write or read its output, while the
    // pieces go: each is locked until the last piece is closed. The input first, so that a
    // run that stops here has created nothing.
    FileLock inputLock;
    FileLock outputLock;
    if (PlatformLockFile(inputPath, false, &inputLock.handle) == LOCK_HELD) {
        return texts::TEXT_RESULT_READ_FAILED;
    }
    if (PlatformLockFile(outputPath, true, &outputLock.handle) == LOCK_HELD) {
        return texts::TEXT_RESULT_WRITE_FAILED;
    }

    if (!WriteHeaderPiece(outputPath, "w+b", "RIFF", 4)) return texts::TEXT_RESULT_WRITE_FAILED;
    if (const char* failed = AppendInputRange(inputPath, outputPath, 4, 8, false)) return failed;
    if (!ReadSizeField(inputPath)) return texts::TEXT_RESULT_READ_FAILED;

    static const unsigned char kWaveFmt[9] = {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 0x10};
    if (!WriteHeaderPiece(outputPath, "a+b", kWaveFmt, sizeof kWaveFmt)) {
        return texts::TEXT_RESULT_WRITE_FAILED;
    }
    if (const char* failed = AppendInputRange(inputPath, outputPath, 9, PCM_DATA_OFFSET, false)) {
        return failed;
    }

    std::array<unsigned char, 8> dataChunk{'d', 'a', 't', 'a'};
    std::memcpy(dataChunk.data() + 4, DataChunkLength(), 4);
    if (!WriteHeaderPiece(outputPath, "a+b", dataChunk.data(), dataChunk.size())) {
        return texts::TEXT_RESULT_WRITE_FAILED;
    }

    // The length probe runs while none of our streams is open.
    const std::int64_t inputLength = QueryFileLength(inputPath);
    if (inputLength < 0) return texts::TEXT_RESULT_READ_FAILED;
    if (const char* failed =
            AppendInputRange(inputPath, outputPath, PCM_DATA_OFFSET, inputLength, true)) {
        return failed;
    }
    return texts::TEXT_RESULT_DONE;
}

}  // namespace

const char* ConvertPcmDataToWav(const char* inputPath, const char* outputPath) {
    g_sizeField.fill(0);
    return SetResult(Convert(inputPath, outputPath));
}
