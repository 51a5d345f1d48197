#include "monitor/ServiceReadouts.h"

#include "biss/FirmwareGates.h"
#include "encoder/RegisterModel.h"
#include "util/Bits.h"

#include <utility>

namespace {
constexpr int kFailedStatusPauseMs = 100;

uint16_t Word(const Link& link)
{
    return static_cast<uint16_t>(link.RxBankValue(0, 2));
}
} // namespace

CalibrationReadout::CalibrationReadout(const EncoderIdentity& identity, std::function<void(int)> block)
    : identity_(identity), block_(std::move(block))
{
}

bool CalibrationReadout::Run(Link& link)
{
    ++runs_;
    reading_.statusRead = false;
    reading_.report.reset();
    reading_.results.reset();
    if (!link.ReadRegisters(CalStatusRegister(identity_.DruzinaEnkoderja), 1)) {
        // The panels keep their colours; the tick goes on.
        block_(kFailedStatusPauseMs);
        SerialPurge(link.Port());
        return true;
    }
    reading_.statusRead = true;
    reading_.status = DecodeCalibrationStatus(link.RxBank[0], counterStart_);
    if (!FirmwareGate::HasCalibrationResults(link.EncoderSignature.Zolvan_FWverSVN))
        return true;
    CalibrationResults results;
    // The results lie in the configuration bank; whatever ran before may
    // have left another bank selected.
    if (!SelectBank(link, ConfigBank) || !link.ReadRegisters(ConfigRegister::Eccentricity, 2))
        return false;
    results.eccentricityUm = Word(link);
    if (!link.ReadRegisters(ConfigRegister::EccentricityAngle, 2))
        return false;
    results.angleDeg = Word(link);
    if (!link.ReadRegisters(ConfigRegister::ReadheadShift, 2))
        return false;
    results.radialShiftUm = static_cast<int16_t>(Word(link));
    reading_.report = CalibrationReport(reading_.status, results, identity_.PremerKodeRinga);
    reading_.results = results;
    return true;
}

bool QuenraStatusReadout::Run(Link& link)
{
    ++runs_;
    QuenraStatusReading& r = reading_;
    r.bitsText.reset();
    r.temperatureText.reset();
    r.velocityText.reset();
    r.signalText.reset();
    r.bbmText.reset();
    r.complete = false;

    if (!link.ReadRegisters(QuenraRegisters::kStatus, 2))
        return false;
    const uint16_t status = Word(link);
    r.bitsText = FormatBits(16, status);
    if (!link.ReadRegisters(QuenraRegisters::kTemperature, 2))
        return false;
    r.temperatureTenths = static_cast<int16_t>(Word(link));
    r.temperatureText = TenthsText(r.temperatureTenths, "\xC2\xB0" "C");
    if (!link.ReadRegisters(QuenraRegisters::kVelocity, 2))
        return false;
    r.velocityText = TenthsText(static_cast<int16_t>(Word(link)), "Hz");
    if (!link.ReadRegisters(QuenraRegisters::kSignalLevel, 2))
        return false;
    r.signalLevel = Word(link);
    r.signalText = std::to_string(r.signalLevel);
    if (!link.ReadRegisters(QuenraRegisters::kBbmStatus, 1))
        return false;
    r.bbm = link.RxBank[0];
    r.bbmText = std::to_string(r.bbm);

    r.barHeight = QuenraSignalBarHeight(r.signalLevel);
    r.airGap = QuenraAirGap(r.signalLevel, identity_.TipMagnetaQuenra);
    r.airGapText = QuenraAirGapText(r.airGap, identity_.TipMagnetaQuenra);
    // Bits seen once stay lit over the hold window of the cycle.
    cycle_.EncoderStatusDelay() |= status;
    r.heldWord = cycle_.EncoderStatusDelay();
    r.complete = true;
    return true;
}
