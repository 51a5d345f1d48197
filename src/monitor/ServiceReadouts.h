#pragma once
// Read-outs of the monitor cycle for the maker's service pages: the
// self-calibration status and results while the Calibration page is shown,
// and the Quenra status registers while the Quenra Status page is shown.
// Each run leaves what it read for the page to show.

#include "biss/EncoderIdentity.h"
#include "encoder/Calibration.h"
#include "encoder/QuenraStatus.h"
#include "monitor/MonitorCycle.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct CalibrationReading {
    bool statusRead = false; // the status register answered: status is this run's
    CalibrationStatus status;
    std::optional<std::string> report; // the results were read (firmware 2589 on)
    std::optional<CalibrationResults> results; // the same results as numbers
};

class CalibrationReadout final : public TickStep {
public:
    // block pauses without serving the window (after a status read that failed).
    CalibrationReadout(const EncoderIdentity& identity, std::function<void(int ms)> block);

    void SetPageShown(bool shown) { pageShown_ = shown; }
    // The counter as it stood when the last calibration was started; 0 after each connection.
    void SetCounterStart(uint8_t counter) { counterStart_ = counter; }
    uint8_t CounterStart() const { return counterStart_; }

    bool Active() const override { return pageShown_; }
    // A failed status read pauses 100 ms, discards the receive buffer and lets
    // the tick go on; a failed results read ends the tick.
    bool Run(Link& link) override;

    uint64_t Runs() const { return runs_; }
    const CalibrationReading& Reading() const { return reading_; }

private:
    const EncoderIdentity& identity_;
    std::function<void(int)> block_;
    bool pageShown_ = false;
    uint8_t counterStart_ = 0;
    uint64_t runs_ = 0;
    CalibrationReading reading_;
};

struct QuenraStatusReading {
    // This run's texts, in reading order; a failed read leaves the later ones unset.
    std::optional<std::string> bitsText;        // 16 characters, bit 15 first
    std::optional<std::string> temperatureText; // "24.5 °C"
    std::optional<std::string> velocityText;    // "1.7 Hz"
    std::optional<std::string> signalText;
    std::optional<std::string> bbmText;
    bool complete = false; // every register was read: the values below are this run's
    int16_t temperatureTenths = 0; // 0.1 degC
    uint16_t heldWord = 0; // the status bits held over the hold window: the lamps
    uint8_t bbm = 0;
    int32_t signalLevel = 0; // EncoderSignalLevel
    int barHeight = 0;
    long double airGap = 0;  // EncoderAirGap, mm
    std::string airGapText;
};

class QuenraStatusReadout final : public TickStep {
public:
    QuenraStatusReadout(MonitorCycle& cycle, const EncoderIdentity& identity) : cycle_(cycle), identity_(identity) {}

    void SetPageShown(bool shown) { pageShown_ = shown; }
    bool Active() const override { return pageShown_; }
    // Any failed read ends the tick.
    bool Run(Link& link) override;

    uint64_t Runs() const { return runs_; }
    const QuenraStatusReading& Reading() const { return reading_; }

private:
    MonitorCycle& cycle_;
    const EncoderIdentity& identity_;
    bool pageShown_ = false;
    uint64_t runs_ = 0;
    QuenraStatusReading reading_;
};
