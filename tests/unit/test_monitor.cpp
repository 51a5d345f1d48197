#include "MonitorRig.h"
#include "biss/Identification.h"
#include "monitor/MonitorCycle.h"
#include "monitor/PositionDisplay.h"
#include "util/NumberText.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {
TEncoderPosition Word(int32_t mt, uint32_t st, bool err = false, bool warn = false, bool crc = false)
{
    TEncoderPosition p;
    p.MT_value = mt;
    p.ST_value = st;
    p.ErrBit = err;
    p.WarnBit = warn;
    p.ErrCRC = crc;
    p.RxData = "0123456789ABCDEF";
    return p;
}

std::string Reply(uint64_t frame)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llX\r", static_cast<unsigned long long>(frame));
    return buf;
}

// Stands in for the session: counts the waits and identifications.
struct FakeServices : TickServices {
    int waitedMs = 0;
    int identifications = 0;
    std::function<void()> onIdentify;
    void Wait(int ms) override { waitedMs += ms; }
    void IdentifyNewEncoder() override
    {
        ++identifications;
        if (onIdentify)
            onIdentify();
    }
};

struct CycleRig : BasicMonitorRig<FakeServices> {
    CycleRig()
    {
        box.Reg(0x41) = 2;
        link.PositionMTLength = 12;
        link.PositionSTLength = 20;
    }
};
} // namespace

TEST(PositionDisplay, LampsErrorTextsAndLogLines)
{
    PositionScale scale;
    RememberedPosition old{3, 1000};
    PositionTexts t;

    ComputePositionDisplay(Word(3, 1000, true, false, true), scale, old, true, "deg", t);
    EXPECT_EQ(t.logLine, "Error bit CRC error  (0123456789ABCDEF)");
    EXPECT_TRUE(t.errorLamp);
    EXPECT_FALSE(t.warningLamp);
    EXPECT_TRUE(t.crcLamp);

    // A corrupt word is never a jump, however far it lies.
    ComputePositionDisplay(Word(9, 900000, false, false, true), scale, old, true, "deg", t);
    EXPECT_EQ(t.errorText, "CRC error ");

    ComputePositionDisplay(Word(4, 1000, false, true), scale, old, true, "deg", t);
    EXPECT_EQ(t.logLine, "Warning bit MT jump  (0123456789ABCDEF)");

    ComputePositionDisplay(Word(3, 3000), scale, old, true, "deg", t);
    EXPECT_EQ(t.logLine, "");
    ComputePositionDisplay(Word(3, 3001), scale, old, true, "deg", t);
    EXPECT_EQ(t.logLine, "ST jump  (0123456789ABCDEF)");
    ComputePositionDisplay(Word(3, 0), scale, RememberedPosition{3, 2001}, true, "deg", t);
    EXPECT_EQ(t.errorText, "ST jump ");

    // Without the log there is no jump test and no line.
    ComputePositionDisplay(Word(-7, 5000, false, true), scale, old, false, "deg", t);
    EXPECT_EQ(t.errorText, "Warning bit ");
    EXPECT_EQ(t.logLine, "");
}

TEST(PositionDisplay, ValuesAndUnits)
{
    Link link;
    PositionUnits units(link.PositionMTLength, link.PositionSTLength);
    PositionTexts t;

    units.MultiturnLengthChanged(0);
    std::optional<long long> den = units.SingleturnLengthChanged(20, EncoderFamily::Torvik);
    EXPECT_EQ(den, 1048576);
    EXPECT_EQ(link.PositionSTLength, 20);
    units.ScaleChanged(360, *den);
    ComputePositionDisplay(Word(0, 524288), units.Scale(), {}, false, "deg", t);
    EXPECT_EQ(t.multiturn, "");
    EXPECT_EQ(t.singleturn, "524288");
    EXPECT_EQ(t.unitText, "180.000 deg");
    ComputePositionDisplay(Word(0, 524288), units.Scale(), {}, false, "", t);
    EXPECT_EQ(t.unitText, "180.000 ");

    units.MultiturnLengthChanged(16);
    EXPECT_EQ(units.Scale().mtMaxCount, 65536);
    ComputePositionDisplay(Word(-2, 262144), units.Scale(), {}, false, "deg", t);
    EXPECT_EQ(t.multiturn, "-2");
    EXPECT_EQ(t.unitText, "-630.000 deg");

    // From 24 bits on the denominator stops at its range.
    EXPECT_EQ(units.SingleturnLengthChanged(24, EncoderFamily::Quenra), 10000000);
    EXPECT_FALSE(units.SingleturnLengthChanged(24, EncoderFamily::Linear));

    // More than eight integer digits: exponent form.
    units.ScaleChanged(1, 1);
    units.MultiturnLengthChanged(24);
    units.SingleturnLengthChanged(12, EncoderFamily::Linear);
    ComputePositionDisplay(Word(30000, 0), units.Scale(), {}, false, "mm", t);
    EXPECT_EQ(t.unitText, "1.2288E008 mm");
}

TEST(PositionDisplay, LongSingleturnAndZeroDenominatorStaySound)
{
    Link link;
    PositionUnits units(link.PositionMTLength, link.PositionSTLength);
    PositionTexts t;
    units.MultiturnLengthChanged(0);
    units.SingleturnLengthChanged(32, EncoderFamily::Linear);
    EXPECT_EQ(units.Scale().stMaxCount, int64_t{1} << 32);
    units.SingleturnLengthChanged(31, EncoderFamily::Linear);
    EXPECT_EQ(units.Scale().stMaxCount, int64_t{1} << 31);
    units.MultiturnLengthChanged(1);
    units.ScaleChanged(1, 0); // a denominator of 0 counts as 1
    EXPECT_EQ(units.Scale().resolution, 1.0f);
    ComputePositionDisplay(Word(1, 0xFFFFFFFFu), units.Scale(), {}, false, "c", t);
    EXPECT_EQ(t.singleturn, "4294967295");
    EXPECT_GT(t.counts, 6.4e9f);
    EXPECT_EQ(t.unitText.substr(0, 7), "6.44245");

    // A singleturn value above 2^31 is remembered as it is: a small step is no jump.
    ComputePositionDisplay(Word(1, 0x80000005u), units.Scale(), RememberedPosition{1, 0x80000000}, true, "c", t);
    EXPECT_EQ(t.errorText, "");
}

TEST(MonitorCycle, NewEncoderIsProbedIdentifiedAndShown)
{
    CycleRig rig;
    rig.box.positionReply = Reply(EncodePositionFrame(3, 1000, 12, 20, false, false));
    const TickReport& r = rig.cycle.Tick();
    EXPECT_EQ(rig.box.TakeLog(), (std::vector<std::string>{"R02:064", "4"}));
    EXPECT_TRUE(r.probed);
    EXPECT_EQ(r.probedEdsBank, "0x02");
    EXPECT_EQ(rig.services.waitedMs, MonitorCycle::kProbeSettleMs);
    EXPECT_EQ(rig.services.identifications, 1);
    EXPECT_TRUE(r.identified);
    EXPECT_TRUE(rig.identity.EncoderConnected);
    EXPECT_TRUE(r.positionRead);
    EXPECT_TRUE(r.positionDecoded);
    EXPECT_EQ(rig.cycle.LastTexts().singleturn, "1000");
    EXPECT_EQ(r.ending, TickReport::Ending::Ok);
    EXPECT_EQ(rig.cycle.Remembered().st, 1000);

    // Connected: the next tick is the position read alone.
    rig.cycle.Tick();
    EXPECT_EQ(rig.box.TakeLog(), (std::vector<std::string>{"4"}));
    EXPECT_FALSE(r.probed);
    EXPECT_EQ(rig.services.identifications, 1);
}

TEST(MonitorCycle, EncoderWithoutDatasheetBankIsNeverConnected)
{
    CycleRig rig;
    rig.box.Reg(0x41) = 0;
    const TickReport& r = rig.cycle.Tick();
    EXPECT_EQ(rig.box.TakeLog(), (std::vector<std::string>{"R02:064"}));
    EXPECT_EQ(r.probedEdsBank, "0x00");
    EXPECT_FALSE(r.positionSent);
    EXPECT_EQ(rig.services.waitedMs, MonitorCycle::kProbeRetryMs);
    EXPECT_EQ(rig.services.identifications, 0);
    EXPECT_FALSE(rig.identity.EncoderConnected);
    EXPECT_EQ(r.ending, TickReport::Ending::Error);
    EXPECT_EQ(r.received, "");
    EXPECT_FALSE(r.portLost);
    EXPECT_EQ(rig.cycle.CycleCounter(), 0u);
}

TEST(MonitorCycle, TimeoutReplyShowsDisconnectionAndProbesNext)
{
    CycleRig rig;
    rig.identity.EncoderConnected = true;
    rig.cycle.SetPositionLog(true);
    rig.box.positionReply = "TIMEOUT\r";
    const TickReport& r = rig.cycle.Tick();
    EXPECT_TRUE(r.disconnected);
    EXPECT_FALSE(r.positionDecoded);
    EXPECT_FALSE(rig.identity.EncoderConnected);
    EXPECT_EQ(r.logLines, (std::vector<std::string>{"Timeout error"}));
    EXPECT_EQ(r.ending, TickReport::Ending::Ok);

    rig.cycle.SetPowerCycling(true); // the power-cycling test expects these
    rig.identity.EncoderConnected = true;
    rig.cycle.Tick();
    EXPECT_TRUE(r.logLines.empty());
    rig.box.TakeLog();
    rig.cycle.Tick();
    EXPECT_EQ(rig.box.TakeLog().front(), "R02:064");
}

namespace {
struct FailingStep : TickStep {
    bool active = true;
    int runs = 0;
    bool Active() const override { return active; }
    bool Run(Link&) override
    {
        ++runs;
        return false;
    }
};
} // namespace

TEST(MonitorCycle, FailuresEndTheTickAndPortLossIsReported)
{
    CycleRig rig;
    rig.identity.EncoderConnected = true;
    rig.box.positionReply = "12345\r"; // malformed
    rig.link.LastErrorText = "earlier";
    const TickReport& r = rig.cycle.Tick();
    EXPECT_EQ(rig.link.EncoderPosition.ErrComm, kPosReplyBadLength);
    EXPECT_EQ(r.ending, TickReport::Ending::Error);
    EXPECT_TRUE(r.positionSent); // a failed reply still answered a command that went out
    EXPECT_FALSE(r.positionRead);
    EXPECT_EQ(r.singleturnError, "Error: earlier");
    EXPECT_FALSE(rig.identity.EncoderConnected);
    EXPECT_FALSE(r.portLost);
    // So did silence.
    rig.identity.EncoderConnected = true;
    rig.link.Port()->SetReplyTimeoutMs(0);
    rig.box.positionReply = "";
    rig.cycle.Tick();
    rig.link.Port()->SetReplyTimeoutMs(SerialPort::kDefaultReplyTimeoutMs);
    EXPECT_EQ(rig.link.EncoderPosition.ErrComm, kSerialTimeout);
    EXPECT_TRUE(r.positionSent);
    EXPECT_EQ(r.ending, TickReport::Ending::Error);

    // A failed page read ends the tick too, after the position was decoded;
    // an inactive step is not run.
    FailingStep step;
    rig.cycle.AddStep(&step);
    rig.identity.EncoderConnected = true;
    rig.box.positionReply = Reply(EncodePositionFrame(0, 7, 12, 20, false, false));
    rig.cycle.Tick();
    EXPECT_EQ(step.runs, 1);
    EXPECT_TRUE(r.positionDecoded);
    EXPECT_EQ(rig.cycle.LastTexts().singleturn, "7");
    EXPECT_EQ(r.ending, TickReport::Ending::Error);
    EXPECT_FALSE(rig.identity.EncoderConnected);
    step.active = false;
    rig.identity.EncoderConnected = true;
    rig.cycle.Tick();
    EXPECT_EQ(step.runs, 1);
    EXPECT_EQ(r.ending, TickReport::Ending::Ok);
    rig.cycle.RemoveStep(&step);

    rig.box.writeError = 5;
    rig.cycle.Tick();
    EXPECT_EQ(r.ending, TickReport::Ending::Error);
    EXPECT_TRUE(r.portLost);
    EXPECT_FALSE(r.positionSent);
}

TEST(MonitorCycle, InterfaceSettingsReadout)
{
    CycleRig rig;
    rig.identity.EncoderConnected = true;
    rig.cycle.SetInterfaceReadout(true);
    rig.box.override = [](const std::string& c) -> std::optional<std::string> {
        if (c == "i")
            return "  84:20:01 \r";
        if (c.size() == 1 && c != "4")
            return "<" + c + ">\r";
        return std::nullopt;
    };
    rig.box.positionReply = Reply(EncodePositionFrame(0, 0, 12, 20, false, false));
    const TickReport& r = rig.cycle.Tick();
    EXPECT_EQ(rig.box.TakeLog(), (std::vector<std::string>{"v", "i", "4", "m", "b", "e", "t", "s", "r", "4"}));
    EXPECT_EQ(r.interfaceReplies, 9u);
    EXPECT_EQ(r.interfaceTexts[0], "<v>\r");
    EXPECT_EQ(r.interfaceTexts[1], "84:20:01     BiSS master comm OK");
    EXPECT_EQ(r.ending, TickReport::Ending::Ok);

    // A silent "b" ends the tick before the position read; only the replies before it count.
    rig.link.Port()->SetReplyTimeoutMs(0);
    rig.box.override = [](const std::string& c) -> std::optional<std::string> {
        if (c == "b")
            return "partial";
        return std::nullopt;
    };
    rig.cycle.Tick();
    rig.link.Port()->SetReplyTimeoutMs(SerialPort::kDefaultReplyTimeoutMs);
    EXPECT_EQ(rig.box.TakeLog(), (std::vector<std::string>{"v", "i", "4", "m", "b"}));
    EXPECT_EQ(r.interfaceReplies, 4u);
    EXPECT_FALSE(r.positionSent); // the read-out's own "4" is not the tick's position read
    EXPECT_EQ(r.ending, TickReport::Ending::Error);
    EXPECT_EQ(r.received, "partial");
    EXPECT_EQ(r.singleturnError, "Error: partial" + rig.link.LastErrorText);

    // A command that could not be sent received nothing: the reply to the one before is not shown as its.
    rig.box.override = {};
    rig.box.writeError = 5;
    rig.box.writeErrorOnly = "i";
    rig.link.LastErrorText = "";
    rig.cycle.Tick();
    EXPECT_EQ(r.received, "");
    EXPECT_TRUE(r.portLost);
}

TEST(MonitorCycle, CycleCounterRunsToTwentyAndClearsTheHoldBits)
{
    CycleRig rig;
    rig.identity.EncoderConnected = true;
    rig.box.positionReply = Reply(EncodePositionFrame(0, 0, 12, 20, false, false));
    rig.cycle.EncoderStatusDelay() = 0x5;
    for (uint32_t i = 1; i <= 20; ++i) {
        rig.cycle.Tick();
        ASSERT_EQ(rig.cycle.CycleCounter(), i);
    }
    EXPECT_EQ(rig.cycle.EncoderStatusDelay(), 0x5);
    rig.box.positionReply = "bad\r";
    rig.cycle.Tick();
    EXPECT_EQ(rig.cycle.CycleCounter(), 20u); // failed ticks do not count
    rig.identity.EncoderConnected = true;
    rig.box.positionReply = Reply(EncodePositionFrame(0, 0, 12, 20, false, false));
    rig.cycle.Tick();
    EXPECT_EQ(rig.cycle.CycleCounter(), 0u);
    EXPECT_EQ(rig.cycle.EncoderStatusDelay(), 0);
}
