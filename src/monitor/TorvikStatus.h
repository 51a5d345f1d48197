#pragma once
// The Torvik status read-out (it serves the linear family too): the status
// word with its 14 lamps, temperature, signal level, velocity, the air gap
// computed from the signal level, the latched ("persistent") status, the
// status log, and the points and limit lines of the install chart, which
// plots the air gap over the rotation angle. Runs in the monitor cycle while
// the status page is shown (or a recording needs its values); the page shows
// what the last run read.

#include "biss/EncoderIdentity.h"
#include "encoder/EncoderCommands.h"
#include "link/Link.h"
#include "monitor/MonitorCycle.h"
#include "monitor/PositionDisplay.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Lamp colours of the status panels.
enum class LampColour { Silver, Grey, Red, LightRed, Orange };

struct TorvikStatusBit {
    uint16_t mask;
    const char* panel;   // the panel's object name
    const char* caption;
    LampColour colour;   // when the bit is set; grey when clear
    const char* logLine; // what the status log adds, or null
};
// The lamps of the status word, bit 15 first (bits 7 and 2 have none).
extern const std::array<TorvikStatusBit, 14> kTorvikStatusBits;

namespace TorvikRegisters {
constexpr uint8_t kStatusBlock = 0x4A;     // 9 registers: status, temperature, signal level, velocity, one more
constexpr uint8_t kStatusBlockCount = 9;
constexpr uint8_t kPersistentStatus = ConfigRegister::PersistentStatus; // 2 registers of bank 0
} // namespace TorvikRegisters

// A point for the install chart: the air gap at the angle the shaft stood.
struct InstallPoint {
    float angle = 0;
    float airGap = 0;
    bool warning = false;  // the position word's warning bit: an orange point
    bool crcError = false; // a CRC error: a mark near the top of the chart as well
};

// What one run of the read-out found.
struct TorvikStatusReading {
    bool valuesRead = false; // the status block was read: the values below are this run's
    bool emptied = false;    // the status block could not be read: the four value panels are emptied
    uint16_t word = 0;       // the word the lamps show: the live or the persistent one
    int16_t temperature = 0;
    int32_t signalLevel = 0; // EncoderSignalLevel: as read, then at least 1
    int16_t velocity = 0;
    long double airGap = 0;  // EncoderAirGap, um
    std::string bitsText;    // pnlTorvikstatus: 16 characters, bit 15 first
    std::string temperatureText;
    std::string signalText;  // the level as read, before it is raised to 1
    std::string velocityText;
    std::string airGapText;  // "Air gap: 123 µm (±20 µm)"
    std::vector<std::string> logLines;
    std::optional<InstallPoint> point;
};

// Air gap from the signal level: ln(level) x K + N, the level taken as at least 1.
long double AirGapOf(int32_t signalLevel, const EncoderIdentity& identity);
std::string AirGapText(long double airGap);

// The position in units as an angle of the install chart: whole turns of 360
// taken off, negative angles turned positive (725.5 gives 5.5, -10 gives 350).
float InstallAngle(float units);

// Decodes the 9 registers of the status block (RxBank) into reading; word is
// the word the lamps show.
void DecodeTorvikStatus(const uint8_t* block, uint16_t word, const EncoderIdentity& identity, bool log,
                        TorvikStatusReading& reading);

class TorvikStatusReadout final : public TickStep {
public:
    // A singleturn move of more than this many counts since the last clean
    // tick adds a chart point.
    static constexpr int64_t kMinMoveCounts = 10;

    TorvikStatusReadout(const MonitorCycle& cycle, const EncoderIdentity& identity)
        : cycle_(cycle), identity_(identity)
    {
    }

    // The read-out runs while its page is shown or a recording needs it.
    void SetPageShown(bool shown) { pageShown_ = shown; }
    void SetRecording(bool on) { recording_ = on; }
    // The lamps show the persistent status (read first, from the selected bank).
    void SetShowPersistent(bool on) { persistent_ = on; }
    bool ShowPersistent() const { return persistent_; }
    void SetLog(bool on) { log_ = on; }
    void SetDraw(bool on) { draw_ = on; }

    bool Active() const override { return pageShown_ || recording_; }
    bool Run(Link& link) override;

    // Each run counts; a front end shows a reading once.
    uint64_t Runs() const { return runs_; }
    const TorvikStatusReading& Reading() const { return reading_; }

private:
    const MonitorCycle& cycle_;
    const EncoderIdentity& identity_;
    bool pageShown_ = false;
    bool recording_ = false;
    bool persistent_ = false;
    bool log_ = false;
    bool draw_ = false;
    uint64_t runs_ = 0;
    TorvikStatusReading reading_;
};

// Switching the persistent status on selects bank 0, where it lies, when an
// encoder is connected (the result is not examined).
void SelectPersistentStatusBank(Link& link, const EncoderIdentity& identity);
// Tells the encoder to forget its persistent status (CmdClearPersistentStatus).
EncoderOutcome ClearPersistentStatus(Link& link);

// The install chart's limit lines and axes: the air gap at the strongest
// signal (19000, or 7000 on TV746 encoders before build 9860), at the
// warning level 200 and at the error level 70.
struct InstallChartLimits {
    float strongest = 0; // serAmplMax
    float warning = 0;   // serAmplWarning
    float error = 0;     // serAmplError
    double leftMin = 0;
    double leftMax = 0;
    double bottomMax = 360;
};
InstallChartLimits InstallLimits(const EncoderIdentity& identity, const TEncoderSignature& signature,
                                 const PositionScale& scale);

// Min, max and average of the air-gap points for Copy, over every point.
class GapStatistics {
public:
    void Add(float y)
    {
        if (!(y >= min_))
            min_ = y;
        if (y > max_)
            max_ = y;
        sum_ += y;
        ++count_;
    }
    size_t Count() const { return count_; }
    float Min() const { return min_; }
    float Max() const { return max_; }
    // The sum is kept in double: in 32 bits a long series would lose the
    // small points' contribution to the sum.
    double Average() const { return count_ ? sum_ / static_cast<double>(count_) : 0; }

private:
    float min_ = 9999;
    float max_ = -9999;
    double sum_ = 0;
    size_t count_ = 0;
};
// The Copy text: serial number, minimum, maximum and average, rounded to
// whole micrometres (halves to even). None without points.
std::optional<std::string> InstallCopyText(const std::string& serial, const GapStatistics& statistics);
