#include "monitor/MonitorCycle.h"

#include "biss/Identification.h"
#include "util/Text.h"

#include <cstdio>

namespace {
constexpr char kDisconnectedLog[] = "Timeout error";
constexpr char kMasterCommOk[] = "     BiSS master comm OK";
} // namespace

void MonitorCycle::Tick()
{
    host_.SetLoopTimerActive(false);
    TEncoderPosition& pos = link_.EncoderPosition;
    pos.ErrComm = kCycleIncomplete;
    plainReply_.clear();

    if (!identity_.EncoderConnected && !Probe()) {
        ErrorEnding();
        return;
    }
    if (host_.ActivePage() == Page::TabSettings && !InterfaceReadout()) {
        ErrorEnding();
        return;
    }

    link_.ReadPosition();
    if (pos.ErrComm != 0) {
        ErrorEnding();
        return;
    }
    host_.ShowRawPosition(pos.RxData);

    if (pos.ErrTimeout) {
        identity_.EncoderConnected = false;
        host_.ShowEncoderDisconnected();
        if (host_.PositionLogOn() && !host_.PowerCyclingOn())
            host_.AddLogLine(kDisconnectedLog);
        host_.SetLoopTimerActive(true);
    } else {
        ComputePositionDisplay(pos, host_.Scale(), remembered_, host_.PositionLogOn(), host_.UnitName(), texts_);
        host_.ShowPosition(pos, texts_);
        if (!texts_.logLine.empty())
            host_.AddLogLine(texts_.logLine);
    }

    if (!host_.RunPageReads()) {
        ErrorEnding();
        return;
    }
    if (!pos.ErrBit && !pos.ErrCRC && !pos.ErrTimeout && pos.ErrComm == 0) {
        remembered_.mt = pos.MT_value;
        remembered_.st = pos.ST_value;
    }
    if (!host_.RunRecordingRows()) {
        ErrorEnding();
        return;
    }
    Ending();
}

bool MonitorCycle::Probe()
{
    if (link_.ReadRegisters(0x40, 2)) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", link_.RxBank[1]);
        host_.ShowProbedEdsBank(text);
        if (link_.RxBank[1] != 0) {
            host_.WaitWithMessages(kProbeSettleMs);
            host_.IdentifyEncoder();
            host_.ReadDatasheet();
            // Both reads report their own failures; the encoder answered the probe.
            identity_.EncoderConnected = true;
            return true;
        }
    }
    host_.WaitWithMessages(kProbeRetryMs);
    SerialPurge(link_.Port());
    return false;
}

bool MonitorCycle::InterfaceReadout()
{
    TEncoderPosition& pos = link_.EncoderPosition;
    for (size_t i = 0; i < kInterfaceCommands.size(); ++i) {
        // A command that never reached the box received nothing.
        plainReply_.clear();
        pos.ErrComm = SerialTransact(link_.Port(), kInterfaceCommands[i], 0, plainReply_);
        if (pos.ErrComm != 0)
            return false;
        if (i == 1) {
            interfaceText_ = TrimControl(plainReply_);
            if (StartsWith(interfaceText_, "84:20"))
                interfaceText_ += kMasterCommOk;
            host_.ShowInterfaceReply(i, interfaceText_);
        } else {
            host_.ShowInterfaceReply(i, plainReply_);
        }
    }
    return true;
}

void MonitorCycle::RememberCurrentPosition()
{
    remembered_.mt = link_.EncoderPosition.MT_value;
    remembered_.st = link_.EncoderPosition.ST_value;
}

void MonitorCycle::Ending()
{
    const int32_t result = link_.EncoderPosition.ErrComm;
    if (result == kCycleIncomplete) {
        host_.SetLoopTimerActive(true);
        return;
    }
    if (result != 0) {
        ErrorEnding();
        return;
    }
    host_.SetLoopTimerActive(true);
    if (++cycleCounter_ > kHoldTicks) {
        cycleCounter_ = 0;
        encoderStatusDelay_ = 0;
    }
    host_.TickSucceeded();
}

void MonitorCycle::ErrorEnding()
{
    host_.TickFailed(plainReply_, "Error: " + plainReply_ + link_.LastErrorText);
    identity_.EncoderConnected = false;
    if (link_.EncoderPosition.ErrComm < -1)
        host_.StartDiscovery();
    else
        host_.SetLoopTimerActive(true);
}
