#include "sim/SimEncoder.h"

#include "link/Position.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace sim;

uint8_t sim::ByteSum(const uint8_t* bytes, size_t first, size_t last)
{
    unsigned sum = 0;
    for (size_t i = first; i <= last; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

namespace {
constexpr double kPi = 3.14159265358979323846;

// Deterministic noise: a well-mixed 64-bit hash.
uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in [-1, 1).
double Noise(uint64_t seed)
{
    return static_cast<double>(Mix(seed) >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

void PutBE(uint8_t* at, uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        at[i] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

uint32_t GetBE(const uint8_t* at, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | at[i];
    return value;
}

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

// Samples per code bit on the sensor array. For rings of 5 to 8 bits this is
// the decoding step of the Debug page, so its decoding points sit on
// the bits; a 9-bit ring lays its nine bits over the 48 samples that the
// spectrum takes, so that its strongest bin is the code length like for the
// others (the page's step of 6 for it is only roughly right).
double SamplePitch(int codeLength)
{
    switch (codeLength) {
    case 5: return 10;
    case 6: return 8;
    case 7: return 7;
    case 8: return 6;
    default: return 48.0 / 9.0;
    }
}

// One period of the sensor pattern over a code bit, phase 0-1: a sine with
// flattened crests, as a magnetic code track gives it.
double Pattern(double phase)
{
    return std::tanh(2.0 * std::sin(2 * kPi * phase)) / std::tanh(2.0);
}
} // namespace

bool ParseSimFamily(std::string_view text, SimFamily& out)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (lower == "torvik")
        out = SimFamily::Torvik;
    else if (lower == "quenra")
        out = SimFamily::Quenra;
    else if (lower == "linear")
        out = SimFamily::Linear;
    else if (lower == "foreign")
        out = SimFamily::Foreign;
    else
        return false;
    return true;
}

const char* SimFamilyName(SimFamily family)
{
    switch (family) {
    case SimFamily::Quenra: return "quenra";
    case SimFamily::Linear: return "linear";
    case SimFamily::Foreign: return "foreign";
    case SimFamily::Torvik: break;
    }
    return "torvik";
}

SimEncoder::SimEncoder(const SimOptions& options, Clock::time_point now)
{
    BuildIdentity(options);
    BuildFactoryMemory(options);
    faults_ = options.faults;
    speed_ = options.speed;
    movedAt_ = now;
    // Start somewhere in the middle of a turn, a few turns up.
    counts_ = int64_t{3} << info_.stLength | (int64_t{5} << (info_.stLength > 3 ? info_.stLength - 3 : 0));
    ram_ = nv_;
    powerWanted_ = options.powerOnAtStart;
    UpdateSupply(now);
}

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
    info_.userBankFirst = d.userFirst;
    info_.userBankLast = d.userLast;
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
    // User memory leaves the factory with a recognisable pattern in its first bank.
    Bank& user = nv_.banks[info_.userBankFirst];
    const char* note = "user memory";
    std::memcpy(user.data(), note, std::strlen(note));
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

bool SimEncoder::ErrorMapBank(uint8_t bank) const
{
    return info_.maker && bank >= info_.errorMapFirstBank && bank < 16;
}

bool SimEncoder::UserBank(uint8_t bank) const
{
    return bank >= info_.userBankFirst && bank <= info_.userBankLast;
}

bool SimEncoder::ProtectedBank(uint8_t bank) const
{
    return info_.maker && bank >= kDebugBank && bank <= kHardFaultBank1;
}

bool SimEncoder::WriteProtected() const
{
    return info_.maker && ram_.banks[kConfigBank][0x2E] != kWriteAllowedMarker;
}

void SimEncoder::RefreshChecksums(Memory& memory) const
{
    if (!info_.maker)
        return;
    Bank& config = memory.banks[kConfigBank];
    PutBE(&config[0x2C], memory.persistentStatus, 2);
    for (uint8_t b = info_.errorMapFirstBank; b < 16; ++b) {
        const uint8_t at = static_cast<uint8_t>(0x2F + b);
        // The firmware version may sit on the first checksum bytes; it wins.
        if (at >= info_.fwAddress && at < info_.fwAddress + 8)
            continue;
        config[at] = ByteSum(memory.banks[b].data(), 0, 63);
    }
    config[0x3F] = ByteSum(config.data(), 0, 0x3E);
}

void SimEncoder::SetFaults(const SimFaults& faults, Clock::time_point now)
{
    faults_ = faults;
    UpdateSupply(now);
}

void SimEncoder::SetPower(bool on, Clock::time_point now)
{
    powerWanted_ = on;
    UpdateSupply(now);
}

void SimEncoder::UpdateSupply(Clock::time_point now)
{
    Advance(now);
    const bool supplied = powerWanted_ && !faults_.encoderUnpowered;
    if (supplied == powered_)
        return;
    powered_ = supplied;
    if (supplied) {
        ram_ = nv_;
        selected_ = 0;
        unlocked_ = false;
        key_ = previousKey_ = 0;
        poweredAt_ = now;
        ++sensorResets_;
    } else {
        busy_ = Busy::No; // a calibration in progress is lost
    }
}

double SimEncoder::SecondsOn(Clock::time_point now) const
{
    return std::chrono::duration<double>(now - poweredAt_).count();
}

void SimEncoder::Advance(Clock::time_point now)
{
    if (now > movedAt_) {
        double delta = speed_ * countsPerSpeedSecond_ * std::chrono::duration<double>(now - movedAt_).count() + fraction_;
        double whole = std::floor(delta);
        counts_ += static_cast<int64_t>(whole);
        fraction_ = delta - whole;
        movedAt_ = now;
    }
    if (busy_ != Busy::No && now >= busyUntil_) {
        if (busy_ == Busy::Calibrating) {
            calCounter_ = static_cast<uint8_t>((calCounter_ + 1) & 3);
            calFlags_ = calPendingFlags_;
            ++calibrationsRun_;
            if (info_.fwSvn >= 2589 && !(calFlags_ & (kCalTimeout | kCalArcOutOfRange))) {
                // The results go to the configuration bank and are stored at once.
                for (Memory* m : {&ram_, &nv_}) {
                    Bank& config = m->banks[kConfigBank];
                    PutBE(&config[0x1B], static_cast<uint64_t>(std::lround(eccentricityUm_)), 2);
                    PutBE(&config[0x1D], 137, 2);
                    PutBE(&config[0x1F], static_cast<uint16_t>(int16_t{-12}), 2);
                    RefreshChecksums(*m);
                }
            }
        }
        busy_ = Busy::No;
    }
}

bool SimEncoder::AnswersRegisters(Clock::time_point now)
{
    Advance(now);
    return powered_ && busy_ == Busy::No;
}

bool SimEncoder::AnswersPosition(Clock::time_point now)
{
    Advance(now);
    return powered_;
}

void SimEncoder::SetSpeed(double speed, Clock::time_point now)
{
    Advance(now);
    speed_ = speed;
}

void SimEncoder::SetShaftPosition(int64_t turns, uint32_t singleturn, Clock::time_point now)
{
    Advance(now);
    const int64_t period = int64_t{1} << info_.stLength;
    counts_ = turns * period + static_cast<int64_t>(singleturn % static_cast<uint64_t>(period));
    fraction_ = 0;
}

uint32_t SimEncoder::Offset() const
{
    return info_.maker ? GetBE(&ram_.banks[kConfigBank][0x00], 4) : 0;
}

uint64_t SimEncoder::ReportedCounts() const
{
    const int64_t period = int64_t{1} << info_.stLength;
    return static_cast<uint64_t>(counts_ - static_cast<int64_t>(Offset()) + ram_.multiturnBase * period);
}

SimPosition SimEncoder::ReportedPosition(Clock::time_point now)
{
    Advance(now);
    SimPosition pos;
    pos.mtLength = info_.mtLength;
    pos.stLength = info_.stLength;
    const int64_t period = int64_t{1} << info_.stLength;
    const int64_t v = static_cast<int64_t>(ReportedCounts());
    const int64_t turns = FloorDiv(v, period);
    pos.singleturn = static_cast<uint32_t>(v - turns * period);
    pos.multiturn = info_.mtLength ? static_cast<int64_t>(static_cast<uint64_t>(turns) &
                                                          ((uint64_t{1} << info_.mtLength) - 1))
                                   : 0;
    return pos;
}

double SimEncoder::Angle() const
{
    const int bits = info_.family == SimFamily::Linear ? 20 : info_.stLength;
    const int64_t period = int64_t{1} << bits;
    int64_t within = counts_ % period;
    if (within < 0)
        within += period;
    return (static_cast<double>(within) + fraction_) / static_cast<double>(period);
}

double SimEncoder::HealthyLevel() const
{
    return info_.family == SimFamily::Quenra ? 6100.0 : 2400.0;
}

double SimEncoder::SignalLevel(Clock::time_point now)
{
    Advance(now);
    const uint64_t tick = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                    now.time_since_epoch())
                                                    .count());
    // The ring runs slightly eccentric, so the air gap and with it the signal
    // level swing once per turn around their mean, with a little noise.
    const double mean = faults_.signalLevel ? faults_.signalLevel : HealthyLevel();
    const double depth = info_.family == SimFamily::Quenra ? 0.10 : 0.25;
    const double wobble = std::sin(2 * kPi * Angle());
    return std::clamp(mean * (1.0 + depth * wobble + 0.01 * Noise(tick * 3 + 2)), 0.0, 65535.0);
}

uint16_t SimEncoder::StatusWord(Clock::time_point now)
{
    Advance(now);
    uint16_t word = faults_.extraStatus;
    if (faults_.errorBit)
        word |= 0x0200;
    if (faults_.warningBit)
        word |= 0x0100;
    if (info_.maker) {
        // The signal level raises its own bits, at the limits the tool draws
        // (the Torvik status page: 19000 strongest, 200 warning, 70 error) for the Torvik
        // line, and around the ends of the Quenra status page's signal bar for Quenra.
        const double level = SignalLevel(now);
        if (info_.family == SimFamily::Quenra) {
            if (level > 11000)
                word |= 0x0280; // signal high, error
            else if (level > 9000)
                word |= 0x0180; // signal high, warning
            else if (level < 400)
                word |= 0x0240; // signal low, error
            else if (level < 1000)
                word |= 0x0140; // signal low, warning
            if (std::fabs(speed_) > 6000)
                word |= 0x0110; // faster than the datasheet's maximum speed
        } else {
            if (level >= 30000)
                word |= 0x4200; // the converter clips: external field
            if (level >= 19000)
                word |= 0x2100; // signal high, warning
            else if (level < 70)
                word |= 0x0220; // signal lost, error
            else if (level < 200)
                word |= 0x0140; // signal low, warning
        }
    }
    if ((ram_.persistentStatus | word) != ram_.persistentStatus) {
        // The encoder latches every status bit it raises until told to forget.
        ram_.persistentStatus |= word;
        nv_.persistentStatus |= word;
        RefreshChecksums(ram_);
        RefreshChecksums(nv_);
    }
    return word;
}

uint64_t SimEncoder::PositionFrame(Clock::time_point now)
{
    const uint16_t status = StatusWord(now);
    const SimPosition pos = ReportedPosition(now);
    const bool error = (status & 0x0200) != 0;
    const bool warning = (status & 0x0100) != 0;
    uint64_t frame = EncodePositionFrame(static_cast<uint64_t>(pos.multiturn), pos.singleturn, pos.mtLength,
                                         pos.stLength, error, warning);
    if (faults_.crcError)
        frame ^= uint64_t{1} << (56 - pos.mtLength - pos.stLength); // lowest CRC bit
    return frame;
}

void SimEncoder::FillStatusBlock(Clock::time_point now)
{
    statusBlock_.fill(0);
    if (!info_.maker)
        return;
    const uint16_t status = StatusWord(now);
    const double seconds = SecondsOn(now);
    const uint64_t tick = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                    now.time_since_epoch())
                                                    .count());
    // Warms up from 24 C towards 33 C after switching on.
    const double temperature = 24.0 + 9.0 * (1.0 - std::exp(-seconds / 180.0)) + 0.3 * Noise(tick * 3 + 1);
    const double level = SignalLevel(now);
    uint8_t* s = statusBlock_.data(); // s[0] is register 0x4A
    // Bit 6: the stored error map is no longer the factory's (a user map is in use).
    bool userMap = false;
    for (uint8_t b = info_.errorMapFirstBank; b < 16 && !userMap; ++b)
        userMap = nv_.banks[b] != factoryErrorMap_[b - 8];
    const uint8_t cal = static_cast<uint8_t>(calCounter_ | calFlags_ | (userMap ? kCalUserErrorMap : 0));
    if (info_.family == SimFamily::Quenra) {
        PutBE(&s[0], status, 2);
        PutBE(&s[2], static_cast<uint16_t>(static_cast<int16_t>(std::lround(temperature * 10))), 2);
        PutBE(&s[4], static_cast<uint16_t>(static_cast<int16_t>(std::lround(speed_ / 60.0 * 10.0))), 2);
        s[6] = cal;                                                  // 0x50
        PutBE(&s[7], static_cast<uint16_t>(std::lround(level)), 2); // 0x51-0x52
        s[9] = faults_.bbmStatus;                                    // 0x53
    } else {
        PutBE(&s[0], status, 2);
        PutBE(&s[2], static_cast<uint16_t>(static_cast<int16_t>(std::lround(temperature))), 2);
        PutBE(&s[4], static_cast<uint16_t>(std::lround(level)), 2);
        PutBE(&s[6], static_cast<uint16_t>(static_cast<int16_t>(std::lround(std::clamp(speed_, -32768.0, 32767.0)))),
              2);
        s[8] = cal; // 0x52
    }
}

void SimEncoder::FillDebugBank(Clock::time_point now)
{
    Bank& d = ram_.banks[kDebugBank];
    d.fill(0);
    const int length = info_.codeLength;
    const double pitch = SamplePitch(length);
    const size_t ringSize = codeRing_.size();
    // The sample noise follows the number of snapshots taken, not the clock, so
    // the same reads give the same samples on every run.
    const uint64_t tick = ++debugSnapshots_;
    // Where the sensor sits on the code ring: code position p and how far into its bit.
    const double ring = Angle() * static_cast<double>(ringSize);
    const size_t p = static_cast<size_t>(ring) % ringSize;
    const double frac = ring - std::floor(ring);
    auto bit = [&](size_t k) { return codeRing_[(p + k) % ringSize]; };
    // Each code bit spans one period of the sensor pattern: a full wave for a
    // 1, a weak one for a 0, so that the pattern's period stands out in the
    // spectrum and the samples at the wave crests read the bits. The amplitude
    // drifts across the array as far as the sensor is tilted: the Debug page's
    // tilt figure is 100 times the difference of the slopes of the upper and
    // lower envelope, so each envelope leans by tilt / 200 per sample.
    // The waves are about 48 high at the healthy signal level and grow with the
    // square root of the level; the converter clips them at its ends.
    const double slope = sensorTilt_ / 200.0;
    // The waves follow the mean signal level; the once-per-turn swing of the
    // eccentric ring is left out so that the envelopes over a turn keep the
    // tilt's slope instead of the few angles where the swing peaks.
    (void)now;
    const double meanLevel = faults_.signalLevel ? faults_.signalLevel : HealthyLevel();
    const double strength = 48.0 * std::sqrt(meanLevel / HealthyLevel());
    for (int i = 0; i < 53; ++i) {
        const double x = i + frac * pitch;
        const size_t k = static_cast<size_t>(x / pitch);
        const double phase = (x - static_cast<double>(k) * pitch) / pitch;
        const double amplitude = strength + slope * (i - 26);
        const double v = (bit(k) ? 1.0 : 0.35) * amplitude * Pattern(phase) +
                         1.5 * Noise(tick * 64 + static_cast<uint64_t>(i));
        d[static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<int8_t>(std::clamp(std::lround(v), -128L, 127L)));
    }
    // The sample nearest to a quarter into a bit (its crest) is where decoding starts.
    double crest = pitch * (0.25 - frac);
    crest -= std::floor(crest / pitch) * pitch;
    int first = static_cast<int>(std::lround(crest));
    if (first >= static_cast<int>(std::ceil(pitch - 1e-9)))
        first = 0; // rounded up onto the next crest: the one half a sample before sample 0 is as near
    // The code word is read from the bit under the first decoding sample on.
    const size_t firstBit = static_cast<size_t>((first + frac * pitch) / pitch);
    auto word = [&](size_t from) {
        uint16_t code = 0;
        for (int j = 0; j < length; ++j)
            code = static_cast<uint16_t>(code << 1 | bit(from + static_cast<size_t>(j)));
        return code;
    };
    const uint16_t codeA = word(firstBit);
    // A sensor error: the second reading disagrees.
    const uint16_t codeB = (StatusWord(now) & 0x0800) ? word(firstBit + 1) : codeA;
    // A cycle takes 10 to 10.5 us, counted in periods of the encoder's clock.
    const uint16_t cycle = static_cast<uint16_t>(clockMhz_ * 10 + Mix(tick * 7 + 5) % (clockMhz_ / 2 + 1));
    PutBE(&d[0x36], codeA, 2);
    PutBE(&d[0x38], codeB, 2);
    if (info_.fwComm >= 8) {
        d[0x35] = static_cast<uint8_t>(first + 1);
        PutBE(&d[0x3A], cycle, 2);
        d[0x3C] = sensorResets_;
    } else {
        PutBE(&d[0x3A], static_cast<uint16_t>(static_cast<int16_t>(std::lround(std::clamp(speed_, -32768.0, 32767.0)))),
              2);
        PutBE(&d[0x3C], cycle, 2);
        d[0x3E] = sensorResets_;
    }
}

uint8_t SimEncoder::ReadFixed(uint8_t address, Clock::time_point now)
{
    switch (address) {
    case 0x40: return selected_;
    case 0x41: return info_.edsBank;
    case 0x42: return 0x62;
    case 0x43: return static_cast<uint8_t>(info_.mtLength + info_.stLength + 2);
    case 0x44: case 0x45: case 0x46: case 0x47:
        return static_cast<uint8_t>(serial_ >> (8 * (0x47 - address)));
    case 0x7E: return info_.maker ? static_cast<uint8_t>(kMakerId & 0xFF) : 0x69;
    case 0x7F: return info_.maker ? static_cast<uint8_t>(kMakerId >> 8) : 0x43;
    default: break;
    }
    if (address >= 0x78 && address <= 0x7D)
        return deviceId_[address - 0x78];
    if (!info_.maker)
        return 0;
    if (address >= 0x4A && address <= 0x5B) {
        FillStatusBlock(now);
        return statusBlock_[address - 0x4A];
    }
    if (address >= 0x5C && address <= 0x63)
        return address - 0x5C < static_cast<int>(serialText_.size()) ? static_cast<uint8_t>(serialText_[address - 0x5C])
                                                                       : 0;
    if (address >= 0x64 && address <= 0x77)
        return address - 0x64 < static_cast<int>(partNumber_.size())
                   ? static_cast<uint8_t>(partNumber_[address - 0x64])
                   : 0;
    return 0; // KEY and CMD read as 0
}

uint8_t SimEncoder::ReadBank(uint8_t bank, uint8_t address, Clock::time_point now)
{
    if (bank == kDebugBank && info_.maker) {
        if (now != debugFilledAt_) { // one snapshot per read
            FillDebugBank(now);
            debugFilledAt_ = now;
        }
        return ram_.banks[bank][address];
    }
    if (bank == kConfigBank && info_.maker) {
        if (address == 0x2C || address == 0x2D)
            StatusWord(now); // latch what is raised now
        Bank config = ram_.banks[kConfigBank];
        if (faults_.badErrorMapChecksum) {
            const uint8_t at = static_cast<uint8_t>(0x2F + 15);
            config[at] ^= 0x01;
            config[0x3F] = ByteSum(config.data(), 0, 0x3E);
        }
        if (faults_.badConfigChecksum)
            config[0x3F] ^= 0x01;
        return config[address];
    }
    uint8_t value = ram_.banks[bank][address];
    if (address == 63 && ((bank == info_.edsBank && faults_.badEdsChecksum) ||
                          (bank == info_.profileBank && faults_.badProfileChecksum)))
        value ^= 0x01;
    return value;
}

uint8_t SimEncoder::Read(uint8_t address, Clock::time_point now)
{
    Advance(now);
    if (address >= 0x40)
        return ReadFixed(address, now);
    return ReadBank(selected_, address, now);
}

bool SimEncoder::Writable(uint8_t address) const
{
    if (address >= 0x80)
        return false;
    if (address == kRegBankSelect)
        return true;
    if (address == kRegKey || address == kRegCmd)
        return info_.maker;
    if (address > 0x40)
        return false;
    const uint8_t bank = selected_;
    if (UserBank(bank))
        return !WriteProtected();
    if (!info_.maker)
        return false;
    if (bank == kConfigBank)
        return !WriteProtected() && address <= 0x2E && address != 0x2C && address != 0x2D;
    if (ErrorMapBank(bank))
        return !WriteProtected();
    return false;
}

void SimEncoder::Write(uint8_t address, uint8_t value, Clock::time_point now)
{
    Advance(now);
    if (address == kRegKey) {
        previousKey_ = key_;
        key_ = value;
        return;
    }
    if (address == kRegCmd) {
        Execute(value, now);
        key_ = previousKey_ = 0;
        return;
    }
    key_ = previousKey_ = 0; // a key counts only right before its command
    if (address == kRegBankSelect) {
        // Diagnostic banks are refused until unlocked: the selection falls back to bank 0.
        selected_ = ProtectedBank(value) && !unlocked_ ? 0 : value;
        return;
    }
    const uint8_t bank = selected_;
    ram_.banks[bank][address] = value;
    if (!info_.maker && UserBank(bank))
        nv_.banks[bank][address] = value; // plain EEPROM: written through
    if (info_.maker && bank == kConfigBank && address == 0x2E && value != kWriteAllowedMarker) {
        // Locking is irreversible: the lock is stored at once, saved or not.
        nv_.banks[kConfigBank][0x2E] = value;
        RefreshChecksums(nv_);
    }
    if (bank == kConfigBank || ErrorMapBank(bank))
        RefreshChecksums(ram_);
}

void SimEncoder::Execute(uint8_t command, Clock::time_point now)
{
    if (!info_.maker)
        return;
    if (command == kCmdUnlock) {
        if (previousKey_ == kCommandKey && key_ == kUnlockKey)
            unlocked_ = true;
        return;
    }
    if (key_ != kCommandKey)
        return;
    Bank& config = ram_.banks[kConfigBank];
    switch (command) {
    case kCmdSaveToFlash:
        nv_.banks[kConfigBank] = config;
        for (uint8_t b = info_.errorMapFirstBank; b < 16; ++b)
            nv_.banks[b] = ram_.banks[b];
        RefreshChecksums(nv_);
        break;
    case kCmdSaveUserMemory:
        for (unsigned b = info_.userBankFirst; b <= info_.userBankLast; ++b)
            nv_.banks[b] = ram_.banks[b];
        break;
    case kCmdNewMultiturn: {
        const uint8_t base = info_.family == SimFamily::Quenra ? 0x04 : 0x14;
        const int64_t wanted = static_cast<int32_t>(GetBE(&config[base], 4));
        const int64_t period = int64_t{1} << info_.stLength;
        const int64_t turns = FloorDiv(counts_ - static_cast<int64_t>(Offset()), period);
        ram_.multiturnBase = nv_.multiturnBase = wanted - turns;
        break;
    }
    case kCmdFactoryReset: {
        Bank fresh = factoryConfig_;
        fresh[0x2E] = config[0x2E]; // a lock stays
        for (Memory* m : {&ram_, &nv_}) {
            m->banks[kConfigBank] = fresh;
            for (uint8_t b = info_.errorMapFirstBank; b < 16; ++b)
                m->banks[b] = factoryErrorMap_[b - 8];
            m->persistentStatus = 0;
            RefreshChecksums(*m);
        }
        calFlags_ = 0;
        busy_ = Busy::Resetting;
        busyUntil_ = now + std::chrono::milliseconds(300);
        break;
    }
    case kCmdClearPersistentStatus:
        ram_.persistentStatus = nv_.persistentStatus = 0;
        RefreshChecksums(ram_);
        RefreshChecksums(nv_);
        break;
    case kCmdStartCalibration:
        StartCalibration(now);
        break;
    default:
        break;
    }
}

void SimEncoder::StartCalibration(Clock::time_point now)
{
    const Bank& config = ram_.banks[kConfigBank];
    const unsigned arc = GetBE(&config[0x19], 2);
    unsigned timeoutS = info_.fwSvn >= 9568 ? config[0x21] : 10;
    if (timeoutS == 0)
        timeoutS = 10;
    busy_ = Busy::Calibrating;
    calFlags_ = 0;
    double seconds;
    if (arc < 180 || arc > 360) {
        calPendingFlags_ = kCalArcOutOfRange;
        seconds = 0.2;
    } else {
        // The shaft has to turn through the arc before the time-out.
        const double degreesPerSecond = std::fabs(speed_) * 6.0;
        const double needed = degreesPerSecond > 0 ? arc / degreesPerSecond : 1e9;
        if (needed > timeoutS) {
            calPendingFlags_ = kCalTimeout;
            seconds = timeoutS;
        } else {
            calPendingFlags_ = eccentricityUm_ > 150 ? kCalOutOfRange : eccentricityUm_ < 3 ? kCalNoCorrection : 0;
            seconds = std::max(needed, 0.05);
        }
    }
    busyUntil_ = now + std::chrono::microseconds(static_cast<int64_t>(seconds * 1e6));
}

SimEncoder::Bank SimEncoder::BankImage(uint8_t bank, Clock::time_point now)
{
    Advance(now);
    Bank image{};
    for (uint8_t a = 0; a < 64; ++a)
        image[a] = ReadBank(bank, a, now);
    return image;
}

SimEncoder::Bank SimEncoder::FixedArea(Clock::time_point now)
{
    Advance(now);
    Bank image{};
    for (uint8_t a = 0; a < 64; ++a)
        image[a] = ReadFixed(static_cast<uint8_t>(0x40 + a), now);
    return image;
}
