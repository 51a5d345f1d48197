#pragma once
// The status registers of Quenra encoders as the "Quenra Status" page shows
// them: the status word with its nine lamps, temperature, velocity, signal
// level with its bar and the air gap it gives for the magnet, and the
// battery-buffered multiturn (BBM) status byte with its seven lamps.

#include "encoder/Indicator.h"

#include <array>
#include <cstdint>
#include <string>

namespace QuenraRegisters {
constexpr uint8_t kStatus = 0x4A;      // unsigned 16-bit
constexpr uint8_t kTemperature = 0x4C; // signed 16-bit, 0.1 degree C
constexpr uint8_t kVelocity = 0x4E;    // signed 16-bit, 0.1 Hz
constexpr uint8_t kSignalLevel = 0x51; // unsigned 16-bit
constexpr uint8_t kBbmStatus = 0x53;   // one byte
} // namespace QuenraRegisters

// A lamp of the status word: red when every bit of redMask is set, else
// orange when every bit of orangeMask is set, else grey (a mask of 0 never lights).
struct QuenraStatusLamp {
    const char* panel;
    const char* caption;
    const char* hint; // tooltip, or empty
    uint16_t redMask;
    uint16_t orangeMask;
};
extern const std::array<QuenraStatusLamp, 9> kQuenraStatusLamps;
IndicatorColour QuenraLampColour(const QuenraStatusLamp& lamp, uint16_t word);

// A lamp of the BBM status byte: its colour while the bit is set, grey when clear.
struct BbmLamp {
    uint8_t mask;
    const char* panel;
    const char* caption;
    IndicatorColour colour;
    const char* hint; // UTF-8
};
extern const std::array<BbmLamp, 7> kBbmLamps;

// A value in tenths as its panel shows it: "24.5 °C" (UTF-8).
std::string TenthsText(int16_t tenths, const char* unit);

// The signal bar grows from the bottom of its background, 141 pixels high:
// the square root of level x 4096, over 50, halves to even. A level beyond
// the background's top fills it and stops there.
constexpr int kQuenraSignalBarRoom = 141;
int QuenraSignalBarHeight(int32_t signalLevel);
// The air gap in mm at a signal level for the magnet type of the part
// number ("12" or "16" mm); 0 for any other magnet.
long double QuenraAirGap(int32_t signalLevel, const std::string& magnetType);
// "Air gap: 1.2 ±0.3 mm with magnet 12 mm" (UTF-8).
std::string QuenraAirGapText(long double airGap, const std::string& magnetType);
