#include "encoder/Calibration.h"

#include "biss/FirmwareGates.h"
#include "util/NumberText.h"

#include <cmath>

namespace {
constexpr long long kDefaultTimeoutS = 10;

std::string TimeoutCaption(int64_t waitLimitMs)
{
    return "Timeout - " + std::to_string(waitLimitMs / 1000) + " seconds expired";
}
} // namespace

std::optional<CalibrationTiming> CalibrationTimingFor(bool takesTimeout, std::string_view timeoutText)
{
    CalibrationTiming timing;
    if (takesTimeout) {
        const std::optional<long long> value = ParseConfigNumber(timeoutText);
        if (value && *value < 0)
            return std::nullopt;
        // The register holds one byte: the encoder gives up after the low byte's seconds.
        const long long seconds = value ? (*value & 0xFF) : kDefaultTimeoutS;
        // The configured time and 5 %.
        timing.waitLimitMs = 1050 * seconds;
        timing.progressMaximum = static_cast<int>(10 * seconds);
    }
    timing.timeoutCaption = TimeoutCaption(timing.waitLimitMs);
    return timing;
}

CalibrationStart StartSelfCalibration(Link& link, EncoderFamily family, const TEncoderSignature& signature,
                                      std::string_view arcText, std::string_view timeoutText)
{
    CalibrationStart out;
    const uint16_t svn = signature.Zolvan_FWverSVN;
    const bool takesTimeout = FirmwareGate::HasCalibrationTimeout(family, svn);
    const std::optional<CalibrationTiming> timing = CalibrationTimingFor(takesTimeout, timeoutText);
    if (!timing) {
        out.result = CalibrationStart::Result::NegativeTimeout;
        return out;
    }
    auto failed = [&] {
        out.result = CalibrationStart::Result::Failed;
        out.statusText = OutcomeOf(link, false).statusText;
        return out;
    };
    // A field written into the selected bank 0: false ends the start.
    auto write = [&](std::string_view text, uint8_t address, uint8_t width) {
        if (!SelectBank(link, ConfigBank)) {
            failed();
            return false;
        }
        const ConfigWriteOutcome written = WriteConfigValue(link, text, address, width);
        if (written.result == ValueWrite::NotANumber) {
            out.result = CalibrationStart::Result::NotANumber;
            out.conversionError = written.conversionError;
            return false;
        }
        if (!written.ok()) {
            failed();
            return false;
        }
        return true;
    };

    link.LastErrorText.clear();
    if (FirmwareGate::HasCalibrationArc(family, svn) && !write(arcText, ConfigRegister::CalibrationArc, 2))
        return out;
    if (takesTimeout && !write(timeoutText, ConfigRegister::CalibrationTimeout, 1))
        return out;
    out.timing = timing;
    if (!link.ReadRegisters(CalStatusRegister(family), 1))
        return failed();
    out.counterStart = link.RxBank[0] & kCalCounterMask;
    const EncoderOutcome command = StartCalibrationCommand(link);
    if (!command.ok)
        return failed();
    out.result = CalibrationStart::Result::Started;
    out.statusText = command.statusText;
    return out;
}

bool WaitForCalibration(Link& link, int64_t limitMs, const CalibrationWaitHooks& hooks)
{
    const int64_t start = hooks.monotonicMs();
    bool answered = false;
    do {
        hooks.progress(hooks.monotonicMs() - start);
        hooks.serve();
        answered = link.ReadRegisters(kCalibrationPollRegister, 1);
        hooks.block(kCalibrationPollPauseMs);
    } while (!answered && link.IsOpen() && hooks.monotonicMs() - start <= limitMs);
    hooks.block(kCalibrationPollPauseMs);
    SerialPurge(link.Port());
    return answered;
}

CalibrationStatus DecodeCalibrationStatus(uint8_t value, uint8_t counterStart)
{
    CalibrationStatus s;
    s.counter = value & kCalCounterMask;
    s.flags = value & kCalOutcomeFlags;
    const bool moved = s.counter != counterStart;
    auto lamp = [&](uint8_t flag, IndicatorColour colour) { return s.flags & flag ? colour : IndicatorColour::Grey; };
    s.finished = moved ? IndicatorColour::Green : IndicatorColour::Grey;
    s.timeout = lamp(kCalTimeoutFlag, IndicatorColour::Red);
    s.outOfRange = lamp(kCalOutOfRangeFlag, IndicatorColour::Red);
    s.arcOutOfRange = lamp(kCalArcOutOfRangeFlag, IndicatorColour::Red);
    s.noCorrection = lamp(kCalNoCorrectionFlag, IndicatorColour::Orange);
    // Not an outcome flag: it lies outside the outcome mask.
    s.userErrorMap = value & kCalUserErrorMapFlag ? IndicatorColour::Lime : IndicatorColour::Grey;
    s.succeeded = moved && s.flags == 0;
    s.successful = s.succeeded ? IndicatorColour::Lime : IndicatorColour::Grey;
    return s;
}

std::optional<CalibrationAccuracy> EstimateAccuracy(uint16_t eccentricityUm, float ringDiameter, bool noCorrection)
{
    constexpr double kPi = 3.14159265358979323846;
    if (!(ringDiameter > 0))
        return std::nullopt;
    const double ratio = eccentricityUm / 1000.0 * 2 / ringDiameter;
    CalibrationAccuracy a;
    a.before = static_cast<float>(std::atan(ratio) * 180 / kPi);
    a.before = a.before + 0.01f;
    a.after = a.before / 6;
    if (a.after < 0.01f)
        a.after = 0.01f;
    if (noCorrection)
        a.after = a.before;
    return a;
}

std::string CalibrationReport(const CalibrationStatus& status, const CalibrationResults& results, float ringDiameter)
{
    const std::optional<CalibrationAccuracy> a =
        EstimateAccuracy(results.eccentricityUm, ringDiameter, (status.flags & kCalNoCorrectionFlag) != 0);
    const std::string um = " \xC2\xB5m\r\n";
    // An accuracy that cannot be estimated is not made up.
    std::string before = "n/a", after = "n/a";
    if (a) {
        before = "\xC2\xB1" + FormatNumberText(a->before, 5, 3) + "\xC2\xB0";
        after = "\xC2\xB1" + FormatNumberText(a->after, 5, 3) + "\xC2\xB0";
    }
    return "Counter: " + std::to_string(status.counter) + "\r\n" +
           "Ring eccentricity: " + std::to_string(results.eccentricityUm) + um +
           "Eccentricity angle: " + std::to_string(results.angleDeg) + " deg\r\n" +
           "Readhead radial shift: " + std::to_string(results.radialShiftUm) + um +
           "Est. accuracy before calib.: " + before + "\r\n" + "Est. accuracy after calib.: " + after;
}
