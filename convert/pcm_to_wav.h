#pragma once
// Turns a PCM data file into a RIFF/WAVE file: a 44-byte header from fixed text, two byte
// ranges of the input's own header and one computed length, then the samples unchanged.

#include <cstdint>

// Offset of the first sample byte in a PCM data file.
inline constexpr std::int64_t PCM_DATA_OFFSET = 28;

// Converts and returns the result text (Shift_JIS, zero-terminated), kept in a buffer that
// the next conversion overwrites.
const char* ConvertPcmDataToWav(const char* inputPath, const char* outputPath);
