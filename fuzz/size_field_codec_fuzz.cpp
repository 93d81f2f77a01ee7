// Any size field: the chain gives (v - 44) mod 2^32 little-endian; BytesToInt and IntToBytes
// agree with plain arithmetic for every length up to 5.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "convert/size_field_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unsigned char bytes[5] = {};
    std::memcpy(bytes, data, size < 5 ? size : 5);

    for (std::size_t length = 0; length <= 5; ++length) {
        std::uint32_t expected = 0;
        for (std::size_t i = 0; i < length && i < 4; ++i) expected = expected << 8 | bytes[i];
        if (BytesToInt(bytes, length) != expected) std::abort();
    }

    const std::uint32_t field = static_cast<std::uint32_t>(bytes[0]) | bytes[1] << 8 |
                                bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    const std::uint32_t value = BytesToInt(ReverseText(bytes, 4), 4);
    if (value != field) std::abort();
    const std::uint32_t adjusted = field - DATA_SIZE_ADJUST;
    const unsigned char* out = IntToBytes(adjusted, BYTE_ORDER_LITTLE);
    for (int i = 0; i < 4; ++i) {
        if (out[i] != static_cast<unsigned char>(adjusted >> (8 * i))) std::abort();
    }
    if (out[4] != 0) std::abort();
    return 0;
}
