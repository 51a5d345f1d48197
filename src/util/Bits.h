#pragma once
// Bit strings and the BiSS-C position CRC.

#include <array>
#include <cstdint>
#include <string>

// count characters "0"/"1", bit count-1 first and bit 0 last; bits at count
// and above are ignored; a count of 0 or less gives an empty text.
std::string FormatBits(int count, uint64_t value);
// Same, written into out (reusing its storage).
void FormatBitsInto(int count, uint64_t value, std::string& out);

// Entry i is the CRC-6 (polynomial x^6 + x + 1) of the 6-bit value i.
extern const std::array<uint8_t, 64> Crc6Table;

// CRC-6 of the lowest 6*groups bits of value, taken in 6-bit groups from the
// most significant group down, starting from 0.
uint8_t Crc6(int groups, uint64_t value);
