#pragma once
// Self-calibration of the maker's encoders: the start with its arc length
// and time-out, the wait while the encoder calibrates (it does not answer
// register access meanwhile), and the decoding of the calibration status
// register and the eccentricity results the Calibration page shows.

#include "encoder/EncoderCommands.h"
#include "encoder/Indicator.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Calibration status register (CalStatusRegister): bits 0-1 count finished
// calibrations, bits 2-5 are the outcome flags, bit 6 tells that the stored
// error map is a user's.
constexpr uint8_t kCalCounterMask = 0x03;
constexpr uint8_t kCalTimeoutFlag = 0x04;
constexpr uint8_t kCalOutOfRangeFlag = 0x08;
constexpr uint8_t kCalArcOutOfRangeFlag = 0x10;
constexpr uint8_t kCalNoCorrectionFlag = 0x20;
constexpr uint8_t kCalOutcomeFlags = 0x3C;
constexpr uint8_t kCalUserErrorMapFlag = 0x40;

// Without a time-out the encoder takes from its register, the wait lasts 10 s and 5 %.
constexpr int64_t kDefaultCalibrationWaitMs = 10500;
// The wait polls this register (whatever the family) and pauses between polls.
constexpr uint8_t kCalibrationPollRegister = 0x52;
constexpr int kCalibrationPollPauseMs = 100;

constexpr const char* kNegativeTimeoutText = "Calibration Timeout (sec) must not be negative.";

// How long the wait lasts and what the page shows for it.
struct CalibrationTiming {
    int64_t waitLimitMs = kDefaultCalibrationWaitMs;
    std::optional<int> progressMaximum; // 10 x the time-out in seconds, when the encoder takes one
    std::string timeoutCaption;         // "Timeout - 10 seconds expired"
};

struct CalibrationStart {
    enum class Result {
        Started,         // the command went out: wait
        Failed,          // a transaction failed: statusText
        NotANumber,      // a field is not a number: conversionError, no status line
        NegativeTimeout  // refused before anything was sent
    };
    Result result = Result::Failed;
    std::string statusText;
    std::string conversionError;
    std::optional<CalibrationTiming> timing; // once the parameters were written
    uint8_t counterStart = 0;                // bits 0-1 of the status register before the command
};

// The time-out field's text as the wait takes it: the limit, the progress
// maximum and the caption follow the byte the register receives (the text's
// value modulo 256), since that is what the encoder waits for. None when the
// text is negative.
std::optional<CalibrationTiming> CalibrationTimingFor(bool takesTimeout, std::string_view timeoutText);

// Writes the arc length (Torvik firmware 2589 on) and the time-out (Torvik
// 9568 on) to bank 0, samples the calibration counter from the family's
// status register, and sends the start command. A negative time-out is
// refused before anything is sent.
CalibrationStart StartSelfCalibration(Link& link, EncoderFamily family, const TEncoderSignature& signature,
                                      std::string_view arcText, std::string_view timeoutText);

// What the wait needs from its front end.
struct CalibrationWaitHooks {
    std::function<int64_t()> monotonicMs;          // a monotonic clock, ms
    std::function<void(int64_t elapsedMs)> progress; // once per poll
    std::function<void()> serve;                   // serves the front end's pending events once
    Pause block;                                   // a pause without serving
};
// Polls the encoder about every 100 ms until it answers or limitMs have
// passed (or the port is gone), then pauses 100 ms and discards whatever the
// receive buffer still holds. True when the encoder answered.
bool WaitForCalibration(Link& link, int64_t limitMs, const CalibrationWaitHooks& hooks);

// The status register as the page's panels show it.
struct CalibrationStatus {
    uint8_t counter = 0;
    uint8_t flags = 0; // the outcome flags (bits 2-5)
    IndicatorColour finished = IndicatorColour::Grey;
    IndicatorColour timeout = IndicatorColour::Grey;
    IndicatorColour outOfRange = IndicatorColour::Grey;
    IndicatorColour arcOutOfRange = IndicatorColour::Grey;
    IndicatorColour noCorrection = IndicatorColour::Grey;
    IndicatorColour userErrorMap = IndicatorColour::Grey;
    IndicatorColour successful = IndicatorColour::Grey;
    bool succeeded = false; // the counter moved and no flag is set: the progress bar is full
};
CalibrationStatus DecodeCalibrationStatus(uint8_t value, uint8_t counterStart);

// Results of the last calibration (firmware 2589 on), bank 0 0x1B-0x20.
struct CalibrationResults {
    uint16_t eccentricityUm = 0;
    uint16_t angleDeg = 0;
    int16_t radialShiftUm = 0;
};
// The angular error of a ring of ringDiameter mm mounted eccentricityUm off
// centre, plus 0.01 degree, and what a calibration leaves of it (a sixth,
// at least 0.01 degree; all of it when no correction was necessary). None
// when the ring diameter is unknown (0): there is nothing to estimate from.
struct CalibrationAccuracy {
    float before = 0;
    float after = 0;
};
std::optional<CalibrationAccuracy> EstimateAccuracy(uint16_t eccentricityUm, float ringDiameter, bool noCorrection);
// The report under the panels (UTF-8): counter, eccentricity, its angle,
// readhead shift and the estimated accuracy before and after ("n/a" for an
// unknown ring).
std::string CalibrationReport(const CalibrationStatus& status, const CalibrationResults& results, float ringDiameter);
