#pragma once
// The debug read in the monitor cycle: it runs on every tick while the Debug
// page is shown or the debug recording runs, so the envelope grows tick by
// tick. The page shows what the last run read; the recording writes it.

#include "biss/EncoderIdentity.h"
#include "encoder/Diagnostics.h"
#include "monitor/MonitorCycle.h"

#include <cstdint>

class DebugReadout final : public TickStep {
public:
    explicit DebugReadout(const EncoderIdentity& identity) : identity_(identity) {}

    void SetPageShown(bool shown) { pageShown_ = shown; }
    void SetRecording(bool on) { recording_ = on; }

    bool Active() const override { return pageShown_ || recording_; }
    // A failed register access ends the tick; a refused bank changes nothing.
    bool Run(Link& link) override;

    // The "Read" button: the same read outside the tick.
    DebugRead ReadNow(Link& link);
    // The unlock of the diagnostic banks.
    EncoderOutcome Unlock(Link& link);

    Diagnostics& State() { return diagnostics_; }
    const Diagnostics& State() const { return diagnostics_; }
    // Every read that changed the snapshot counts; a front end shows each once.
    uint64_t Reads() const { return reads_; }

private:
    const EncoderIdentity& identity_;
    Diagnostics diagnostics_;
    bool pageShown_ = false;
    bool recording_ = false;
    uint64_t reads_ = 0;
};
