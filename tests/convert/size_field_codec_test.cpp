#include "convert/size_field_codec.h"

#include <gtest/gtest.h>

#include <string>

#include "test_files.h"
#include "texts/console_texts.h"

namespace {

const unsigned char* U(const Bytes& bytes) {
    return reinterpret_cast<const unsigned char*>(bytes.data());
}

TEST(ReverseText, ReversesUpTo255BytesZerosIncluded) {
    const Bytes longest = PatternBytes(255);
    const struct {
        Bytes input;
        Bytes reversed;
    } cases[] = {
        {"abc", "cba"},
        {Bytes("\x00\xF0\x01\x00", 4), Bytes("\x00\x01\xF0\x00", 4)},
        {"", ""},
        {"\x83\x5C", "\x5C\x83"},  // a two-byte character counts as two bytes
        {longest, Bytes(longest.rbegin(), longest.rend())},
    };
    for (const auto& c : cases) {
        const unsigned char* result = ReverseText(U(c.input), c.input.size());
        EXPECT_EQ(Hex(Bytes(reinterpret_cast<const char*>(result), c.input.size() + 1)), Hex(c.reversed + '\0'))
            << "reversed and zero-terminated";
    }
    const Bytes tooLong = PatternBytes(256);
    EXPECT_STREQ(reinterpret_cast<const char*>(ReverseText(U(tooLong), tooLong.size())),
                 texts::TEXT_OVER_LENGTH);
}

TEST(BytesToInt, ReadsUpToFourBytesBigEndian) {
    const struct {
        Bytes input;
        std::uint32_t value;
    } cases[] = {
        {"\x12\x34\x56\x78", 0x12345678u},
        {Bytes("\xF0\x00\x00\x00", 4), 0xF0000000u},
        {Bytes("\x00\x01\xF0\x00", 4), 0x0001F000u},
        {"\xFF", 0xFFu},
        {"\x12\x34\x56\x78\x9A", 0x12345678u},
        {"", 0u},
        {"\xAB\xCD", 0xABCDu},
        {"\xFF\xFF\xFF\xFF", 0xFFFFFFFFu},
    };
    for (const auto& c : cases) EXPECT_EQ(BytesToInt(U(c.input), c.input.size()), c.value) << Hex(c.input);
}

TEST(IntToBytes, LittleEndianForEveryDigitCount) {
    const struct {
        std::uint32_t value;
        Bytes bytes;
    } cases[] = {
        {0x12, Bytes("\x12\x00\x00\x00", 4)},       {0x1200, Bytes("\x00\x12\x00\x00", 4)},
        {0x12345, Bytes("\x45\x23\x01\x00", 4)},    {0x100000, Bytes("\x00\x00\x10\x00", 4)},
        {0x1234567, Bytes("\x67\x45\x23\x01", 4)},  {0x12340000, Bytes("\x00\x00\x34\x12", 4)},
        {0xFFFFFFD4, Bytes("\xD4\xFF\xFF\xFF", 4)}, {0, Bytes("\x00\x00\x00\x00", 4)},
    };
    for (const auto& c : cases) {
        const unsigned char* result = IntToBytes(c.value, BYTE_ORDER_LITTLE);
        EXPECT_EQ(Hex(Bytes(reinterpret_cast<const char*>(result), 4)), Hex(c.bytes)) << c.value;
        EXPECT_EQ(result[4], 0);
    }
}

}  // namespace
