#include "monitor/MonitorCycle.h"

#include "util/Text.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr char kDisconnectedLog[] = "Timeout error";
constexpr char kMasterCommOk[] = "     BiSS master comm OK";
} // namespace

void TickReport::Clear()
{
    probed = false;
    probedEdsBank.clear();
    identified = false;
    interfaceReplies = 0;
    positionSent = false;
    positionRead = false;
    disconnected = false;
    positionDecoded = false;
    logLines.clear();
    ending = Ending::Ok;
    portLost = false;
    received.clear();
    singleturnError.clear();
}

void MonitorCycle::AddStep(TickStep* step)
{
    if (step && std::find(steps_.begin(), steps_.end(), step) == steps_.end())
        steps_.push_back(step);
}

void MonitorCycle::RemoveStep(TickStep* step)
{
    steps_.erase(std::remove(steps_.begin(), steps_.end(), step), steps_.end());
}

const TickReport& MonitorCycle::Tick()
{
    report_.Clear();
    TEncoderPosition& pos = link_.EncoderPosition;
    pos.ErrComm = kCycleIncomplete;

    if (!identity_.EncoderConnected && !Probe())
        return ErrorEnding();
    if (interfaceReadout_ && !InterfaceReadout())
        return ErrorEnding();

    link_.ReadPosition();
    // Below a time-out the port failed: no port, or the write did not go out.
    report_.positionSent = pos.ErrComm >= kSerialTimeout;
    if (pos.ErrComm != 0)
        return ErrorEnding();
    report_.positionRead = true;

    if (pos.ErrTimeout) {
        identity_.EncoderConnected = false;
        report_.disconnected = true;
        if (positionLog_ && !powerCycling_)
            report_.logLines.emplace_back(kDisconnectedLog);
    } else {
        ComputePositionDisplay(pos, units_.Scale(), remembered_, positionLog_, units_.Unit(), texts_);
        report_.positionDecoded = true;
        if (!texts_.logLine.empty())
            report_.logLines.push_back(texts_.logLine);
    }

    if (!RunSteps(TickStep::Phase::PageRead))
        return ErrorEnding();
    if (!pos.ErrBit && !pos.ErrCRC && !pos.ErrTimeout && pos.ErrComm == 0) {
        remembered_.mt = pos.MT_value;
        remembered_.st = pos.ST_value;
    }
    if (!RunSteps(TickStep::Phase::Recording))
        return ErrorEnding();
    return Ending();
}

bool MonitorCycle::RunSteps(TickStep::Phase phase)
{
    for (TickStep* step : steps_)
        if (step->StepPhase() == phase && step->Active() && !step->Run(link_))
            return false;
    return true;
}

bool MonitorCycle::Probe()
{
    report_.probed = true;
    if (link_.ReadRegisters(0x40, 2)) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", link_.RxBank[1]);
        report_.probedEdsBank = text;
        if (link_.RxBank[1] != 0) {
            services_.Wait(kProbeSettleMs);
            services_.IdentifyNewEncoder();
            // Both reads report their own failures; the encoder answered the probe.
            identity_.EncoderConnected = true;
            report_.identified = true;
            return true;
        }
    }
    services_.Wait(kProbeRetryMs);
    SerialPurge(link_.Port());
    return false;
}

bool MonitorCycle::InterfaceReadout()
{
    TEncoderPosition& pos = link_.EncoderPosition;
    for (size_t i = 0; i < kInterfaceCommands.size(); ++i) {
        // A command that never reached the box received nothing.
        report_.received.clear();
        pos.ErrComm = SerialTransact(link_.Port(), kInterfaceCommands[i], 0, report_.received);
        if (pos.ErrComm != 0)
            return false;
        std::string& text = report_.interfaceTexts[i];
        if (i == 1) {
            text = TrimControl(report_.received);
            if (StartsWith(text, "84:20"))
                text += kMasterCommOk;
        } else {
            text = report_.received;
        }
        report_.interfaceReplies = i + 1;
    }
    return true;
}

void MonitorCycle::RememberCurrentPosition()
{
    remembered_.mt = link_.EncoderPosition.MT_value;
    remembered_.st = link_.EncoderPosition.ST_value;
}

const TickReport& MonitorCycle::Ending()
{
    const int32_t result = link_.EncoderPosition.ErrComm;
    if (result == kCycleIncomplete) {
        report_.ending = TickReport::Ending::Incomplete;
        return report_;
    }
    if (result != 0)
        return ErrorEnding();
    if (++cycleCounter_ > kHoldTicks) {
        cycleCounter_ = 0;
        encoderStatusDelay_ = 0;
    }
    report_.ending = TickReport::Ending::Ok;
    return report_;
}

const TickReport& MonitorCycle::ErrorEnding()
{
    report_.ending = TickReport::Ending::Error;
    report_.singleturnError = "Error: " + report_.received + link_.LastErrorText;
    identity_.EncoderConnected = false;
    report_.portLost = link_.EncoderPosition.ErrComm < -1;
    return report_;
}
