#include "util/Bits.h"

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
} // namespace

const std::array<uint8_t, 64> Crc6Table = MakeCrc6Table();

void FormatBitsInto(int count, uint64_t value, std::string& out)
{
    if (count <= 0) {
        out.clear();
        return;
    }
    out.assign(static_cast<size_t>(count), '0');
    for (int p = count - 1; p >= 0 && value != 0; --p) {
        if (value & 1u)
            out[static_cast<size_t>(p)] = '1';
        value >>= 1;
    }
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
