// The encoder's factory make-up: its identity and code ring, the datasheet and
// profile banks, the configuration bank with the firmware words, the error map
// and the hard-fault record.
#include "sim/SimEncoder.h"
#include "sim/SimEncoderDetail.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace sim;
using namespace sim::detail;

namespace {
void PutText(uint8_t* at, size_t width, const std::string& text)
{
    std::memset(at, 0, width);
    std::memcpy(at, text.data(), std::min(width, text.size()));
}

struct FamilyDefaults {
    const char* partNumber;
    const char* firmware;
    uint32_t serial;
    uint8_t mtLength, coarse, fine;
    uint8_t userFirst, userLast;
};

const FamilyDefaults& Defaults(SimFamily family)
{
    static const FamilyDefaults torvik{"TV657-18B16-000", "2.5.8.9600", 1234567, 16, 12, 6, 24, 27};
    static const FamilyDefaults quenra{"QN220-17B-12-000", "2.3.9.8120", 2345678, 16, 11, 6, 24, 25};
    static const FamilyDefaults linear{"LN7-A-001-26-000", "2.5.8.9600", 3456789, 0, 20, 6, 24, 25};
    static const FamilyDefaults foreign{"", "", 0x00C0FFEE, 12, 18, 0, 24, 39};
    switch (family) {
    case SimFamily::Quenra:
        return quenra;
    case SimFamily::Linear:
        return linear;
    case SimFamily::Foreign:
        return foreign;
    case SimFamily::Torvik:
        break;
    }
    return torvik;
}

// The code word length of the ring a part number names, by the table the tool
// decodes it with on the Direct registers page, so that the debug samples match what the tool
// expects of the ring.
int CodeLengthOf(const std::string& partNumber)
{
    static const struct {
        const char* prefix;
        int length;
    } kRings[] = {{"TV617", 6}, {"TV634", 6}, {"TV641", 7}, {"TV657", 7}, {"TV662", 8},
                  {"TV718", 8}, {"TV735", 8}, {"TV746", 9}, {"TV782", 9}, {"LN7", 5}};
    for (const auto& ring : kRings)
        if (partNumber.rfind(ring.prefix, 0) == 0)
            return ring.length;
    return 8;
}

bool ParseFirmware(const std::string& text, uint16_t out[4])
{
    unsigned parts[4] = {0, 0, 0, 0};
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        size_t start = at;
        unsigned long value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + static_cast<unsigned long>(text[at] - '0');
            if (value > 0xFFFF)
                return false;
            ++at;
        }
        if (at == start)
            return false;
        parts[i] = static_cast<unsigned>(value);
        if (i < 3) {
            if (at >= text.size() || text[at] != '.')
                return false;
            ++at;
        }
    }
    if (at != text.size())
        return false;
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint16_t>(parts[i]);
    return true;
}

// Primitive feedback taps for code rings of 5 to 9 bits: each ring is a
// maximal-length sequence, so every code word appears once per turn.
std::vector<uint8_t> CodeRing(int length)
{
    // Shifting right, the feedback is the parity of the output bit and the
    // bits that stand for the polynomial's middle terms.
    uint32_t taps = 0;
    switch (length) {
    case 5: taps = 0x01 | 0x04; break;               // x^5 + x^3 + 1
    case 6: taps = 0x01 | 0x02; break;               // x^6 + x^5 + 1
    case 7: taps = 0x01 | 0x02; break;               // x^7 + x^6 + 1
    case 8: taps = 0x01 | 0x04 | 0x08 | 0x10; break; // x^8 + x^6 + x^5 + x^4 + 1
    default: taps = 0x01 | 0x10; length = 9; break;  // x^9 + x^5 + 1
    }
    const size_t period = (1u << length) - 1;
    std::vector<uint8_t> bits(period);
    uint32_t state = 1;
    for (size_t i = 0; i < period; ++i) {
        bits[i] = static_cast<uint8_t>(state & 1);
        uint32_t feedback = static_cast<uint32_t>(__builtin_popcount(state & taps) & 1);
        state = (state >> 1) | (feedback << (length - 1));
    }
    return bits;
}
} // namespace

void SimEncoder::BuildIdentity(const SimOptions& options)
{
    const FamilyDefaults& d = Defaults(options.family);
    info_.family = options.family;
    info_.maker = options.family != SimFamily::Foreign;
    partNumber_ = options.partNumber.empty() ? d.partNumber : options.partNumber;
    info_.partNumber = partNumber_;
    uint16_t fw[4] = {0, 0, 0, 0};
    if (info_.maker && !ParseFirmware(options.firmware.empty() ? d.firmware : options.firmware, fw))
        ParseFirmware(d.firmware, fw);
    info_.fwMajor = fw[0];
    info_.fwMinor = fw[1];
    info_.fwComm = fw[2];
    info_.fwSvn = fw[3];
    info_.fwAddress = static_cast<uint8_t>(options.fwAddress == 47 || options.fwAddress == 51 ? options.fwAddress
                                           : fw[0] != 2                                     ? 51
                                                                                            : 47);
    info_.mtLength = d.mtLength;
    info_.stLength = static_cast<uint8_t>(d.coarse + d.fine);
    coarse_ = d.coarse;
    fine_ = d.fine;
    info_.codeLength = options.codeLength >= 5 && options.codeLength <= 9 ? options.codeLength
                       : info_.maker                                        ? CodeLengthOf(partNumber_)
                                                                            : 7;
    info_.edsBank = 16;
    info_.profileBank = 17;
    info_.userBankFirst = static_cast<uint8_t>(options.userBankFirst >= 0 ? options.userBankFirst : d.userFirst);
    info_.userBankLast = static_cast<uint8_t>(options.userBankLast >= 0 ? options.userBankLast : d.userLast);
    info_.errorMapFirstBank = info_.fwMinor >= 3 ? 8 : 12;
    info_.calStatusRegister = options.family == SimFamily::Quenra ? 0x50 : 0x52;
    serial_ = options.serialNumber ? options.serialNumber : d.serial;
    if (info_.maker) {
        // The maker's texts follow the part number and the serial number: the
        // serial as the family letter and seven digits, the extended serial
        // as "K417", the part number's first five letters and digits, and the
        // same seven digits; the device ID is those five characters and 1.
        std::string model;
        for (char c : partNumber_)
            if (model.size() < 5 && c != '-' && c != ' ')
                model += c;
        char digits[16];
        std::snprintf(digits, sizeof digits, "%07u", static_cast<unsigned>(serial_ % 10000000u));
        const char letter = info_.family == SimFamily::Quenra ? 'Q' : info_.family == SimFamily::Linear ? 'L' : 'T';
        serialText_ = std::string(1, letter) + digits;
        extendedSerial_ = "K417" + model + digits;
        for (size_t i = 0; i < 5; ++i)
            deviceId_[i] = i < model.size() ? static_cast<uint8_t>(model[i]) : 0;
        deviceId_[5] = 0x01;
    } else {
        const uint8_t other[6] = {'M', 'B', '4', '0', '2', 0x07};
        std::memcpy(deviceId_, other, 6);
    }
    writeProtectedAtStart_ = options.writeProtected;
    eccentricityUm_ = options.eccentricityUm;
    sensorTilt_ = options.sensorTilt;
    codeRing_ = CodeRing(info_.codeLength);
    // Part numbers with "W84" or "J3" after their start run at 64 MHz, the others at 72.
    const size_t w84 = partNumber_.find("W84"), j3 = partNumber_.find("J3");
    clockMhz_ = (w84 != std::string::npos && w84 > 0) || (j3 != std::string::npos && j3 > 0) ? 64 : 72;

    if (info_.family == SimFamily::Linear) {
        // The scale's resolution is in the part number: characters 7-9 give
        // tenths of a micrometre per count.
        int tenths = 0;
        if (partNumber_.size() >= 9)
            for (size_t i = 6; i < 9; ++i)
                tenths = partNumber_[i] >= '0' && partNumber_[i] <= '9' ? tenths * 10 + (partNumber_[i] - '0') : -1000;
        if (tenths <= 0)
            tenths = 1;
        countsPerSpeedSecond_ = 10000.0 / tenths; // speed in mm/s
    } else {
        countsPerSpeedSecond_ = static_cast<double>(uint64_t{1} << info_.stLength) / 60.0; // speed in rpm
    }
}

void SimEncoder::BuildFactoryMemory(const SimOptions& options)
{
    (void)options;
    BuildEds();
    if (info_.maker) {
        BuildFactoryConfig(factoryConfig_);
        nv_.banks[kConfigBank] = factoryConfig_;
        if (writeProtectedAtStart_)
            nv_.banks[kConfigBank][0x2E] = 0x5A;
        BuildFactoryErrorMap();
        for (uint8_t b = info_.errorMapFirstBank; b < 16; ++b)
            nv_.banks[b] = factoryErrorMap_[b - 8];
        if (info_.fwMinor >= 5)
            PutText(nv_.banks[kExtendedSerialBank].data(), 16, extendedSerial_);
        BuildHardFault();
    }
    // User memory leaves the factory with a recognisable pattern in its first
    // bank (when the range is one and lies above the datasheet).
    if (info_.userBankFirst <= info_.userBankLast && info_.userBankFirst > info_.profileBank) {
        Bank& user = nv_.banks[info_.userBankFirst];
        const char* note = "user memory";
        std::memcpy(user.data(), note, std::strlen(note));
    }
    RefreshChecksums(nv_);
}

void SimEncoder::BuildEds()
{
    Bank& c = nv_.banks[info_.edsBank];
    const bool foreign = info_.family == SimFamily::Foreign;
    c[0] = 1;                                          // EDS version
    c[1] = 2;                                          // banks
    c[2] = info_.userBankFirst;
    c[3] = info_.userBankLast;
    c[4] = 100;                                        // shortest clock period: 10 MHz
    c[5] = 48;                                         // time-out 12 us
    c[6] = 160;                                        //          40 us
    c[7] = foreign ? 40 : 0;                           // time-out S
    c[8] = foreign ? 200 : 0;
    c[9] = foreign ? 2 : 0;                            // TCLK
    c[10] = foreign ? 8 : 0;
    c[11] = 40;                                        // cycle time 10 us
    c[12] = 8;                                         // SCD processing 2 us
    c[13] = 0;
    PutBE(&c[14], 200, 2);                             // power-on delay, ms
    c[16] = 1;                                         // data channels
    c[17] = 1;
    c[18] = 0;
    c[20] = info_.profileBank;
    c[21] = static_cast<uint8_t>(info_.mtLength + info_.stLength + 2);
    c[22] = 0;
    c[23] = 0x21;                                      // x^6 + x + 1 without its lowest term
    c[52] = 0;
    c[63] = ByteSum(c.data(), 0, 62);

    Bank& p = nv_.banks[info_.profileBank];
    const bool linear = info_.family == SimFamily::Linear;
    p[0] = 1;                                          // BP3 version
    p[1] = 1;
    p[2] = 0x00;
    p[3] = 0x62;
    p[4] = 1;                                          // nError bit
    p[5] = 0;                                          // nWarning bit
    p[6] = 200;
    p[8] = linear ? 1 : 0;                             // encoder type
    p[9] = 0;
    p[10] = info_.mtLength;
    p[12] = coarse_;
    p[14] = fine_;
    PutBE(&p[16], info_.mtLength ? uint64_t{1} << info_.mtLength : 0, 4);
    PutBE(&p[20], uint64_t{1} << coarse_, 4);
    PutBE(&p[24], uint64_t{1} << fine_, 4);
    PutBE(&p[28], 0x21, 4);
    PutBE(&p[32], 0, 4);
    PutBE(&p[36], 2 * 80, 2);                          // accuracies, in half counts
    PutBE(&p[38], 2 * 20, 2);
    PutBE(&p[40], 2 * 10, 2);
    PutBE(&p[42], 2 * 2, 2);
    PutBE(&p[44], linear ? 0 : 6000, 2);               // rpm
    PutBE(&p[46], 10000, 2);
    PutBE(&p[48], 233, 2);                             // -40 C
    PutBE(&p[50], 378, 2);                             // 105 C
    PutBE(&p[52], 4500, 2);
    PutBE(&p[54], 5500, 2);
    PutBE(&p[56], 150, 2);
    p[63] = ByteSum(p.data(), 0, 62);
}

void SimEncoder::BuildFactoryConfig(Bank& config) const
{
    config.fill(0);
    PutBE(&config[0x00], 0, 4);          // position offset
    if (info_.family != SimFamily::Quenra)
        PutBE(&config[0x04], 4, 4);      // position filter
    PutBE(&config[0x08], 1000, 4);
    PutBE(&config[0x0C], 8, 4);          // velocity filter
    PutBE(&config[0x10], 500, 4);
    config[0x18] = 32;                   // multiturn error arc: 45 degrees
    PutBE(&config[0x19], 360, 2);        // calibration arc
    config[0x21] = 10;                   // calibration time-out, s
    config[0x2E] = kWriteAllowedMarker;
    const uint16_t words[4] = {info_.fwMajor, info_.fwMinor, info_.fwComm, info_.fwSvn};
    for (int i = 0; i < 4; ++i)
        PutBE(&config[info_.fwAddress + 2 * i], words[i], 2);
}

void SimEncoder::BuildFactoryErrorMap()
{
    // The map a factory calibration leaves: a smooth curve of a few harmonics.
    const int points = 64 * (16 - info_.errorMapFirstBank);
    for (int p = 0; p < points; ++p) {
        double phase = 2 * kPi * p / points;
        double v = 38 * std::sin(phase + 0.4) + 17 * std::sin(3 * phase) + 6 * std::cos(7 * phase);
        int value = static_cast<int>(std::lround(v));
        factoryErrorMap_[info_.errorMapFirstBank - 8 + p / 64][p % 64] = static_cast<uint8_t>(static_cast<int8_t>(value));
    }
}

void SimEncoder::BuildHardFault()
{
    // The record of the last hard fault: fault registers and the stacked frame.
    Bank& a = nv_.banks[kHardFaultBank0];
    const uint32_t words[16] = {0x48464C54, 2,          0x00008200, 0x40000000, 0x00000000, 0x2001FFF8,
                                0x00000000, 0x20000C40, 0x0000001F, 0x00000001, 0x00000000, 0x08003F1D,
                                0x08004A3C, 0x21000000, 0x0001D4C0, 0x5AC3E10F};
    for (int i = 0; i < 16; ++i)
        PutBE(&a[4 * i], words[i], 4);
    Bank& b = nv_.banks[kHardFaultBank1];
    for (int i = 0; i < 16; ++i)
        PutBE(&b[4 * i], 0x20001F00u + static_cast<uint32_t>(Mix(static_cast<uint64_t>(i)) & 0xFFu), 4);
}
