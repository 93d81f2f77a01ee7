#include "convert/size_field_codec.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "texts/console_texts.h"

namespace {

std::array<unsigned char, REVERSE_TEXT_LIMIT + 1> g_reversal{};
std::array<unsigned char, REVERSE_TEXT_LIMIT + 1> g_reversalWork{};
std::array<unsigned char, 64> g_lengthMessage{};
std::array<char, 9> g_hexText{};
std::array<unsigned char, 5> g_pairs{};
std::array<unsigned char, 5> g_resultBytes{};

unsigned DigitValue(char digit) {
    if (digit >= '0' && digit <= '9') return static_cast<unsigned>(digit - '0');
    if (digit >= 'a' && digit <= 'f') return static_cast<unsigned>(digit - 'a' + 10);
    if (digit >= 'A' && digit <= 'F') return static_cast<unsigned>(digit - 'A' + 10);
    return 0;
}

}  // namespace

const unsigned char* ReverseText(const unsigned char* bytes, std::size_t length) {
    if (length > REVERSE_TEXT_LIMIT) {
        static_assert(sizeof texts::TEXT_OVER_LENGTH <= sizeof g_lengthMessage);
        std::memcpy(g_lengthMessage.data(), texts::TEXT_OVER_LENGTH,
                    sizeof texts::TEXT_OVER_LENGTH);
        return g_lengthMessage.data();
    }
    g_reversal.fill(0);
    g_reversalWork.fill(0);
    if (length > 0) std::memcpy(g_reversalWork.data(), bytes, length);
    for (std::size_t i = 0; i < length; ++i) g_reversal[i] = g_reversalWork[length - 1 - i];
    return g_reversal.data();
}

std::uint32_t BytesToInt(const unsigned char* bytes, std::size_t length) {
    // Through lowercase hex digits, least significant digit first, each weighted by its
    // nibble position.
    static const char kDigits[] = "0123456789abcdef";
    const std::size_t used = length < 4 ? length : 4;
    std::array<char, 8> digits{};
    for (std::size_t i = 0; i < used; ++i) {
        const unsigned char byte = bytes[used - 1 - i];
        digits[2 * i] = kDigits[byte & 0x0F];
        digits[2 * i + 1] = kDigits[byte >> 4];
    }
    std::uint32_t value = 0;
    for (std::size_t position = 0; position < 2 * used; ++position) {
        value += static_cast<std::uint32_t>(DigitValue(digits[position])) << (4 * position);
    }
    return value;
}

const unsigned char* IntToBytes(std::uint32_t value, unsigned flags) {
    g_hexText.fill(0);
    g_pairs.fill(0);
    g_resultBytes.fill(0);
    // "%04X" gives 4 to 8 digits; an odd count gets a leading 0 so the digits pair up.
    char formatted[16];
    int digitCount = std::snprintf(formatted, sizeof formatted, "%04X",
                                   static_cast<unsigned>(value));
    std::size_t at = 0;
    if (digitCount % 2 == 1) g_hexText[at++] = '0';
    for (int i = 0; i < digitCount && at < g_hexText.size() - 1; ++i) g_hexText[at++] = formatted[i];
    const std::size_t byteCount = at / 2;
    for (std::size_t i = 0; i < byteCount; ++i) {
        g_pairs[i] = static_cast<unsigned char>(DigitValue(g_hexText[2 * i]) << 4 |
                                                DigitValue(g_hexText[2 * i + 1]));
    }
    if ((flags & BYTE_ORDER_LITTLE) != 0) {
        for (std::size_t i = 0; i < byteCount; ++i) g_resultBytes[i] = g_pairs[byteCount - 1 - i];
    }
    return g_resultBytes.data();
}
