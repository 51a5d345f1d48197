#include "monitor/PositionDisplay.h"

#include "util/NumberText.h"

#include <algorithm>
#include <charconv>

namespace {
// Writes value in decimal into out, reusing its storage.
template <typename T>
void AssignDecimal(std::string& out, T value)
{
    char buf[24];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.assign(buf, result.ptr);
}
} // namespace

float UnitResolution(long long nominator, long long denominator)
{
    if (denominator == 0)
        denominator = 1;
    return static_cast<float>(static_cast<double>(nominator) / static_cast<double>(denominator));
}

void PositionUnits::ScaleChanged(long long nominator, long long denominator)
{
    nominator_ = nominator;
    denominator_ = denominator;
    scale_.resolution = UnitResolution(nominator, denominator);
}

void PositionUnits::SetFamilyScale(long long nominator, long long denominator, std::string unit, EncoderFamily family)
{
    if (family != EncoderFamily::Linear)
        denominator = std::clamp<long long>(scale_.stMaxCount, PositionLimits::kDenominatorMin,
                                            PositionLimits::kDenominatorMax);
    unit_ = std::move(unit);
    ScaleChanged(nominator, denominator);
}

void PositionUnits::SetFieldLengths(int multiturn, int singleturn, EncoderFamily family)
{
    MultiturnLengthChanged(std::clamp(multiturn, 0, PositionLimits::kMultiturnLengthMax));
    if (std::optional<long long> denominator =
            SingleturnLengthChanged(std::clamp(singleturn, 0, PositionLimits::kSingleturnLengthMax), family))
        ScaleChanged(nominator_, *denominator);
}

void PositionUnits::MultiturnLengthChanged(int length)
{
    mtLength_ = static_cast<uint8_t>(length);
    scale_.mtMaxCount = CountRange(length);
}

std::optional<long long> PositionUnits::SingleturnLengthChanged(int length, EncoderFamily family)
{
    stLength_ = static_cast<uint8_t>(length);
    scale_.stMaxCount = CountRange(length);
    if (family == EncoderFamily::Linear)
        return std::nullopt;
    return std::clamp<long long>(scale_.stMaxCount, PositionLimits::kDenominatorMin, PositionLimits::kDenominatorMax);
}

std::string UnitPositionText(float units, std::string_view unitName)
{
    std::string text = FormatNumberText(units, 8, 3);
    text += ' ';
    text += unitName;
    return text;
}

void ComputePositionDisplay(const TEncoderPosition& p, const PositionScale& scale, const RememberedPosition& remembered,
                            bool logOn, std::string_view unitName, PositionTexts& out)
{
    if (scale.mtMaxCount >= 2)
        AssignDecimal(out.multiturn, p.MT_value);
    else
        out.multiturn.clear();
    AssignDecimal(out.singleturn, p.ST_value);

    out.errorText.clear();
    out.errorLamp = p.ErrBit;
    out.warningLamp = p.WarnBit;
    out.crcLamp = p.ErrCRC;
    if (p.ErrBit)
        out.errorText += "Error bit ";
    if (p.WarnBit)
        out.errorText += "Warning bit ";
    if (p.ErrCRC)
        out.errorText += "CRC error ";

    out.logLine.clear();
    if (logOn) {
        // A corrupt word is logged for what it is, never as a jump.
        if (!p.ErrBit && !p.ErrCRC) {
            if (p.MT_value != remembered.mt)
                out.errorText += "MT jump ";
            const int64_t step = static_cast<int64_t>(p.ST_value) - remembered.st;
            if ((step < 0 ? -step : step) > PositionLimits::kSingleturnJump)
                out.errorText += "ST jump ";
        }
        if (!out.errorText.empty()) {
            out.logLine = out.errorText;
            out.logLine += " (";
            out.logLine += p.RxData;
            out.logLine += ')';
        }
    }

    out.counts = static_cast<float>(p.MT_value) * static_cast<float>(scale.stMaxCount);
    out.counts = out.counts + static_cast<float>(p.ST_value);
    out.units = out.counts * scale.resolution;
    out.unitText = UnitPositionText(out.units, unitName);
}
