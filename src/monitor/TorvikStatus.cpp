#include "monitor/TorvikStatus.h"

#include "util/Bits.h"
#include "util/NumberText.h"
#include "util/Text.h"

#include <cmath>
#include <cstdlib>

const std::array<TorvikStatusBit, 14> kTorvikStatusBits = {{
    {0x8000, "pnlMultiturnErr", "Multiturn Err", LampColour::LightRed, nullptr},
    {0x4000, "pnlClipADC", "Ext Magn Field", LampColour::Red, "E: Clipping"},
    {0x2000, "pnlAmplitudaHi", "Signal High", LampColour::Orange, "W: Signal High"},
    {0x1000, "pnlAsicReset", "Sensor Init", LampColour::Red, "E: Sensor Reset"},
    {0x0800, "pnlSyncErr", "Sensor Err", LampColour::Red, "E: Sync error"},
    {0x0400, "pnlNoOffsetTable", "No Calibration", LampColour::Red, nullptr},
    {0x0200, "pnlTError", "Error", LampColour::Red, nullptr},
    {0x0100, "pnlTWarning", "Warning", LampColour::Orange, nullptr},
    {0x0040, "pnlAmplitudaWarn", "Signal Low", LampColour::Orange, "W: Signal low"},
    {0x0020, "pnlAmplitudaErr", "Signal Lost", LampColour::Red, "E: Signal lost"},
    {0x0010, "pnlTemperaturaAsic", "Temerature", LampColour::Orange, "W: Temperature"},
    {0x0008, "pnlVref_out_of_range", "Supply Err", LampColour::Red, "E: Vref out of range"},
    {0x0002, "pnlInvalidPNcode", "Wrong Reading", LampColour::Red, "E: Invalid decoding"},
    {0x0001, "pnlSkokPozicije", "Accelerat Err", LampColour::Red, "E: Acceleration error"},
}};

namespace {
uint16_t BigEndian16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] << 8 | at[1]);
}

// The air gap at a signal level, in extended precision, kept as a 32-bit float.
float GapAt(long double level, const EncoderIdentity& identity)
{
    return static_cast<float>(std::log(level) * identity.AirGapK + identity.AirGapN);
}
} // namespace

long double AirGapOf(int32_t signalLevel, const EncoderIdentity& identity)
{
    const long double level = signalLevel < 1 ? 1 : signalLevel;
    return std::log(level) * identity.AirGapK + identity.AirGapN;
}

std::string AirGapText(long double airGap)
{
    return "Air gap: " + FormatNumberText(airGap, 5, 0) + " \xC2\xB5m (\xC2\xB1" "20 \xC2\xB5m)";
}

float InstallAngle(float units)
{
    // Whole turns come off at once: a position far from zero would take
    // forever a turn at a time. 720 still lands on 360, -360 on 0.
    float angle = units;
    if (angle > 360) {
        angle = std::fmod(angle, 360.0f);
        if (angle == 0)
            angle = 360;
    }
    if (angle < 0) {
        angle = std::fmod(angle, 360.0f);
        if (angle < 0)
            angle += 360;
    }
    return angle;
}

void DecodeTorvikStatus(const uint8_t* block, uint16_t word, const EncoderIdentity& identity, bool log,
                        TorvikStatusReading& reading)
{
    reading.valuesRead = true;
    reading.word = word;
    FormatBitsInto(16, word, reading.bitsText);
    reading.temperature = static_cast<int16_t>(BigEndian16(block + 2));
    reading.temperatureText = std::to_string(reading.temperature);
    const uint16_t level = BigEndian16(block + 4);
    reading.signalText = std::to_string(level);
    reading.signalLevel = level < 1 ? 1 : level;
    reading.airGap = AirGapOf(reading.signalLevel, identity);
    reading.airGapText = AirGapText(reading.airGap);
    reading.velocity = static_cast<int16_t>(BigEndian16(block + 6));
    reading.velocityText = FormatNumberText(static_cast<float>(reading.velocity), 4, 0);
    if (log)
        for (const TorvikStatusBit& bit : kTorvikStatusBits)
            if (bit.logLine && (word & bit.mask))
                reading.logLines.emplace_back(bit.logLine);
}

bool TorvikStatusReadout::Run(Link& link)
{
    ++runs_;
    reading_.valuesRead = false;
    reading_.emptied = false;
    reading_.logLines.clear();
    reading_.point.reset();

    uint16_t persistent = 0;
    if (persistent_) {
        if (!link.ReadRegisters(TorvikRegisters::kPersistentStatus, 2))
            return false;
        persistent = BigEndian16(link.RxBank.data());
    }
    if (!link.ReadRegisters(TorvikRegisters::kStatusBlock, TorvikRegisters::kStatusBlockCount)) {
        reading_.emptied = true;
        return false;
    }
    const uint8_t* block = link.RxBank.data();
    DecodeTorvikStatus(block, persistent_ ? persistent : BigEndian16(block), identity_, log_, reading_);

    const TEncoderPosition& position = link.EncoderPosition;
    const int64_t moved = cycle_.Remembered().st - static_cast<int64_t>(position.ST_value);
    if (draw_ && std::llabs(moved) > kMinMoveCounts) {
        InstallPoint p;
        p.angle = InstallAngle(cycle_.LastTexts().units);
        p.airGap = static_cast<float>(reading_.airGap);
        p.warning = position.WarnBit;
        p.crcError = position.ErrCRC;
        reading_.point = p;
    }
    return true;
}

void SelectPersistentStatusBank(Link& link, const EncoderIdentity& identity)
{
    if (identity.EncoderConnected)
        SelectBank(link, ConfigBank);
}

EncoderOutcome ClearPersistentStatus(Link& link)
{
    return IssueEncoderCommand(link, CmdClearPersistentStatus);
}

InstallChartLimits InstallLimits(const EncoderIdentity& identity, const TEncoderSignature& signature,
                                 const PositionScale& scale)
{
    constexpr uint16_t kTv746NewLimitFirstSvn = 9860;
    const bool oldTv746 = StartsWith(signature.Zolvan_PartNumber, "TV746") && signature.Zolvan_FWverSVN < kTv746NewLimitFirstSvn;
    InstallChartLimits l;
    l.strongest = GapAt(oldTv746 ? 7000 : 19000, identity);
    l.leftMin = l.strongest >= 0 ? 0 : static_cast<double>(l.strongest) - 50;
    l.warning = GapAt(200, identity);
    l.error = GapAt(70, identity);
    l.leftMax = static_cast<double>(l.error) + 50;
    l.bottomMax = identity.DruzinaEnkoderja == EncoderFamily::Linear
                      ? static_cast<double>(scale.stMaxCount) * static_cast<double>(scale.resolution)
                      : 360;
    return l;
}

std::optional<std::string> InstallCopyText(const std::string& serial, const GapStatistics& statistics)
{
    if (statistics.Count() == 0)
        return std::nullopt;
    auto whole = [](double v) { return std::to_string(static_cast<long long>(std::nearbyint(v))); };
    const char* um = " \xC2\xB5m\r\n";
    return "Serial number: " + serial + "\r\n" + "Min: " + whole(statistics.Min()) + um + "Max: " +
           whole(statistics.Max()) + um + "Avg: " + whole(statistics.Average()) + um;
}
