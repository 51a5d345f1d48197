#pragma once
// The monitor cycle: one tick of the loop timer makes sure an encoder is
// attached and identified, reads the box's replies on the Interface Settings
// page, reads and shows one position word, runs the reads of the page shown,
// and reports the outcome on the status line. Ticks never overlap: the tick
// switches its timer off at the start and re-arms it at the end.

#include "app/Pages.h"
#include "biss/EncoderIdentity.h"
#include "link/Link.h"
#include "monitor/PositionDisplay.h"

#include <array>
#include <cstdint>
#include <string>

// What the window does for the cycle.
class MonitorHost {
public:
    virtual ~MonitorHost() = default;

    virtual void SetLoopTimerActive(bool on) = 0;
    // Starts the interface search again (the port is lost).
    virtual void StartDiscovery() = 0;
    // Processes window events until ms have passed.
    virtual void WaitWithMessages(int ms) = 0;
    // The identification read and the datasheet read of a newly attached encoder.
    virtual void IdentifyEncoder() = 0;
    virtual void ReadDatasheet() = 0;
    virtual Page ActivePage() const = 0;

    // pnl0x40 during the probe: the EDS bank register.
    virtual void ShowProbedEdsBank(const std::string& text) = 0;
    // One reply of the Interface Settings read-out (index in command order).
    virtual void ShowInterfaceReply(size_t index, const std::string& text) = 0;
    // lblPosRX.
    virtual void ShowRawPosition(const std::string& reply) = 0;
    // The box answered "TIMEOUT": position labels and lamps.
    virtual void ShowEncoderDisconnected() = 0;
    virtual void ShowPosition(const TEncoderPosition& position, const PositionTexts& texts) = 0;
    // The scale and unit name the display works with.
    virtual const PositionScale& Scale() const = 0;
    virtual std::string UnitName() const = 0;

    virtual bool PositionLogOn() const = 0;
    virtual bool PowerCyclingOn() const = 0;
    virtual void AddLogLine(const std::string& line) = 0;

    // Reads of the page shown (status pages, calibration, debug). False ends
    // the tick with the error ending.
    virtual bool RunPageReads() { return true; }
    // Recording rows of an active recording. False ends the tick with the error ending.
    virtual bool RunRecordingRows() { return true; }

    // Status line and activity lamp of a successful tick.
    virtual void TickSucceeded() = 0;
    // A failed tick: received is the text received for the last plain command
    // of the tick (empty when none was sent); the status line shows "Error\r\n",
    // received and the link's error text; singleturnText goes to lblPosST.
    virtual void TickFailed(const std::string& received, const std::string& singleturnText) = 0;
};

class MonitorCycle {
public:
    // The commands of the Interface Settings read-out, in label order.
    static constexpr std::array<const char*, 9> kInterfaceCommands = {"v", "i", "4", "m", "b", "e", "t", "s", "r"};
    static constexpr int kProbeSettleMs = 200;
    static constexpr int kProbeRetryMs = 150;
    static constexpr uint32_t kHoldTicks = 20;

    MonitorCycle(Link& link, EncoderIdentity& identity, MonitorHost& host)
        : link_(link), identity_(identity), host_(host)
    {
    }

    // LoopTimerTimer.
    void Tick();

    // Switching the position log on or off takes the current word as the
    // reference, so the first tick after it reports no jump.
    void RememberCurrentPosition();

    uint32_t CycleCounter() const { return cycleCounter_; }
    // Quenra status bits accumulated over the hold window.
    uint16_t& EncoderStatusDelay() { return encoderStatusDelay_; }
    const RememberedPosition& Remembered() const { return remembered_; }
    // The error text of the last position display, for recording rows.
    const PositionTexts& LastTexts() const { return texts_; }
    // The text received for the last plain command of this tick (for steps
    // of later pages that send plain commands).
    std::string& PlainReply() { return plainReply_; }

private:
    bool Probe();
    bool InterfaceReadout();
    void ErrorEnding();
    void Ending();

    Link& link_;
    EncoderIdentity& identity_;
    MonitorHost& host_;
    uint32_t cycleCounter_ = 0;
    uint16_t encoderStatusDelay_ = 0;
    RememberedPosition remembered_;
    PositionTexts texts_;
    std::string plainReply_;
    std::string interfaceText_;
};
