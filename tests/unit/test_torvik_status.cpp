// The Torvik status read-out in the monitor cycle against an in-process box:
// what it reads and in which order, what the lamps, values and log show, when
// the install chart gains a point, its limit lines and the Copy text.

#include "MonitorRig.h"
#include "monitor/TorvikStatus.h"
#include "util/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {
std::string Frame(uint64_t multiturn, uint64_t singleturn, bool warning = false)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llX\r",
                  static_cast<unsigned long long>(EncodePositionFrame(multiturn, singleturn, 12, 20, false, warning)));
    return buf;
}

// The cycle with the read-out step, an identified Torvik encoder (code length 7).
struct StatusRig : MonitorRig {
    TorvikStatusReadout readout{cycle, identity};

    StatusRig()
    {
        link.PositionMTLength = 12;
        link.PositionSTLength = 20;
        units.ScaleChanged(360, 1 << 20);
        identity.EncoderConnected = true;
        identity.DruzinaEnkoderja = EncoderFamily::Torvik;
        identity.AirGapK = -83.556343f;
        identity.AirGapN = 846.1f;
        readout.SetPageShown(true);
        cycle.AddStep(&readout);
        SetBlock(0, 25, 2400, 10);
        box.positionReply = Frame(0, 0);
    }
    void SetBlock(uint16_t status, int16_t temperature, uint16_t level, int16_t velocity)
    {
        const uint16_t words[4] = {status, static_cast<uint16_t>(temperature), level, static_cast<uint16_t>(velocity)};
        for (int i = 0; i < 4; ++i) {
            box.Reg(0x4A + 2 * i) = static_cast<uint8_t>(words[i] >> 8);
            box.Reg(0x4B + 2 * i) = static_cast<uint8_t>(words[i]);
        }
    }
    const TickReport& Tick() { return cycle.Tick(); }
    const TorvikStatusReading& Reading() const { return readout.Reading(); }
};
} // namespace

TEST(TorvikStatus, ReadsTheBlockAfterThePositionAndShowsEveryValue)
{
    StatusRig r;
    r.SetBlock(0x8421, -5, 2400, -1234);
    r.box.TakeLog();
    EXPECT_EQ(r.Tick().ending, TickReport::Ending::Ok);
    EXPECT_EQ(r.box.TakeLog(), (std::vector<std::string>{"4", "R09:074"}));
    const TorvikStatusReading& s = r.Reading();
    EXPECT_EQ(s.bitsText, "1000010000100001");
    EXPECT_EQ(s.temperatureText, "-5");
    EXPECT_EQ(s.signalText, "2400");
    EXPECT_EQ(s.velocityText, "-1,234");
    // ln(2400) x K + N = 195.75...
    EXPECT_EQ(s.airGapText, "Air gap: 196 \xC2\xB5m (\xC2\xB1" "20 \xC2\xB5m)");
    EXPECT_EQ(r.readout.Runs(), 1u);

    // Not shown and not recording: the tick reads only the position.
    r.readout.SetPageShown(false);
    r.Tick();
    EXPECT_EQ(r.box.TakeLog(), (std::vector<std::string>{"4"}));
    r.readout.SetRecording(true);
    r.Tick();
    EXPECT_EQ(r.box.TakeLog(), (std::vector<std::string>{"4", "R09:074"}));
}

TEST(TorvikStatus, SignalLevelZeroGivesTheAirGapOffsetAndLampsFollowTheirBits)
{
    StatusRig r;
    r.SetBlock(0, 0, 0, 0);
    r.Tick();
    EXPECT_EQ(r.Reading().signalText, "0");
    EXPECT_EQ(r.Reading().signalLevel, 1);
    EXPECT_DOUBLE_EQ(static_cast<double>(r.Reading().airGap), static_cast<double>(r.identity.AirGapN));

    // Every lamp has its own bit; bits 7 and 2 have none.
    uint16_t all = 0;
    for (const TorvikStatusBit& bit : kTorvikStatusBits) {
        EXPECT_EQ(all & bit.mask, 0) << bit.panel;
        all |= bit.mask;
    }
    EXPECT_EQ(all, 0xFFFF & ~0x0084);
}

TEST(TorvikStatus, LogAddsALinePerSetBitInTableOrderOnEveryTick)
{
    StatusRig r;
    r.SetBlock(0xC701, 25, 2400, 0); // bits 15, 14, 10, 9, 8 and 0
    r.Tick();
    EXPECT_TRUE(r.Reading().logLines.empty());
    r.readout.SetLog(true);
    r.Tick();
    EXPECT_EQ(r.Reading().logLines, (std::vector<std::string>{"E: Clipping", "E: Acceleration error"}));
    r.Tick();
    EXPECT_EQ(r.Reading().logLines.size(), 2u);
}

TEST(TorvikStatus, PersistentStatusIsReadFirstAndShownInsteadOfTheLiveWord)
{
    StatusRig r;
    r.SetBlock(0x0001, 25, 2400, 0);
    r.box.banks[0][0x2C] = 0x20;
    r.box.banks[0][0x2D] = 0x40;
    r.readout.SetShowPersistent(true);
    r.box.TakeLog();
    r.Tick();
    EXPECT_EQ(r.box.TakeLog(), (std::vector<std::string>{"4", "R02:044", "R09:074"}));
    EXPECT_EQ(r.Reading().word, 0x2040);
    EXPECT_EQ(r.Reading().temperatureText, "25"); // the values stay live

    // Switching it on selects bank 0 while an encoder is connected.
    SelectPersistentStatusBank(r.link, r.identity);
    EXPECT_EQ(r.box.TakeLog(), (std::vector<std::string>{"Ws000:064"}));
    r.identity.EncoderConnected = false;
    SelectPersistentStatusBank(r.link, r.identity);
    EXPECT_TRUE(r.box.TakeLog().empty());
}

TEST(TorvikStatus, FailedReadsEndTheTickAndOnlyTheBlockReadEmptiesThePanels)
{
    StatusRig r;
    r.readout.SetShowPersistent(true);
    r.box.override = [](const std::string& c) -> std::optional<std::string> {
        if (c == "R02:044")
            return std::string("");
        return std::nullopt;
    };
    EXPECT_EQ(r.Tick().ending, TickReport::Ending::Error);
    EXPECT_FALSE(r.Reading().emptied);
    EXPECT_FALSE(r.identity.EncoderConnected);

    r.identity.EncoderConnected = true;
    r.box.override = [](const std::string& c) -> std::optional<std::string> {
        if (c == "R09:074")
            return std::string("");
        return std::nullopt;
    };
    EXPECT_EQ(r.Tick().ending, TickReport::Ending::Error);
    EXPECT_TRUE(r.Reading().emptied);
    EXPECT_FALSE(r.Reading().valuesRead);
}

TEST(TorvikStatus, ChartPointOnlyWhileDrawingAndTheShaftMovesMoreThanTenCounts)
{
    StatusRig r;
    r.SetBlock(0, 25, 2400, 0);
    r.readout.SetDraw(true);
    r.box.positionReply = Frame(0, 1000);
    r.Tick(); // from 0 to 1000: a point
    ASSERT_TRUE(r.Reading().point);
    r.box.positionReply = Frame(0, 1010);
    r.Tick(); // 10 counts: none
    EXPECT_FALSE(r.Reading().point);
    r.box.positionReply = Frame(0, 1021, true);
    r.Tick();
    ASSERT_TRUE(r.Reading().point);
    const InstallPoint p = *r.Reading().point;
    EXPECT_TRUE(p.warning);
    EXPECT_FALSE(p.crcError);
    EXPECT_NEAR(p.angle, 1021.0 * 360 / (1 << 20), 1e-4);
    EXPECT_FLOAT_EQ(p.airGap, static_cast<float>(r.Reading().airGap));

    r.readout.SetDraw(false);
    r.box.positionReply = Frame(0, 5000);
    r.Tick();
    EXPECT_FALSE(r.Reading().point);
}

TEST(TorvikStatus, AnglesWrapIntoOneTurnWithoutLoopingOverEveryTurn)
{
    EXPECT_FLOAT_EQ(InstallAngle(725.5f), 5.5f);
    EXPECT_FLOAT_EQ(InstallAngle(-10), 350);
    EXPECT_FLOAT_EQ(InstallAngle(360), 360);
    EXPECT_FLOAT_EQ(InstallAngle(720), 360);
    EXPECT_FLOAT_EQ(InstallAngle(-360), 0);
    const float far = InstallAngle(3.0e12f); // a turn at a time this would never end
    EXPECT_GE(far, 0);
    EXPECT_LE(far, 360);
}

TEST(TorvikStatus, LimitLinesFollowTheAirGapLawThePartNumberAndTheFamily)
{
    EncoderIdentity id;
    id.AirGapK = -83.556343f;
    id.AirGapN = 846.1f;
    TEncoderSignature sig;
    sig.Zolvan_PartNumber = "TV657-18B16-000";
    PositionScale scale;
    InstallChartLimits l = InstallLimits(id, sig, scale);
    EXPECT_NEAR(l.strongest, std::log(19000.0) * id.AirGapK + id.AirGapN, 1e-3);
    EXPECT_NEAR(l.warning, std::log(200.0) * id.AirGapK + id.AirGapN, 1e-3);
    EXPECT_NEAR(l.error, std::log(70.0) * id.AirGapK + id.AirGapN, 1e-3);
    EXPECT_EQ(l.leftMin, 0);
    EXPECT_DOUBLE_EQ(l.leftMax, static_cast<double>(l.error) + 50);
    EXPECT_EQ(l.bottomMax, 360);

    // Older TV746 firmware: the strongest signal is 7000, and a negative gap lowers the axis.
    sig.Zolvan_PartNumber = "TV746-19B16-000";
    sig.Zolvan_FWverSVN = 9859;
    id.AirGapN = 600;
    l = InstallLimits(id, sig, scale);
    EXPECT_NEAR(l.strongest, std::log(7000.0) * id.AirGapK + 600, 1e-3);
    EXPECT_LT(l.strongest, 0);
    EXPECT_DOUBLE_EQ(l.leftMin, static_cast<double>(l.strongest) - 50);
    sig.Zolvan_FWverSVN = 9860;
    EXPECT_NEAR(InstallLimits(id, sig, scale).strongest, std::log(19000.0) * id.AirGapK + 600, 1e-3);

    // Linear scales run over the scale's length; no air-gap law puts every line at 0.
    id = EncoderIdentity{};
    id.DruzinaEnkoderja = EncoderFamily::Linear;
    scale.stMaxCount = 1 << 20;
    scale.resolution = 0.001f;
    l = InstallLimits(id, sig, scale);
    EXPECT_NEAR(l.bottomMax, 1048.576, 1e-3);
    EXPECT_EQ(l.strongest, 0);
    EXPECT_EQ(l.error, 0);
    EXPECT_EQ(l.leftMax, 50);
}

TEST(TorvikStatus, CopyTextRoundsHalvesToEvenAndNeedsPoints)
{
    GapStatistics stats;
    EXPECT_FALSE(InstallCopyText("T1234567", stats)); // no 0/0 average
    for (float y : {100.0f, 101.0f, 104.0f})
        stats.Add(y);
    EXPECT_EQ(*InstallCopyText("T1234567", stats),
              "Serial number: T1234567\r\nMin: 100 \xC2\xB5m\r\nMax: 104 \xC2\xB5m\r\nAvg: 102 \xC2\xB5m\r\n");
    GapStatistics halves;
    for (float y : {100.5f, 101.5f})
        halves.Add(y); // average 101: min 100.5 -> 100, max 101.5 -> 102
    EXPECT_EQ(*InstallCopyText("", halves),
              "Serial number: \r\nMin: 100 \xC2\xB5m\r\nMax: 102 \xC2\xB5m\r\nAvg: 101 \xC2\xB5m\r\n");
}

TEST(TorvikStatus, AverageStaysExactOverAMillionPoints)
{
    // A 32-bit sum would stop growing long before: the average would come out far too low.
    GapStatistics stats;
    for (int i = 0; i < 1000000; ++i)
        stats.Add(i % 2 ? 401.0f : 399.0f);
    EXPECT_DOUBLE_EQ(stats.Average(), 400);
}
