// The maker's service logic against an in-process box with exact command
// logs: the configuration read and write by page and firmware, the zero
// preset's arithmetic, the self-calibration start and wait, and the decoding
// of the calibration and Quenra read-outs inside the monitor cycle.

#include "FakeBox.h"
#include "encoder/Calibration.h"
#include "encoder/Configuration.h"
#include "encoder/QuenraStatus.h"
#include "monitor/ServiceReadouts.h"
#include "util/NumberText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

TEncoderSignature Firmware(uint16_t svn)
{
    TEncoderSignature s;
    s.Zolvan_FWverSVN = svn;
    return s;
}

// A link to a fake box whose bank 0 holds a configuration.
struct ConfigRig {
    Link link;
    FakeBox& box = AttachFakeBox(link);
    ConfigRig()
    {
        TBiSS_bank& b = box.banks[0];
        PutBigEndian(&b[0x00], 0xFFFFFFFF, 4);
        PutBigEndian(&b[0x04], 4, 4);
        PutBigEndian(&b[0x08], 1000, 4);
        PutBigEndian(&b[0x0C], 8, 4);
        PutBigEndian(&b[0x10], 500, 4);
        b[0x18] = 64;
        PutBigEndian(&b[0x19], 270, 2);
        b[0x21] = 20;
        b[0x2E] = 0x05;
        b[0x3F] = 7;
    }
    // The command is answered with a BiSS time-out.
    void Fail(const std::string& command)
    {
        box.override = [command](const std::string& c) -> std::optional<std::string> {
            if (c == command)
                return std::string("3\r");
            return std::nullopt;
        };
    }
};

TEST(ConfigurationRead, ReadsWhatThePageAndTheFirmwareHave)
{
    struct Case {
        EncoderFamily family;
        uint16_t svn;
        ConfigPage page;
        Log commands;
    };
    const Case cases[] = {
        {EncoderFamily::Torvik, 9600, ConfigPage::Torvik,
         {"Ws000:064", "R04:000", "R04:004", "R04:008", "R04:012", "R04:016", "R01:024", "R02:025", "R01:033",
          "R01:046", "Ws000:064", "R64:000"}},
        // The calibration page: no filters; no time-out before build 9568.
        {EncoderFamily::Torvik, 2600, ConfigPage::Other,
         {"Ws000:064", "R04:000", "R01:024", "R02:025", "R01:046", "Ws000:064", "R64:000"}},
        {EncoderFamily::Torvik, 1522, ConfigPage::Torvik,
         {"Ws000:064", "R04:000", "R04:004", "R04:008", "R04:012", "R04:016", "Ws000:064", "R64:000"}},
        // Quenra encoders: the offset and the checksum, whatever the firmware.
        {EncoderFamily::Quenra, 9600, ConfigPage::Quenra, {"Ws000:064", "R04:000", "Ws000:064", "R64:000"}},
    };
    for (const Case& c : cases) {
        ConfigRig rig;
        const ConfigurationReading r = ReadConfiguration(rig.link, c.family, Firmware(c.svn), c.page);
        EXPECT_EQ(rig.box.TakeLog(), c.commands) << c.svn;
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.statusText, "Comm OK\r\n");
        EXPECT_EQ(r.offset, "4294967295");
        EXPECT_EQ(r.posFilterSpeed.has_value(), c.page == ConfigPage::Torvik);
        // The calibration fields are always decided: enabled with a value or disabled.
        ASSERT_TRUE(r.calibrationArcEnabled && r.calibrationTimeoutEnabled);
        EXPECT_EQ(*r.calibrationArcEnabled, c.family == EncoderFamily::Torvik && c.svn >= 2589);
        EXPECT_EQ(r.calibrationArc, *r.calibrationArcEnabled ? "270" : "");
        EXPECT_EQ(*r.calibrationTimeoutEnabled, c.family == EncoderFamily::Torvik && c.svn >= 9568);
        ASSERT_TRUE(r.checksum);
        EXPECT_FALSE(r.checksum->Ok());
        EXPECT_EQ(ConfigChecksumText(*r.checksum), "Checksum: " + std::to_string(r.checksum->computed) + " / 7");
    }

    ConfigRig rig;
    const ConfigurationReading r =
        ReadConfiguration(rig.link, EncoderFamily::Torvik, Firmware(9600), ConfigPage::Torvik);
    EXPECT_EQ(r.posFilterValue, "4");
    EXPECT_EQ(r.velocityFilterSpeed, "500");
    EXPECT_EQ(r.errorArc, "64");
    EXPECT_EQ(r.errorArcDegrees, "\xC2\xB1" "90.0 deg");
    EXPECT_EQ(r.calibrationTimeout, "20");
    EXPECT_EQ(r.writeProtect, "0x5");
}

TEST(ConfigurationRead, StopsAtTheFirstFailureKeepingWhatItRead)
{
    ConfigRig rig;
    rig.Fail("R01:024");
    ConfigurationReading r = ReadConfiguration(rig.link, EncoderFamily::Torvik, Firmware(9600), ConfigPage::Torvik);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.statusText.rfind("Error\r\nBiSS Timeout\r\nCMD: R01:024", 0), 0u) << r.statusText;
    EXPECT_EQ(r.velocityFilterSpeed, "500");
    EXPECT_FALSE(r.errorArc || r.calibrationArcEnabled || r.writeProtect || r.checksumStarted);

    // The bank read for the checksum fails: the label says it was reading.
    rig.Fail("R64:000");
    r = ReadConfiguration(rig.link, EncoderFamily::Torvik, Firmware(9600), ConfigPage::Torvik);
    EXPECT_TRUE(r.checksumStarted);
    EXPECT_FALSE(r.checksum);
    EXPECT_EQ(r.writeProtect, "0x5");
}

TEST(ConfigurationWrite, SendsTheFieldsBigEndianInRegisterOrderThenSaves)
{
    ConfigRig rig;
    ConfigurationTexts t;
    t.offset = "4294967295"; // as a u32 read shows it: writes back unchanged
    t.posFilterValue = "";   // skipped
    t.posFilterSpeed = "0x12345678";
    t.velocityFilterValue = "-1";
    t.velocityFilterSpeed = "7";
    t.errorArc = "300"; // the low byte
    t.writeProtect = "0xC6";
    ConfigWriteOutcome out = WriteConfiguration(rig.link, Firmware(9572), ConfigPage::Torvik, t);
    EXPECT_EQ(out.result, ValueWrite::Written);
    EXPECT_EQ(rig.box.TakeLog(),
              (Log{"Ws000:064", "Ws255:000", "Ws255:001", "Ws255:002", "Ws255:003", "Ws018:008", "Ws052:009",
                   "Ws086:010", "Ws120:011", "Ws255:012", "Ws255:013", "Ws255:014", "Ws255:015", "Ws000:016",
                   "Ws000:017", "Ws000:018", "Ws007:019", "Ws044:024", "Ws198:046", "Ws179:072", "Ws099:073"}));

    // From build 9573 on the write-protect register is never written; before
    // 2211 there is no error arc.
    t = {};
    t.offset = "5";
    t.errorArc = "1";
    t.writeProtect = "0x5";
    WriteConfiguration(rig.link, Firmware(9573), ConfigPage::Torvik, t);
    EXPECT_EQ(rig.box.TakeLog(), (Log{"Ws000:064", "Ws000:000", "Ws000:001", "Ws000:002", "Ws005:003", "Ws001:024",
                                      "Ws179:072", "Ws099:073"}));
    WriteConfiguration(rig.link, Firmware(2210), ConfigPage::Torvik, t);
    EXPECT_EQ(rig.box.TakeLog(), (Log{"Ws000:064", "Ws000:000", "Ws000:001", "Ws000:002", "Ws005:003", "Ws005:046",
                                      "Ws179:072", "Ws099:073"}));

    // The Quenra page: the offset and its write-protect field; an empty one is skipped.
    t.writeProtect = "";
    WriteConfiguration(rig.link, Firmware(9600), ConfigPage::Quenra, t);
    EXPECT_EQ(rig.box.TakeLog(),
              (Log{"Ws000:064", "Ws000:000", "Ws000:001", "Ws000:002", "Ws005:003", "Ws179:072", "Ws099:073"}));

    // A field that is not a number ends the write there, without the save.
    t.posFilterValue = "12a";
    out = WriteConfiguration(rig.link, Firmware(9600), ConfigPage::Torvik, t);
    EXPECT_EQ(out.result, ValueWrite::NotANumber);
    EXPECT_EQ(out.conversionError, "'12a' is not a valid integer value");
    EXPECT_EQ(rig.box.TakeLog(), (Log{"Ws000:064", "Ws000:000", "Ws000:001", "Ws000:002", "Ws005:003"}));
    // So does a failed register write, on the status line.
    rig.Fail("Ws000:001");
    t.posFilterValue.clear();
    out = WriteConfiguration(rig.link, Firmware(9600), ConfigPage::Torvik, t);
    EXPECT_EQ(out.result, ValueWrite::Failed);
    EXPECT_EQ(out.statusText.rfind("Error\r\n", 0), 0u);
    EXPECT_EQ(rig.box.TakeLog(), (Log{"Ws000:064", "Ws000:000", "Ws000:001"}));
}

TEST(ZeroPreset, RangeAndNewOffsetHoldForEverySingleturnLength)
{
    EXPECT_EQ(ZeroRangeLimit(12), 4095u);
    EXPECT_EQ(ZeroRangeLimit(31), 0x7FFFFFFFu);
    EXPECT_EQ(ZeroRangeLimit(32), 0xFFFFFFFFu);
    EXPECT_TRUE(ZeroInRange("4095", 12));
    EXPECT_FALSE(ZeroInRange("4096", 12));
    EXPECT_FALSE(ZeroInRange("-1", 12));
    EXPECT_TRUE(ZeroInRange("x", 12)); // not a number counts as 0
    EXPECT_TRUE(ZeroInRange("4294967295", 32));
    EXPECT_FALSE(ZeroInRange("2147483648", 31));

    EXPECT_EQ(NewZeroOffset(4000, 200, 12), 104);
    EXPECT_EQ(NewZeroOffset(-5, 2, 12), 4093);
    EXPECT_EQ(NewZeroOffset(0xFFFFFFF0LL, 0x20, 32), 0x10);
    EXPECT_EQ(NewZeroOffset(0x7FFFFFFFLL, 0x7FFFFFFF, 31), 0x7FFFFFFE);

    TEncoderPosition p;
    EXPECT_EQ(ZeroPresetErrors(p, true, true), "");
    p.ErrCRC = true;
    EXPECT_EQ(ZeroPresetErrors(p, true, false), "CRC, EDS Profile checksum, ");
    p.ErrTimeout = p.ErrBit = true;
    p.ErrComm = -1;
    EXPECT_EQ(ZeroPresetErrors(p, false, false),
              "Timeout, Error bit, CRC, Comm, EDS common checksum, EDS Profile checksum, ");
}

TEST(SelfCalibration, TimingFollowsTheTimeoutField)
{
    // An empty field waits the default and shows its progress over 10 s.
    EXPECT_EQ(CalibrationTimingFor(true, "")->waitLimitMs, 10500);
    EXPECT_EQ(CalibrationTimingFor(true, "")->progressMaximum, 100);
    EXPECT_FALSE(CalibrationTimingFor(true, "-1"));
    // Without the register the field does not count at all.
    const std::optional<CalibrationTiming> fixed = CalibrationTimingFor(false, "-1");
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->waitLimitMs, 10500);
    EXPECT_FALSE(fixed->progressMaximum);
    EXPECT_EQ(fixed->timeoutCaption, "Timeout - 10 seconds expired");
}

TEST(SelfCalibration, WaitFollowsTheTimeoutTheRegisterReceives)
{
    // The register takes one byte: 100000 writes 0xA0, and the encoder gives up after 160 s.
    const std::optional<CalibrationTiming> large = CalibrationTimingFor(true, "100000");
    ASSERT_TRUE(large);
    EXPECT_EQ(large->waitLimitMs, 160 * 1050);
    EXPECT_EQ(large->progressMaximum, 1600);
    EXPECT_EQ(large->timeoutCaption, "Timeout - 168 seconds expired");
    EXPECT_EQ(CalibrationTimingFor(true, "255")->waitLimitMs, 255 * 1050);
    EXPECT_EQ(CalibrationTimingFor(true, "0x1FF")->waitLimitMs, 255 * 1050);
    EXPECT_EQ(CalibrationTimingFor(true, "256")->waitLimitMs, 0);
}

TEST(SelfCalibration, StartWritesTheParametersTheFirmwareTakes)
{
    ConfigRig rig;
    rig.box.Reg(0x52) = 0x46;
    rig.box.Reg(0x50) = 0x03;
    CalibrationStart s = StartSelfCalibration(rig.link, EncoderFamily::Torvik, Firmware(9600), "270", "300");
    EXPECT_EQ(s.result, CalibrationStart::Result::Started);
    EXPECT_EQ(s.statusText, "Comm OK");
    EXPECT_EQ(s.counterStart, 2);
    // 300 s does not fit the register: its low byte goes, and the wait follows it.
    EXPECT_EQ(s.timing->waitLimitMs, 44 * 1050);
    EXPECT_EQ(rig.box.TakeLog(), (Log{"Ws000:064", "Ws001:025", "Ws014:026", "Ws000:064", "Ws044:033", "R01:082",
                                      "Ws179:072", "Ws065:073"}));

    s = StartSelfCalibration(rig.link, EncoderFamily::Torvik, Firmware(2600), "270", "20");
    EXPECT_EQ(s.timing->waitLimitMs, 10500);
    EXPECT_EQ(rig.box.TakeLog(), (Log{"Ws000:064", "Ws001:025", "Ws014:026", "R01:082", "Ws179:072", "Ws065:073"}));
    s = StartSelfCalibration(rig.link, EncoderFamily::Quenra, Firmware(9600), "270", "20");
    EXPECT_EQ(s.counterStart, 3);
    EXPECT_EQ(rig.box.TakeLog(), (Log{"R01:080", "Ws179:072", "Ws065:073"}));

    // Refused before anything is sent.
    s = StartSelfCalibration(rig.link, EncoderFamily::Torvik, Firmware(9600), "270", "-5");
    EXPECT_EQ(s.result, CalibrationStart::Result::NegativeTimeout);
    EXPECT_TRUE(rig.box.TakeLog().empty());
    s = StartSelfCalibration(rig.link, EncoderFamily::Torvik, Firmware(9600), "270", "ten");
    EXPECT_EQ(s.result, CalibrationStart::Result::NotANumber);
    EXPECT_EQ(rig.box.TakeLog(), (Log{"Ws000:064", "Ws001:025", "Ws014:026", "Ws000:064"}));

    // A failed key write sends no command; the command's own result is not evaluated.
    rig.Fail("Ws179:072");
    s = StartSelfCalibration(rig.link, EncoderFamily::Quenra, Firmware(9600), "", "");
    EXPECT_EQ(s.result, CalibrationStart::Result::Failed);
    EXPECT_EQ(rig.box.TakeLog(), (Log{"R01:080", "Ws179:072"}));
    rig.Fail("Ws065:073");
    s = StartSelfCalibration(rig.link, EncoderFamily::Quenra, Firmware(9600), "", "");
    EXPECT_EQ(s.result, CalibrationStart::Result::Started);
}

// A clock that only the pauses move, starting just below a 32-bit wrap.
struct FakeTime {
    int64_t now = 0xFFFFFF00LL;
    std::vector<int64_t> progress;
    int served = 0;
    CalibrationWaitHooks Hooks()
    {
        return {[this] { return now; }, [this](int64_t ms) { progress.push_back(ms); }, [this] { ++served; },
                [this](int ms) { now += ms + 300; }}; // each poll and pause take 400 ms
    }
};

TEST(SelfCalibration, WaitEndsAtTheFirstAnswerOrWhenTheTimeIsUp)
{
    ConfigRig rig;
    int busyPolls = 2;
    rig.box.override = [&](const std::string& c) -> std::optional<std::string> {
        if (c == "R01:082" && busyPolls-- > 0)
            return std::string("3\r");
        return std::nullopt;
    };
    FakeTime time;
    EXPECT_TRUE(WaitForCalibration(rig.link, 10500, time.Hooks()));
    EXPECT_EQ(rig.box.TakeLog(), (Log{"R01:082", "R01:082", "R01:082"}));
    EXPECT_EQ(time.progress, (std::vector<int64_t>{0, 400, 800}));
    EXPECT_EQ(time.served, 3);

    // Never answering: polls until the limit has passed, across the 32-bit wrap.
    busyPolls = 1000;
    FakeTime late;
    EXPECT_FALSE(WaitForCalibration(rig.link, 10500, late.Hooks()));
    EXPECT_EQ(rig.box.TakeLog().size(), 27u);
    EXPECT_GT(late.progress.back(), 10000);
    // A port that is gone ends the wait at once.
    rig.link.ClosePort();
    FakeTime closed;
    EXPECT_FALSE(WaitForCalibration(rig.link, 10500, closed.Hooks()));
    EXPECT_EQ(closed.progress.size(), 1u);
}

TEST(SelfCalibration, StatusLampsAndReport)
{
    CalibrationStatus s = DecodeCalibrationStatus(0x01, 0);
    EXPECT_EQ(s.finished, IndicatorColour::Green);
    EXPECT_EQ(s.successful, IndicatorColour::Lime);
    EXPECT_TRUE(s.succeeded);
    EXPECT_EQ(s.userErrorMap, IndicatorColour::Grey);

    // Bit 6 lies outside the outcome flags: it lights its own panel and spoils nothing.
    s = DecodeCalibrationStatus(0x41, 0);
    EXPECT_EQ(s.userErrorMap, IndicatorColour::Lime);
    EXPECT_TRUE(s.succeeded);

    s = DecodeCalibrationStatus(0x3E, 1);
    EXPECT_EQ(s.counter, 2);
    EXPECT_EQ(s.timeout, IndicatorColour::Red);
    EXPECT_EQ(s.outOfRange, IndicatorColour::Red);
    EXPECT_EQ(s.arcOutOfRange, IndicatorColour::Red);
    EXPECT_EQ(s.noCorrection, IndicatorColour::Orange);
    EXPECT_EQ(s.successful, IndicatorColour::Grey);
    EXPECT_FALSE(s.succeeded);
    // The counter did not move: nothing finished.
    s = DecodeCalibrationStatus(0x02, 2);
    EXPECT_EQ(s.finished, IndicatorColour::Grey);
    EXPECT_FALSE(s.succeeded);

    const std::optional<CalibrationAccuracy> a = EstimateAccuracy(20, 42.1f, false);
    ASSERT_TRUE(a);
    EXPECT_NEAR(a->before, 0.064438, 1e-5);
    EXPECT_NEAR(a->after, 0.010740, 1e-5);
    EXPECT_EQ(EstimateAccuracy(20, 42.1f, true)->after, a->before);
    EXPECT_EQ(EstimateAccuracy(1, 42.1f, false)->after, 0.01f);

    const std::string report = CalibrationReport(DecodeCalibrationStatus(0x01, 0), {20, 137, -12}, 42.1f);
    EXPECT_EQ(report, "Counter: 1\r\nRing eccentricity: 20 \xC2\xB5m\r\nEccentricity angle: 137 deg\r\n"
                      "Readhead radial shift: -12 \xC2\xB5m\r\n"
                      "Est. accuracy before calib.: \xC2\xB1" "0.064\xC2\xB0\r\n"
                      "Est. accuracy after calib.: \xC2\xB1" "0.011\xC2\xB0");
}

TEST(SelfCalibration, UnknownRingGivesNoAccuracy)
{
    // Without the ring diameter (Quenra encoders) there is nothing to estimate from.
    EXPECT_FALSE(EstimateAccuracy(20, 0, false));
    EXPECT_EQ(CalibrationReport(DecodeCalibrationStatus(0x01, 0), {20, 137, -12}, 0),
              "Counter: 1\r\nRing eccentricity: 20 \xC2\xB5m\r\nEccentricity angle: 137 deg\r\n"
              "Readhead radial shift: -12 \xC2\xB5m\r\n"
              "Est. accuracy before calib.: n/a\r\n"
              "Est. accuracy after calib.: n/a");
}

TEST(QuenraStatus, LampsBarAndAirGap)
{
    auto colour = [](const char* panel, uint16_t word) {
        for (const QuenraStatusLamp& lamp : kQuenraStatusLamps)
            if (std::string(lamp.panel) == panel)
                return QuenraLampColour(lamp, word);
        ADD_FAILURE() << panel;
        return IndicatorColour::Grey;
    };
    // Every bit of a mask is needed.
    EXPECT_EQ(colour("pnlQSignalLow", 0x0040), IndicatorColour::Grey);
    EXPECT_EQ(colour("pnlQSignalLow", 0x0240), IndicatorColour::Red);
    EXPECT_EQ(colour("pnlQmultiturn", 0x0208), IndicatorColour::Red);
    EXPECT_EQ(colour("pnlQTemperature", 0x0020), IndicatorColour::Orange);

    EXPECT_EQ(QuenraSignalBarHeight(0), 0);
    EXPECT_EQ(QuenraSignalBarHeight(6100), 100);
    EXPECT_EQ(QuenraSignalBarHeight(1000), 40);
    // Beyond the background's top the bar stops there.
    EXPECT_EQ(QuenraSignalBarHeight(65535), kQuenraSignalBarRoom);

    EXPECT_NEAR(static_cast<double>(QuenraAirGap(6100, "12")), 2.3979, 1e-3);
    EXPECT_NEAR(static_cast<double>(QuenraAirGap(6100, "16")), 4.2629, 1e-3);
    EXPECT_EQ(QuenraAirGap(6100, "20"), 0);
    EXPECT_EQ(QuenraAirGapText(QuenraAirGap(6100, "12"), "12"), "Air gap: 2.4 \xC2\xB1" "0.3 mm with magnet 12 mm");
    EXPECT_EQ(TenthsText(-12, "Hz"), "-1.2 Hz");
}

// The read-outs inside the monitor cycle, on a fake box.
struct ReadoutRig {
    Link link;
    FakeBox& box = AttachFakeBox(link);
    EncoderIdentity identity;
    PositionUnits units{link.PositionMTLength, link.PositionSTLength};
    struct NoServices : TickServices {
        void Wait(int) override {}
        void IdentifyNewEncoder() override {}
    } services;
    MonitorCycle cycle{link, identity, units, services};
    ReadoutRig()
    {
        identity.EncoderConnected = true;
        box.positionReply = "0000000000000000\r";
    }
};

TEST(ServiceReadouts, CalibrationReadoutGoesOnAfterAFailedStatusRead)
{
    ReadoutRig rig;
    std::vector<int> paused;
    CalibrationReadout readout(rig.identity, [&](int ms) { paused.push_back(ms); });
    readout.SetPageShown(true);
    rig.cycle.AddStep(&readout);
    rig.identity.PremerKodeRinga = 42.1f;
    rig.link.EncoderSignature.Zolvan_FWverSVN = 2589;
    rig.box.Reg(0x52) = 0x01;
    PutBigEndian(&rig.box.banks[0][0x1B], 20, 2);
    PutBigEndian(&rig.box.banks[0][0x1F], static_cast<uint16_t>(-12), 2);

    EXPECT_EQ(rig.cycle.Tick().ending, TickReport::Ending::Ok);
    // The results lie in the configuration bank, which is selected first.
    EXPECT_EQ(rig.box.TakeLog(), (Log{"4", "R01:082", "Ws000:064", "R02:027", "R02:029", "R02:031"}));
    ASSERT_TRUE(readout.Reading().report);
    EXPECT_NE(readout.Reading().report->find("Readhead radial shift: -12 "), std::string::npos);
    EXPECT_TRUE(readout.Reading().status.succeeded);

    // Before build 2589 only the status register is read.
    rig.link.EncoderSignature.Zolvan_FWverSVN = 2588;
    rig.cycle.Tick();
    EXPECT_EQ(rig.box.TakeLog(), (Log{"4", "R01:082"}));
    EXPECT_FALSE(readout.Reading().report);

    // A failed status read pauses without serving and lets the tick go on.
    rig.box.override = [](const std::string& c) -> std::optional<std::string> {
        return c == "R01:082" ? std::optional<std::string>("3\r") : std::nullopt;
    };
    EXPECT_EQ(rig.cycle.Tick().ending, TickReport::Ending::Ok);
    EXPECT_EQ(paused, std::vector<int>{100});
    EXPECT_FALSE(readout.Reading().statusRead);
}

TEST(ServiceReadouts, QuenraStatusHoldsItsBitsOverTheHoldWindow)
{
    ReadoutRig rig;
    rig.identity.TipMagnetaQuenra = "12";
    QuenraStatusReadout readout(rig.cycle, rig.identity);
    readout.SetPageShown(true);
    rig.cycle.AddStep(&readout);
    PutBigEndian(&rig.box.Reg(0x4A), 0x0100, 2);
    PutBigEndian(&rig.box.Reg(0x4C), static_cast<uint16_t>(-15), 2);
    PutBigEndian(&rig.box.Reg(0x4E), 17, 2);
    PutBigEndian(&rig.box.Reg(0x51), 6100, 2);
    rig.box.Reg(0x53) = 0x10;

    rig.cycle.Tick();
    EXPECT_EQ(rig.box.TakeLog(), (Log{"4", "R02:074", "R02:076", "R02:078", "R02:081", "R01:083"}));
    const QuenraStatusReading& r = readout.Reading();
    ASSERT_TRUE(r.complete);
    EXPECT_EQ(r.bitsText, "0000000100000000");
    EXPECT_EQ(r.temperatureText, "-1.5 \xC2\xB0" "C");
    EXPECT_EQ(r.velocityText, "1.7 Hz");
    EXPECT_EQ(r.signalText, "6100");
    EXPECT_EQ(r.bbmText, "16");
    EXPECT_EQ(r.barHeight, 100);

    // A warning seen in one tick stays until the hold window restarts: at
    // most 21 successful ticks.
    PutBigEndian(&rig.box.Reg(0x4A), 0, 2);
    int shown = 1;
    while (rig.cycle.CycleCounter() != 0 && shown < 100) {
        rig.cycle.Tick();
        EXPECT_EQ(readout.Reading().heldWord, 0x0100);
        ++shown;
    }
    EXPECT_EQ(shown, 21);
    rig.cycle.Tick();
    EXPECT_EQ(readout.Reading().heldWord, 0);

    // A failed read ends the tick; what was read before it stays set.
    rig.box.override = [](const std::string& c) -> std::optional<std::string> {
        return c == "R02:078" ? std::optional<std::string>("3\r") : std::nullopt;
    };
    EXPECT_EQ(rig.cycle.Tick().ending, TickReport::Ending::Error);
    EXPECT_TRUE(r.temperatureText && !r.velocityText && !r.complete);
}

} // namespace
