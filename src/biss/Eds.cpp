#include "biss/Eds.h"

#include "util/NumberText.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr char kCrLf[] = "\r\n";

std::string HexAtLeast2(uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(value));
    return buf;
}

// Rounded to four significant digits, printed with two decimals.
std::string Real(double value)
{
    return FormatNumberText(value, 4, 2);
}

uint32_t BigEndian(const TBiSS_bank& b, size_t at, size_t count)
{
    uint32_t v = 0;
    for (size_t i = 0; i < count; ++i)
        v = v * 256 + b[at + i];
    return v;
}

std::string Dec(uint32_t value)
{
    return std::to_string(value);
}

bool SelectAndReadBank(Link& link, uint16_t bank)
{
    return link.WriteRegister(0x40, static_cast<uint8_t>(bank)) && link.ReadRegisters(0, 64);
}
} // namespace

std::string EdsCommonText(const TBiSS_bank& b)
{
    std::string t;
    auto line = [&](const std::string& text) { t += text + kCrLf; };
    line("EDS ver: " + Dec(b[0]));
    line("EDS length: " + Dec(b[1]) + " banks");
    line("Bank user start: " + Dec(b[2]));
    line("Bank user end: " + Dec(b[3]));
    // A minimum clock period of 0 sets no limit on the clock.
    line("Max CLK freq: " + (b[4] == 0 ? std::string("no limit") : Real(1000.0 / b[4]) + " MHz"));
    line("Min Timeout: " + Real(b[5] * 0.25) + " µs");
    line("Max Timeout: " + Real(b[6] * 0.25) + " µs");
    if (b[7] != 0)
        line("Min Timeout S: " + Real(b[7] * 0.025) + " µs");
    if (b[8] != 0)
        line("Max Timeout S: " + Real(b[8] * 0.025) + " µs");
    if (b[9] != 0)
        line("TCLK_MIN: " + Dec(b[9]));
    if (b[10] != 0)
        line("TCLK_MAX: " + Dec(b[10]));
    line("Min cycle time: " + Real(b[11] * 0.25) + " µs");
    line("Max proces time SCD: " + Real(b[12] * 0.25) + " µs");
    line("Max proces time #clk: " + Dec(b[13]));
    line("Max On Delay: " + Dec(BigEndian(b, 14, 2)) + " ms");
    line("Data channels: " + Dec(b[16]));
    line("EDS slaves validity: " + Dec(b[17]));
    line("EDS slave ID: " + Dec(b[18]));
    line("Ch 1 EDS bank addr: " + Dec(b[20]));
    line("Ch 1 data length: " + Dec(b[21]) + " bits");
    line("Ch 1 data format: " + Dec(b[22]));
    line("Ch 1 CRC poly: 0x" + HexAtLeast2(b[23] * 2u + 1u));
    t += "BC_OFF: " + Dec(b[52]);
    return t;
}

std::string EdsProfileText(const TBiSS_bank& b)
{
    std::string t;
    auto line = [&](const std::string& text) { t += text + kCrLf; };
    auto signedDec = [](long value) { return std::to_string(value); };
    line("BP3 ver: " + Dec(b[0]));
    line("Profile length: " + Dec(b[1]) + " banks");
    char id[8];
    std::snprintf(id, sizeof id, "%02X%02X", b[2], b[3]);
    line(std::string("Profile identification: 0x") + id);
    line("SCD nError bit: " + Dec(b[4]));
    line("SCD nWarning bit: " + Dec(b[5]));
    line("Max power-on delay: " + Dec(b[6]) + " ms");
    line("Encoder type: " + Dec(b[8]));
    line("Position value: " + Dec(b[9]));
    line("Multiturn data length: " + Dec(b[10]) + " bits");
    line("Multiturn data format: " + Dec(b[11]));
    line("Coarse data length: " + Dec(b[12]) + " bits");
    line("Coarse data format: " + Dec(b[13]));
    line("Fine data length: " + Dec(b[14]) + " bits");
    line("Fine data format: " + Dec(b[15]));
    line("Num of dist revolutions: " + Dec(BigEndian(b, 16, 4)));
    line("Num signal periods / rev: " + Dec(BigEndian(b, 20, 4)) + " PPR");
    line("Interpolation counts: " + Dec(BigEndian(b, 24, 4)) + " ");
    line("CRC poly: 0x" + HexAtLeast2(BigEndian(b, 28, 4) * 2u + 1u));
    line("CRC start value: " + Dec(BigEndian(b, 32, 4)));
    line("Abs accuracy: " + Dec(BigEndian(b, 36, 2) / 2) + " counts");
    line("Rel accuracy: " + Dec(BigEndian(b, 38, 2) / 2) + " counts");
    line("Speed accuracy: " + Dec(BigEndian(b, 40, 2) / 2) + " counts");
    line("Hysteresis: " + Dec(BigEndian(b, 42, 2) / 2) + " counts");
    line("Max speed: " + Dec(BigEndian(b, 44, 2)) + " RPM");
    line("Max acceleration: " + Dec(BigEndian(b, 46, 2)) + " RPM2");
    line("Min temperature: " + signedDec(static_cast<long>(BigEndian(b, 48, 2)) - 273) + " °C");
    line("Max temperature: " + signedDec(static_cast<long>(BigEndian(b, 50, 2)) - 273) + " °C");
    line("Min voltage: " + Dec(BigEndian(b, 52, 2)) + " mV");
    line("Max voltage: " + Dec(BigEndian(b, 54, 2)) + " mV");
    line("Max current: " + Dec(BigEndian(b, 56, 2)) + " mA");
    return t;
}

bool EdsChecksumOk(const TBiSS_bank& b)
{
    unsigned sum = 0;
    for (size_t i = 0; i < 63; ++i)
        sum += b[i];
    return (sum & 0xFFu) == b[63];
}

std::string EdsChecksumText(const TBiSS_bank& b)
{
    return "Checksum: " + Dec(b[63]);
}

EdsReadOutcome ReadEds(Link& link, EncoderIdentity& identity, bool profileIsBp3)
{
    EdsReadOutcome out;
    link.EdsProfileBank = kBankNotRead;
    link.UserBankFirst = kBankNotRead;
    link.UserBankLast = kBankNotRead;
    link.EdsDataLength = 0;
    link.EdsCommonChecksumOk = false;
    link.PositionMTLength = 0;
    link.PositionSTLength = 0;
    link.EdsProfileChecksumOk = false;

    const uint16_t commonBank = link.EncoderSignature.EDS_Common_bank_num;
    if (commonBank == kBankNotRead)
        return out;
    out.started = true;

    auto fail = [&]() -> EdsReadOutcome& {
        out.statusOk = false;
        out.statusText = "Error\r\n" + link.LastErrorText;
        identity.EncoderConnected = false;
        return out;
    };

    if (!SelectAndReadBank(link, commonBank))
        return fail();
    const TBiSS_bank& common = link.RxBank;
    out.commonText = EdsCommonText(common);
    out.commonChecksum = EdsChecksum{EdsChecksumText(common), EdsChecksumOk(common)};
    link.EdsCommonChecksumOk = out.commonChecksum->ok;
    link.EdsProfileBank = common[20];
    link.EdsDataLength = common[21];
    link.UserBankFirst = common[2];
    link.UserBankLast = common[3];
    out.userBanksKnown = true;

    if (!profileIsBp3) {
        out.profileText = kEdsProfileNotBp3;
        return out;
    }
    if (!SelectAndReadBank(link, link.EdsProfileBank))
        return fail();
    const TBiSS_bank& profile = link.RxBank;
    out.profileText = EdsProfileText(profile);
    out.profileChecksum = EdsChecksum{EdsChecksumText(profile), EdsChecksumOk(profile)};
    link.EdsProfileChecksumOk = out.profileChecksum->ok;
    // Lengths beyond what a frame word can carry would shift the decoding
    // past 64 bits: they are limited, and the status line names them.
    const int declaredMultiturn = profile[10];
    const int declaredSingleturn = profile[12] + profile[14];
    const int multiturn = std::min(declaredMultiturn, kMaxMultiturnLength);
    const int singleturn = std::min(declaredSingleturn, kMaxSingleturnLength);
    link.PositionMTLength = static_cast<uint8_t>(multiturn);
    link.PositionSTLength = static_cast<uint8_t>(singleturn);
    out.fieldLengths = EdsFieldLengths{multiturn, singleturn};
    out.statusOk = true;
    out.statusText = "Comm OK\r\n" + link.LastErrorText;
    if (multiturn != declaredMultiturn || singleturn != declaredSingleturn) {
        out.lengthsLimited = true;
        out.statusText = "Comm OK\r\nEDS lengths out of range: multiturn " + Dec(static_cast<uint32_t>(declaredMultiturn)) +
                         ", singleturn " + Dec(static_cast<uint32_t>(declaredSingleturn)) + " bits; used " +
                         Dec(static_cast<uint32_t>(multiturn)) + " + " + Dec(static_cast<uint32_t>(singleturn));
    }
    return out;
}

std::string EdsDataLengthReport(const Link& link)
{
    return "Total data length\r\nwritten in EDS:  " + Dec(link.EdsDataLength) + "\r\n" +
           "written in 0x43: " + Dec(link.EncoderSignature.SCD_DataLength) + "\r\n" +
           "Multiturn:       " + Dec(link.PositionMTLength) + "\r\n" + "Singleturn:      " + Dec(link.PositionSTLength);
}
