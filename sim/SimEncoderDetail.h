#pragma once
// Small helpers the encoder model's source files share: deterministic noise
// and big-endian packing of register values.

#include <cstdint>

namespace sim::detail {
constexpr double kPi = 3.14159265358979323846;

// Deterministic noise: a well-mixed 64-bit hash.
inline uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in [-1, 1).
inline double Noise(uint64_t seed)
{
    return static_cast<double>(Mix(seed) >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

inline int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

inline void PutBE(uint8_t* at, uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        at[i] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

inline uint32_t GetBE(const uint8_t* at, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | at[i];
    return value;
}
} // namespace sim::detail
