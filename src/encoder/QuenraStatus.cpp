#include "encoder/QuenraStatus.h"

#include "util/NumberText.h"

#include <cmath>

// Bit 9 marks an error and bit 8 a warning; bits 7 (signal high), 6 (signal
// low) and 3 (multiturn) name their source.
const std::array<QuenraStatusLamp, 9> kQuenraStatusLamps{{
    {"pnlQError", "Error", "General Error", 0x0200, 0},
    {"pnlQWarning", "Warning", "General Warning", 0, 0x0100},
    {"pnlQAngle", "Acceleration", "position has changed for > 20\xC2\xB0 in 20 \xC2\xB5sec", 0x2000, 0},
    {"pnlQSafety", "Safety comp.", "Redundacy deviation > 20\xC2\xB0", 0x1000, 0},
    {"pnlQSignalHigh", "Signal High", "", 0x0280, 0x0180},
    {"pnlQSignalLow", "Signal Low", "", 0x0240, 0x0140},
    {"pnlQTemperature", "Temerature", "", 0, 0x0020},
    {"pnlQSpeed", "Speed", "", 0, 0x0010},
    {"pnlQmultiturn", "Multiturn Err", "", 0x0208, 0x0108},
}};

const std::array<BbmLamp, 7> kBbmLamps{{
    {0x01, "pnlQbbmCOMM_ERR", "COMM_ERR", IndicatorColour::Red,
     "Error at internal encoder communication. The cause for this could be physical damage on the communication "
     "lines or irregular intialization procedure."},
    {0x02, "pnlQbbmPOS_ERR", "POS_ERR", IndicatorColour::Red, "General error in position."},
    {0x04, "pnlQbbmBAT_ERR", "BAT_ERR", IndicatorColour::Red, "Battery voltage is below required level."},
    {0x08, "pnlQbbmBAT_WNG", "BAT_WNG", IndicatorColour::Orange, "Battery voltage is near minimum level."},
    {0x10, "pnlQbbmSPEED_ERR", "SPEED_ERR", IndicatorColour::Orange,
     "Encoder\xE2\x80\x99s position changed during initialization. This could cause an error at writing a new MT "
     "counter value."},
    {0x20, "pnlQbbmPOS_WNG", "POS_WNG", IndicatorColour::Orange,
     "Multiturn value is checked at a regular interval. Error was detected during this check. See POS_ERR. Position "
     "is still valid but it won\xE2\x80\x99t be anymore on the next power on."},
    {0x40, "pnlQbbmCOMM_WNG", "COMM_WNG", IndicatorColour::Orange,
     "Communication error occured during regular status checking."},
}};

IndicatorColour QuenraLampColour(const QuenraStatusLamp& lamp, uint16_t word)
{
    if (lamp.redMask && (word & lamp.redMask) == lamp.redMask)
        return IndicatorColour::Red;
    if (lamp.orangeMask && (word & lamp.orangeMask) == lamp.orangeMask)
        return IndicatorColour::Orange;
    return IndicatorColour::Grey;
}

std::string TenthsText(int16_t tenths, const char* unit)
{
    const float value = static_cast<float>(tenths) / 10;
    return FormatNumberText(value, 4, 1) + " " + unit;
}

namespace {
float BarLength(int32_t signalLevel)
{
    return std::sqrt(static_cast<float>(signalLevel) * 4096.0f);
}
} // namespace

int QuenraSignalBarHeight(int32_t signalLevel)
{
    const double height = std::nearbyint(static_cast<double>(BarLength(signalLevel)) / 50.0);
    return height > kQuenraSignalBarRoom ? kQuenraSignalBarRoom : static_cast<int>(height);
}

long double QuenraAirGap(int32_t signalLevel, const std::string& magnetType)
{
    const long double x = BarLength(signalLevel);
    if (magnetType == "12")
        return -9.48079314161128e-11L * x * x * x + 1.152548104716117e-6L * x * x - 0.005813222201102L * x +
               14.499253758576048L;
    if (magnetType == "16")
        return -3.73436843455305e-11L * x * x * x + 6.334736113575181e-7L * x * x - 0.004080080421252L * x +
               13.493650604761813L;
    return 0;
}

std::string QuenraAirGapText(long double airGap, const std::string& magnetType)
{
    return "Air gap: " + FormatNumberText(airGap, 5, 1) + " \xC2\xB1" "0.3 mm with magnet " + magnetType + " mm";
}
