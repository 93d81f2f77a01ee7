#pragma once
// The codec that carries the PCM data file's size field to the WAV data chunk length.
// Each operation keeps its result in a buffer of its own, valid until its next call.

#include <cstddef>
#include <cstdint>

// Order flag of IntToBytes: least significant byte first.
inline constexpr unsigned BYTE_ORDER_LITTLE = 4;
// What the size field counts beyond the data chunk: size field - 44 = data chunk length.
inline constexpr std::uint32_t DATA_SIZE_ADJUST = 44;
// Longest string ReverseText takes.
inline constexpr std::size_t REVERSE_TEXT_LIMIT = 255;

// The `length` bytes reversed, zero-terminated; for a length over REVERSE_TEXT_LIMIT the
// over-length message instead (told apart by the address returned).
const unsigned char* ReverseText(const unsigned char* bytes, std::size_t length);
// The first min(length, 4) bytes read as an unsigned big-endian number; 0 for no bytes.
std::uint32_t BytesToInt(const unsigned char* bytes, std::size_t length);
// The value's 4 bytes in the order the flags choose, followed by one zero byte.
const unsigned char* IntToBytes(std::uint32_t value, unsigned flags);
