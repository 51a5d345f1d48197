#pragma once
// Register images of a maker's encoder for FakeBox: identification registers,
// firmware words and a datasheet whose values the tests know.

#include "FakeBox.h"
#include "biss/Identification.h"

#include <array>
#include <string>

inline void SetWord(TBiSS_bank& bank, size_t at, uint16_t value)
{
    bank[at] = static_cast<uint8_t>(value >> 8);
    bank[at + 1] = static_cast<uint8_t>(value & 0xFF);
}

// A maker's encoder with the given part number and firmware version words.
inline void MakeMakersEncoder(FakeBox& box, const std::string& partNumber, std::array<uint16_t, 4> version,
                       unsigned versionAddress = 47)
{
    box.Reg(0x41) = 2;
    box.Reg(0x42) = kProfileBp3;
    box.Reg(0x43) = 0x22;
    box.Reg(0x44) = 0x00;
    box.Reg(0x45) = 0x01;
    box.Reg(0x46) = 0xE2;
    box.Reg(0x47) = 0x40;
    box.SetText(0x5C, "A123", 8);
    box.SetText(0x64, partNumber, 20);
    box.Reg(0x7E) = 0x58;
    box.Reg(0x7F) = 0x4B;
    for (size_t i = 0; i < 4; ++i)
        SetWord(box.banks[0], versionAddress + 2 * i, version[i]);
    const std::string ext = "EXT-0042";
    for (size_t i = 0; i < ext.size(); ++i)
        box.banks[1][i] = static_cast<uint8_t>(ext[i]);
}

inline void Seal(TBiSS_bank& bank)
{
    unsigned sum = 0;
    for (size_t i = 0; i < 63; ++i)
        sum += bank[i];
    bank[63] = static_cast<uint8_t>(sum);
}

inline TBiSS_bank CommonPart()
{
    TBiSS_bank b{};
    b[0] = 1;      // version
    b[1] = 2;      // length
    b[2] = 4;      // first user bank
    b[3] = 7;      // last user bank
    b[4] = 8;      // 125 MHz
    b[5] = 10;     // 2.5 us
    b[6] = 3;      // 0.75 us
    b[11] = 40;
    b[12] = 1;
    b[13] = 12;
    SetWord(b, 14, 300);
    b[16] = 1;
    b[20] = 3;     // profile bank
    b[21] = 32;    // data length
    b[23] = 0x21;
    b[52] = 5;
    Seal(b);
    return b;
}

inline TBiSS_bank ProfilePart()
{
    TBiSS_bank b{};
    b[0] = 1;
    b[1] = 1;
    b[2] = 0x00;
    b[3] = 0x3C;
    b[10] = 16;    // multiturn
    b[12] = 12;    // coarse
    b[14] = 7;     // fine
    b[31] = 0x21;  // CRC poly
    SetWord(b, 36, 5);
    SetWord(b, 48, 271);
    SetWord(b, 50, 358);
    Seal(b);
    return b;
}
