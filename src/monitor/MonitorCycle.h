#pragma once
// The monitor cycle: one tick makes sure an encoder is attached and
// identified, reads the box's replies for the Interface Settings read-out
// when it is wanted, reads and decodes one position word, runs the reads of
// the steps that are active (page read-outs, recording rows), and says how
// the tick ended. It never touches a window: the report tells the front end
// what to show.

#include "biss/EncoderIdentity.h"
#include "link/Link.h"
#include "monitor/PositionDisplay.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// A read that runs inside the tick: a page's read-out while it is shown, or a
// recording row while a recording runs.
class TickStep {
public:
    enum class Phase { PageRead, Recording };
    virtual ~TickStep() = default;
    virtual Phase StepPhase() const { return Phase::PageRead; }
    virtual bool Active() const = 0;
    // False ends the tick with the error ending.
    virtual bool Run(Link& link) = 0;
};

// What the cycle needs from the session around it.
class TickServices {
public:
    virtual ~TickServices() = default;
    // Waits ms milliseconds; the front end keeps serving its events meanwhile.
    virtual void Wait(int ms) = 0;
    // Identifies a newly attached encoder and reads its datasheet; both
    // report their own outcomes.
    virtual void IdentifyNewEncoder() = 0;
};

// What one tick did, for the front end to show. Reused from tick to tick.
struct TickReport {
    // Incomplete: nothing to show, the cycle simply goes on.
    enum class Ending { Ok, Error, Incomplete };

    bool probed = false;             // the encoder was probed: registers 0x40-0x41
    std::string probedEdsBank;       // "0x02": the EDS bank register, when the probe read it
    bool identified = false;         // a new encoder was identified in this tick
    size_t interfaceReplies = 0;     // replies of the Interface Settings read-out received
    std::array<std::string, 9> interfaceTexts; // in the order of MonitorCycle::kInterfaceCommands
    bool positionSent = false;       // "4" went out to the box (its reply may still have failed)
    bool positionRead = false;       // a reply to "4" arrived (the link's EncoderPosition.RxData)
    bool disconnected = false;       // the box answered "TIMEOUT": the encoder is gone
    bool positionDecoded = false;    // the cycle's LastTexts() hold this tick's position
    std::vector<std::string> logLines; // lines for the position log
    Ending ending = Ending::Ok;
    bool portLost = false;           // a transport failure below -1: search for the box again
    std::string received;            // the text received for the last plain command of the tick
    std::string singleturnError;     // the singleturn label's text after a failed tick

    void Clear();
};

class MonitorCycle {
public:
    // The commands of the Interface Settings read-out, in label order.
    static constexpr std::array<const char*, 9> kInterfaceCommands = {"v", "i", "4", "m", "b", "e", "t", "s", "r"};
    static constexpr int kProbeSettleMs = 200;
    static constexpr int kProbeRetryMs = 150;
    static constexpr uint32_t kHoldTicks = 20;

    MonitorCycle(Link& link, EncoderIdentity& identity, PositionUnits& units, TickServices& services)
        : link_(link), identity_(identity), units_(units), services_(services)
    {
    }

    // One tick (LoopTimerTimer without the timer).
    const TickReport& Tick();
    const TickReport& LastReport() const { return report_; }

    // The Interface Settings read-out runs while its page is shown.
    void SetInterfaceReadout(bool on) { interfaceReadout_ = on; }
    // The position log: jumps and errors become log lines.
    void SetPositionLog(bool on) { positionLog_ = on; }
    bool PositionLog() const { return positionLog_; }
    // While the power-cycling test runs, a disconnected encoder is expected and not logged.
    void SetPowerCycling(bool on) { powerCycling_ = on; }

    void AddStep(TickStep* step);
    void RemoveStep(TickStep* step);

    // Switching the position log on or off takes the current word as the
    // reference, so the first tick after it reports no jump.
    void RememberCurrentPosition();

    uint32_t CycleCounter() const { return cycleCounter_; }
    // Quenra status bits accumulated over the hold window.
    uint16_t& EncoderStatusDelay() { return encoderStatusDelay_; }
    const RememberedPosition& Remembered() const { return remembered_; }
    // The texts of the last position display, for the position page and recording rows.
    const PositionTexts& LastTexts() const { return texts_; }
    // The text received for the last plain command of this tick (for steps
    // that send plain commands).
    std::string& PlainReply() { return report_.received; }

private:
    bool Probe();
    bool InterfaceReadout();
    bool RunSteps(TickStep::Phase phase);
    const TickReport& ErrorEnding();
    const TickReport& Ending();

    Link& link_;
    EncoderIdentity& identity_;
    PositionUnits& units_;
    TickServices& services_;
    bool interfaceReadout_ = false;
    bool positionLog_ = false;
    bool powerCycling_ = false;
    std::vector<TickStep*> steps_;
    uint32_t cycleCounter_ = 0;
    uint16_t encoderStatusDelay_ = 0;
    RememberedPosition remembered_;
    PositionTexts texts_;
    TickReport report_;
};
