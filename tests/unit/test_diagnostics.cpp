// The Debug page's diagnostics on their own and against an in-process box:
// the analysis window and the three spectrum bins, the envelope fits and the
// tilt's traffic light, the cycle report, both layouts of the debug bank, a
// refused bank, and the hard-fault dump.

#include "FakeBox.h"
#include "encoder/Diagnostics.h"
#include "monitor/DebugReadout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

DebugSamples Impulse(size_t at, int8_t value)
{
    DebugSamples s{};
    s[at] = value;
    return s;
}

TEST(DebugSpectrum, WindowAndBinsTakeSamplesOneToN)
{
    const SpectrumWindow w7 = WindowFor(7), w8 = WindowFor(8);
    EXPECT_EQ(w7.samples, 49);
    EXPECT_EQ(w8.samples, 48);
    EXPECT_NEAR(w7.values[1], 0.0049, 0.0001);
    for (int n = 1; n <= 49; ++n)
        EXPECT_EQ(w7.values[static_cast<size_t>(n)] == 1.0f, n >= 23 && n <= 27) << n;
    for (int n = 1; n <= 48; ++n)
        EXPECT_EQ(w8.values[static_cast<size_t>(n)] == 1.0f, n >= 23 && n <= 26) << n;
    // A sample of 100 where the window is 1 has magnitude 100 in every bin;
    // sample 0 never counts, nor sample 49 for code length 8.
    EXPECT_EQ(SpectrumBars(Impulse(25, 100), w7), (std::array<int, 3>{25, 25, 25}));
    EXPECT_EQ(SpectrumBars(Impulse(0, 127), w7), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(SpectrumBars(Impulse(49, 127), w8), (std::array<int, 3>{0, 0, 0}));
    // A wave of the code length's period stands out in the middle bin.
    DebugSamples wave{};
    for (int j = 1; j < kDebugSampleCount; ++j)
        wave[static_cast<size_t>(j)] = static_cast<int8_t>(std::lround(60 * std::sin(2 * M_PI * 7 * (j - 1) / 49)));
    const std::array<int, 3> bars = SpectrumBars(wave, w7);
    EXPECT_GT(bars[1], 2 * std::max(bars[0], bars[2]));
}

TEST(DebugEnvelope, FitsTiltAndTrafficLight)
{
    // Envelopes leaning apart by 1 and -0.5 per sample (sample 0 left out): tilt 150.
    Envelope lean;
    for (int s = 0; s < kDebugSampleCount; ++s) {
        lean.max[static_cast<size_t>(s)] = static_cast<int8_t>(40 + s);
        lean.min[static_cast<size_t>(s)] = static_cast<int8_t>(-40 - s / 2);
    }
    lean.min[0] = 127;
    const EnvelopeFits fits = FitEnvelope(lean);
    EXPECT_NEAR(static_cast<double>(fits.maxSlope), 1.0, 1e-12);
    EXPECT_FLOAT_EQ(fits.maxLine.x1, 2);
    EXPECT_FLOAT_EQ(fits.maxLine.y1, 41);
    EXPECT_FLOAT_EQ(fits.maxLine.x2, 53);
    EXPECT_FLOAT_EQ(fits.maxLine.y2, 92);
    EXPECT_NEAR(static_cast<double>(fits.tilt), 150, 1);
    // A flat envelope fits at y = 0; the tilt is then the other slope alone.
    lean.max.fill(50);
    const EnvelopeFits flat = FitEnvelope(lean);
    EXPECT_EQ(flat.maxLine.y1, 0);
    EXPECT_EQ(flat.maxLine.y2, 0);
    EXPECT_EQ(flat.tilt, -100 * flat.minSlope);

    EXPECT_EQ(TiltText(9.96L), "Sensor tilt = 10.0");
    EXPECT_EQ(TiltLevelOf(9.96L), TiltLevel::Good); // the unrounded value decides
    EXPECT_EQ(TiltLevelOf(-15), TiltLevel::Marginal);
    EXPECT_EQ(TiltLevelOf(19.999L), TiltLevel::Marginal);
    EXPECT_EQ(TiltLevelOf(-20), TiltLevel::Bad);
    EXPECT_EQ(TiltText(1234.56L), "Sensor tilt = 1,234.6");
}

TEST(DebugCycle, ShortestOfTheLastTenAndItsReport)
{
    CycleHistory h;
    EXPECT_EQ(h.Add(1000), 1000);
    EXPECT_EQ(h.Add(900), 900);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(h.Add(950), 900) << i;
    EXPECT_EQ(h.Add(950), 950); // 900 is no longer among the last ten
    EXPECT_EQ(CycleReportText(720, 72), "Encoder cycle time:\r\n720\r\n = 10 \xC2\xB5s\r\n = 100.0 kHz");
    EXPECT_EQ(CycleReportText(10, 64), "Encoder cycle time:\r\n10\r\n = 0 \xC2\xB5s\r\n = 6,400.0 kHz");
    EXPECT_FALSE(CycleReportText(0, 72));
    EXPECT_EQ(CodeLabelText("101", "011", 2), "1  0  1  \r\n0  1  1  ");
}

// The debug bank of a Torvik encoder behind an in-process box.
struct DebugRig {
    Link link;
    FakeBox& box = AttachFakeBox(link);
    EncoderIdentity identity;
    DebugReadout readout{identity};

    DebugRig()
    {
        link.EncoderSignature.Zolvan_FWverComm = 8;
        TBiSS_bank& bank = box.banks[DebugBank];
        for (size_t i = 0; i < kDebugSampleCount; ++i)
            bank[i] = static_cast<uint8_t>(i * 3 - 70);
        const uint8_t tail[] = {3, 0x00, 0x59, 0x00, 0x26, 0x02, 0xD0, 5, 0x44, 9};
        std::copy(std::begin(tail), std::end(tail), bank.begin() + 0x35);
        for (size_t i = 0; i < 64; ++i)
            box.banks[HardFaultBank0][i] = static_cast<uint8_t>(i), box.banks[HardFaultBank1][i] = static_cast<uint8_t>(~i);
    }
    // From now on the encoder takes no selection of the diagnostic banks.
    void Lock()
    {
        box.override = [](const std::string& c) -> std::optional<std::string> {
            if (c.size() == 9 && c.rfind("Ws22", 0) == 0 && c[4] >= '3' && c.substr(6) == "064")
                return std::string("0\r");
            return std::nullopt;
        };
    }
};

TEST(DebugRead, BothLayoutsSelectingTheBankOnlyWhenNeeded)
{
    DebugRig r;
    EXPECT_TRUE(r.readout.Run(r.link));
    EXPECT_EQ(r.box.TakeLog(), (std::vector<std::string>{"R01:064", "Ws223:064", "R01:064", "R64:000"}));
    EXPECT_TRUE(r.readout.Run(r.link));
    EXPECT_EQ(r.box.TakeLog(), (std::vector<std::string>{"R01:064", "R64:000"}));

    const DebugSnapshot& s = r.readout.State().Snapshot();
    EXPECT_EQ(s.samples[0], -70);
    EXPECT_EQ(s.samples[52], 86);
    EXPECT_EQ(s.codeA, "1011001");
    EXPECT_EQ(s.codeB, "0100110");
    EXPECT_EQ(s.cycleTime, 720);
    EXPECT_EQ(s.resetCount, 5);
    const DebugView& v = r.readout.State().View();
    EXPECT_EQ(v.decodingText, "Decoding: 3");
    std::vector<int> xs;
    for (const DecodingPoint& p : v.decodingPoints) {
        xs.push_back(p.x);
        EXPECT_EQ(p.y, s.samples[static_cast<size_t>(p.x - 1)]);
    }
    EXPECT_EQ(xs, (std::vector<int>{3, 10, 17, 24, 31, 38, 45}));
    EXPECT_EQ(v.codeText, CodeLabelText("1011001", "0100110", 8));
    EXPECT_EQ(v.resetText, "Sensor reset counter: 5");
    EXPECT_EQ(v.tiltText, "Sensor tilt = 0.0"); // both envelopes lean alike

    // The speed layout of older firmware keeps the decoding points.
    r.link.EncoderSignature.Zolvan_FWverComm = 7;
    r.box.banks[DebugBank][0x3A] = 0xFF, r.box.banks[DebugBank][0x3B] = 0xF4;
    EXPECT_TRUE(r.readout.Run(r.link));
    EXPECT_EQ(v.decodingText, "Speed: -12");
    EXPECT_EQ(v.decodingPoints.size(), 7u);
    EXPECT_EQ(s.cycleTime, 0x0544);
    EXPECT_EQ(v.resetText, "Sensor reset counter: 9");
    EXPECT_EQ(v.cycleText->substr(0, 24), "Encoder cycle time:\r\n720"); // the shortest since the connection
}

TEST(DebugRead, HardFaultDumpAndRefusedBanks)
{
    DebugRig r;
    const HardFaultDump dump = ReadHardFaultDump(r.link);
    ASSERT_EQ(dump.result, DebugRead::Read);
    EXPECT_EQ(r.box.TakeLog(),
              (std::vector<std::string>{"Ws224:064", "R01:064", "R64:000", "Ws225:064", "R01:064", "R64:000"}));
    EXPECT_EQ(dump.text.substr(0, 30), "Page 224\r\n00010203\r\n04050607\r\n");
    EXPECT_NE(dump.text.find("3C3D3E3F\r\nPage 225\r\nFFFEFDFC\r\n"), std::string::npos);
    EXPECT_EQ(std::count(dump.text.begin(), dump.text.end(), '\n'), 34);

    // A refused bank changes nothing and is no failure; a failed read ends the tick.
    ASSERT_TRUE(r.readout.Run(r.link));
    const DebugSamples before = r.readout.State().Snapshot().samples;
    r.box.Reg(0x40) = 0;
    r.box.banks[DebugBank][5] = 0x7F;
    r.Lock();
    r.box.TakeLog();
    EXPECT_TRUE(r.readout.Run(r.link));
    EXPECT_EQ(r.box.TakeLog(), (std::vector<std::string>{"R01:064", "Ws223:064", "R01:064"}));
    EXPECT_EQ(r.readout.Reads(), 1u);
    EXPECT_EQ(r.readout.State().Snapshot().samples, before);
    EXPECT_EQ(ReadHardFaultDump(r.link).result, DebugRead::Refused);
    r.box.writeError = 5;
    EXPECT_FALSE(r.readout.Run(r.link));
}

} // namespace
