#pragma once
// UTF-8, as the key reader and Tab's names take it. Pure.

#include <cstddef>
#include <string>

// The byte length of the character a lead byte begins (1 for a byte that begins none).
inline std::size_t Utf8Length(unsigned char lead) { return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4; }

// The value of the `size` bytes at `at` as one UTF-8 character, or -1 where they are none: a cut
// or overlong form, a surrogate, a value past U+10FFFF.
inline long Utf8At(const std::string& text, std::size_t at, std::size_t size) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (size == 1) return lead < 0x80 ? lead : -1;
    if (lead < 0xC2 || lead > 0xF4 || size != Utf8Length(lead) || at + size > text.size()) return -1;
    unsigned long c = lead & (0x7F >> size);
    for (std::size_t i = 1; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if ((byte & 0xC0) != 0x80) return -1;
        c = c << 6 | (byte & 0x3F);
    }
    const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
    return c < least[size] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? -1 : static_cast<long>(c);
}
