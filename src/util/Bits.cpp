#include "util/Bits.h"

#include <cstring>

namespace {
constexpr std::array<uint8_t, 64> MakeCrc6Table()
{
    std::array<uint8_t, 64> table{};
    for (unsigned i = 0; i < 64; ++i) {
        unsigned r = i << 6;
        for (int bit = 11; bit >= 6; --bit)
            if (r & (1u << bit))
                r ^= 0x43u << (bit - 6);
        table[i] = static_cast<uint8_t>(r & 0x3F);
    }
    return table;
}

// The eight characters of each byte, its highest bit first.
constexpr std::array<std::array<char, 8>, 256> MakeByteTexts()
{
    std::array<std::array<char, 8>, 256> texts{};
    for (unsigned byte = 0; byte < 256; ++byte)
        for (unsigned j = 0; j < 8; ++j)
            texts[byte][j] = (byte >> (7 - j)) & 1u ? '1' : '0';
    return texts;
}
constexpr std::array<std::array<char, 8>, 256> kByteTexts = MakeByteTexts();
} // namespace

const std::array<uint8_t, 64> Crc6Table = MakeCrc6Table();

void FormatBitsInto(int count, uint64_t value, std::string& out)
{
    if (count <= 0) {
        out.clear();
        return;
    }
    // A byte at a time from the right; bits beyond 64 are zeros.
    size_t left = static_cast<size_t>(count);
    out.resize(left);
    char* text = out.data();
    for (; left >= 8; left -= 8, value >>= 8)
        std::memcpy(text + left - 8, kByteTexts[value & 0xFF].data(), 8);
    if (left > 0)
        std::memcpy(text, kByteTexts[value & 0xFF].data() + (8 - left), left);
}

std::string FormatBits(int count, uint64_t value)
{
    std::string out;
    FormatBitsInto(count, value, out);
    return out;
}

uint8_t Crc6(int groups, uint64_t value)
{
    uint8_t crc = 0;
    for (int k = groups - 1; k >= 0; --k) {
        unsigned group = k * 6 < 64 ? static_cast<unsigned>((value >> (6 * k)) & 0x3F) : 0u;
        crc = Crc6Table[(crc ^ group) & 0x3F];
    }
    return crc;
}
