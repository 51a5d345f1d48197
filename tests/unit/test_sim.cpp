// The simulated box and encoder, driven the way the tool drives them: through
// the serial transport and the link, over the simulator's pseudo-terminal.

#include "link/Link.h"
#include "sim/SimCommandLine.h"
#include "sim/Simulator.h"
#include "util/Bits.h"
#include "util/LineFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
using namespace std::chrono_literals;

class SimTest : public ::testing::Test {
protected:
    void StartSim(SimOptions options = {})
    {
        sim = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        Connect();
    }
    void Connect()
    {
        std::string error;
        link.ComHandle = PosixSerialPort::Open(sim->PortPath(), &error);
        ASSERT_TRUE(link.ComHandle) << error;
    }
    std::string Send(const std::string& command)
    {
        std::string reply;
        EXPECT_EQ(link.Transact(command, reply), 0) << command;
        return reply;
    }
    // Selects a bank and reads all of it.
    std::array<uint8_t, 64> ReadBank(uint8_t bank)
    {
        EXPECT_TRUE(link.WriteRegister(0x40, bank)) << link.LastErrorText;
        EXPECT_TRUE(link.ReadRegisters(0, 64)) << link.LastErrorText;
        return link.RxBank;
    }
    uint8_t ReadOne(uint8_t address)
    {
        EXPECT_TRUE(link.ReadRegisters(address, 1)) << link.LastErrorText;
        return link.RxBank[0];
    }
    bool Command(uint8_t code) { return link.WriteRegister(0x48, 0xB3) && link.WriteRegister(0x49, code); }
    void PowerCycle()
    {
        EXPECT_EQ(Send("F"), "Encoder power OFF\r");
        EXPECT_EQ(Send("N"), "Encoder power ON\r");
    }
    void UseDatasheetLengths()
    {
        const SimEncoderInfo info = sim->EncoderInfo();
        link.PositionMTLength = info.mtLength;
        link.PositionSTLength = info.stLength;
    }

    std::unique_ptr<Simulator> sim;
    Link link;
};

uint8_t Sum(const std::array<uint8_t, 64>& bank, size_t last)
{
    unsigned sum = 0;
    for (size_t i = 0; i <= last; ++i)
        sum += bank[i];
    return static_cast<uint8_t>(sum);
}

SimOptions Still(SimFamily family = SimFamily::Torvik)
{
    SimOptions options;
    options.family = family;
    options.speed = 0;
    return options;
}
} // namespace

TEST_F(SimTest, BoxCommandsAnswerInTheirFormsEndingInCr)
{
    StartSim();
    EXPECT_EQ(Send("v"), "K417-3C v2.14\r");
    EXPECT_EQ(Send("B8"), "Data length 8\r");
    EXPECT_EQ(Send("B9"), "Error\r");
    EXPECT_EQ(Send("M04"), "Clock 04\r");
    EXPECT_EQ(Send("M31"), "Error\r");
    EXPECT_EQ(Send("i").rfind("84:20", 0), 0u);
    for (const char* readout : {"m", "b", "e", "t", "s", "r"}) {
        const std::string reply = Send(readout);
        EXPECT_GT(reply.size(), 1u) << readout;
        EXPECT_EQ(reply.find('\r'), reply.size() - 1) << readout;
    }
    const std::string position = Send("4");
    ASSERT_EQ(position.size(), 17u);
    EXPECT_EQ(position.find_first_not_of("0123456789ABCDEF"), 16u);

    // Power off: the encoder stops answering, the box does not.
    EXPECT_EQ(Send("F"), "Encoder power OFF\r");
    EXPECT_FALSE(sim->EncoderPowered());
    EXPECT_EQ(Send("4"), "TIMEOUT\r");
    EXPECT_NE(Send("i").rfind("84:20", 0), 0u);
    EXPECT_EQ(Send("R02:064")[0], '3');
    EXPECT_EQ(Send("Ws000:064")[0], '3');
    EXPECT_EQ(Send("Wbf00:001")[0], '0'); // the buffer lives in the box
    EXPECT_EQ(Send("Wcn01:072")[0], '4');
    EXPECT_FALSE(link.ReadRegisters(0x40, 2));
    EXPECT_EQ(link.LastErrorText.rfind("BiSS Timeout", 0), 0u);
    EXPECT_EQ(Send("N"), "Encoder power ON\r");
    EXPECT_TRUE(sim->EncoderPowered());
}

TEST_F(SimTest, FramesCommandsByTheirWidthAndResynchronisesAfterNoise)
{
    StartSim();
    // Stray bytes and a broken command each get one "Error"; the next command is served normally.
    EXPECT_EQ(Send("XYZ"), "Error\r");
    EXPECT_EQ(Send("R0x"), "Error\r");
    EXPECT_EQ(Send("Wq"), "Error\r");
    EXPECT_EQ(Send("v"), "K417-3C v2.14\r");
    // A command split over two writes is answered once, when complete.
    ASSERT_EQ(link.ComHandle->WriteAll("R0"), 0);
    EXPECT_EQ(Send("1:066"), "0:00:62\r");
    // Line ends typed in a terminal are ignored.
    EXPECT_EQ(Send("\r\nv\r\n"), "K417-3C v2.14\r");
    // Each command is logged once, in order.
    auto log = sim->CommandLog();
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[0].command, "XYZ");
    EXPECT_EQ(log[1].command, "R0x");
    EXPECT_EQ(log[4].command, "R01:066");
    for (size_t i = 1; i < log.size(); ++i)
        EXPECT_LE(log[i - 1].time, log[i].time);
    sim->ClearCommandLog();
    EXPECT_TRUE(sim->CommandLog().empty());
}

TEST_F(SimTest, RegisterRepliesCarryTheStatusDigitsTheLinkParses)
{
    StartSim();
    // Success: "0:00:" and two hex digits per register.
    EXPECT_EQ(Send("R02:066"), "0:00:6224\r");
    // The bank area ends at 63 and the fixed area at 127: "1:kk:" padded to the full length.
    EXPECT_EQ(Send("R08:060"), "1:04:" + std::string(16, '0').replace(0, 8, Send("R04:060").substr(5, 8)) + "\r");
    ASSERT_TRUE(link.ReadRegisters(124, 8));
    EXPECT_EQ(link.LastErrorText.rfind("End of bank reached", 0), 0u);
    EXPECT_EQ(link.RxBank[2], 0x58); // 0x7E
    EXPECT_EQ(link.RxBank[3], 0x4B); // 0x7F
    // Out of range.
    EXPECT_EQ(Send("R65:000")[0], '2');
    EXPECT_EQ(Send("R00:000")[0], '2');
    EXPECT_EQ(Send("R01:128")[0], '2');
    EXPECT_EQ(Send("Ws000:128")[0], '2');
    // Read-only registers refuse writes.
    EXPECT_FALSE(link.WriteRegister(0x41, 3));
    EXPECT_EQ(link.LastErrorText.rfind("Non-writable address", 0), 0u);
    // The buffered write: index and value ranges, loaded length, bank end, read-only target.
    EXPECT_EQ(Send("Wbf64:000")[0], '1');
    EXPECT_EQ(Send("Wbf00:256")[0], '1');
    EXPECT_EQ(Send("Wcn00:000")[0], '3');
    EXPECT_EQ(Send("Wcn65:000")[0], '3');
    EXPECT_EQ(Send("Wcn02:024")[0], '2'); // nothing loaded
    link.TxBank.fill(0);
    EXPECT_TRUE(link.WriteRegister(0x40, 24));
    EXPECT_FALSE(link.WriteRegisterBuffer(62, 4));
    EXPECT_EQ(link.LastErrorText.rfind("Non-writable address or bank end", 0), 0u);
    EXPECT_FALSE(link.WriteRegisterBuffer(0x41, 2));
    link.TxBank[0] = 7;
    link.TxBank[1] = 200;
    EXPECT_TRUE(link.WriteRegisterBuffer(5, 2)) << link.LastErrorText;
    ASSERT_TRUE(link.ReadRegisters(5, 2));
    EXPECT_EQ(link.RxBank[0], 7);
    EXPECT_EQ(link.RxBank[1], 200);
}

TEST_F(SimTest, SignatureOfEachFamily)
{
    StartSim();
    ASSERT_TRUE(link.ReadEncoderSignature()) << link.LastErrorText;
    const TEncoderSignature& sig = link.EncoderSignature;
    EXPECT_EQ(sig.EDS_Common_bank_num, 16);
    EXPECT_EQ(sig.Profile, 0x62);
    EXPECT_EQ(sig.SCD_DataLength, 36);
    EXPECT_EQ(sig.Zolvan_PartNumber, "TV657-18B16-000");
    EXPECT_EQ(sig.Zolvan_Serial, "T1234567");
    EXPECT_EQ(sig.SerialNumber, 1234567u);
    EXPECT_EQ(sig.Zolvan_FWverStr, "2.5.8.9600");
    EXPECT_EQ(sig.Zolvan_ExtendedSerial, "K417TV6571234567");
    ASSERT_TRUE(link.ReadRegisters(0x7E, 2));
    EXPECT_EQ(link.RxBank[1] * 256 + link.RxBank[0], 0x4B58); // 0x7F high, 0x7E low

    SimOptions quenra = Still(SimFamily::Quenra);
    quenra.firmware = "1.2.7.1500"; // an old major version: kept at the alternate address
    StartSim(quenra);
    ASSERT_TRUE(link.ReadEncoderSignature());
    EXPECT_NE(link.EncoderSignature.Zolvan_FWverMajor, 2);
    link.AltFwVersionAddress = true;
    ASSERT_TRUE(link.ReadEncoderSignature());
    EXPECT_EQ(link.EncoderSignature.Zolvan_FWverStr, "1.2.7.1500");
    EXPECT_EQ(link.EncoderSignature.Zolvan_PartNumber.substr(0, 2), "QN");
    EXPECT_EQ(link.EncoderSignature.Zolvan_PartNumber.substr(10, 2), "12"); // magnet size
    EXPECT_EQ(link.EncoderSignature.Zolvan_ExtendedSerial, "");             // minor version below 5

    StartSim(Still(SimFamily::Foreign));
    ASSERT_TRUE(link.ReadRegisters(0x40, 64));
    EXPECT_NE(link.RxBank[63] * 256 + link.RxBank[62], 0x4B58);
    EXPECT_NE(link.RxBank[1], 0); // it has a datasheet all the same
    EXPECT_FALSE(link.WriteRegister(0x48, 0xB3));
}

TEST_F(SimTest, PositionFramesDecodeWithTheDatasheetLengths)
{
    StartSim(Still());
    UseDatasheetLengths();
    const uint32_t period = 1u << link.PositionSTLength;
    sim->SetShaftPosition(5, 1234);
    link.ReadPosition();
    TEncoderPosition& pos = link.EncoderPosition;
    ASSERT_EQ(pos.ErrComm, 0);
    EXPECT_FALSE(pos.ErrCRC || pos.ErrBit || pos.WarnBit || pos.ErrTimeout);
    EXPECT_EQ(pos.MT_value, 5);
    EXPECT_EQ(pos.ST_value, 1234u);
    // A turn below zero wraps the 16-bit multiturn counter.
    sim->SetShaftPosition(-1, period - 1);
    link.ReadPosition();
    EXPECT_EQ(pos.MT_value, -1);
    EXPECT_EQ(pos.ST_value, period - 1);
    EXPECT_FALSE(pos.ErrCRC);

    SimFaults faults;
    faults.errorBit = true;
    faults.warningBit = true;
    sim->SetFaults(faults);
    link.ReadPosition();
    EXPECT_TRUE(pos.ErrBit);
    EXPECT_TRUE(pos.WarnBit);
    EXPECT_FALSE(pos.ErrCRC);
    faults = {};
    faults.crcError = true;
    sim->SetFaults(faults);
    link.ReadPosition();
    EXPECT_TRUE(pos.ErrCRC);
    faults = {};
    faults.positionTimeout = true;
    sim->SetFaults(faults);
    link.ReadPosition();
    EXPECT_EQ(pos.ErrComm, 0);
    EXPECT_TRUE(pos.ErrTimeout);
    EXPECT_TRUE(link.ReadRegisters(0x40, 1)); // registers still answer

    // Linear scales have no multiturn field.
    StartSim(Still(SimFamily::Linear));
    UseDatasheetLengths();
    EXPECT_EQ(link.PositionMTLength, 0);
    sim->SetShaftPosition(0, 777);
    link.ReadPosition();
    EXPECT_FALSE(link.EncoderPosition.ErrCRC);
    EXPECT_EQ(link.EncoderPosition.ST_value, 777u);
}

namespace {
// BiSS-C position CRC worked bit by bit, independently of the tool's table:
// x^6 + x + 1, start value 0, most significant bit first.
unsigned BitwiseCrc6(uint64_t word, int bits)
{
    unsigned crc = 0;
    for (int i = bits - 1; i >= 0; --i) {
        const unsigned feedback = static_cast<unsigned>((word >> i) & 1) ^ ((crc >> 5) & 1);
        crc = (crc << 1) & 0x3F;
        if (feedback)
            crc ^= 0x03;
    }
    return crc;
}
} // namespace

TEST_F(SimTest, PositionFramesCarryTheBissCrcBitByBit)
{
    ASSERT_EQ(BitwiseCrc6(0x123AAF37, 32), 0x35u); // the frame's worked example
    for (SimFamily family : {SimFamily::Torvik, SimFamily::Quenra, SimFamily::Linear, SimFamily::Foreign}) {
        StartSim(Still(family));
        const SimEncoderInfo info = sim->EncoderInfo();
        const int m = info.mtLength, st = info.stLength, n = m + st + 2;
        const uint64_t stMask = (uint64_t{1} << st) - 1;
        const struct {
            int64_t turns;
            uint32_t singleturn;
            bool error, warning;
        } cases[] = {{0, 0, false, false}, {5, 1234, false, false}, {-1, 77, true, false},
                     {300, static_cast<uint32_t>(stMask), false, true}, {12, 99999, true, true}};
        for (const auto& c : cases) {
            SimFaults faults;
            faults.errorBit = c.error;
            faults.warningBit = c.warning;
            sim->SetFaults(faults);
            sim->SetShaftPosition(c.turns, c.singleturn);
            const std::string reply = Send("4");
            ASSERT_EQ(reply.size(), 17u);
            const uint64_t w = std::stoull(reply.substr(0, 16), nullptr, 16);
            const uint64_t fields = w >> (64 - n); // position, nE, nW
            EXPECT_EQ((w >> (58 - n)) & 0x3F, ~BitwiseCrc6(fields, n) & 0x3Fu) << reply;
            EXPECT_EQ(w & ((uint64_t{1} << (58 - n)) - 1), 0u) << reply; // nothing after the CRC
            EXPECT_EQ((fields >> 1) & 1, c.error ? 0u : 1u);               // nE, active low
            EXPECT_EQ(fields & 1, c.warning ? 0u : 1u);                    // nW
            EXPECT_EQ((fields >> 2) & stMask, c.singleturn & stMask);
            if (m > 0) {
                EXPECT_EQ(fields >> (st + 2), static_cast<uint64_t>(c.turns) & ((uint64_t{1} << m) - 1));
            }
        }
    }
}

TEST_F(SimTest, ShaftTurnsAndCountsTurns)
{
    SimOptions options = Still();
    StartSim(options);
    UseDatasheetLengths();
    const uint32_t period = 1u << link.PositionSTLength;
    sim->SetShaftPosition(2, period - 200);
    sim->SetShaftSpeed(600); // ten turns a second
    EXPECT_EQ(sim->ShaftSpeed(), 600);
    const SimPosition before = sim->ReportedPosition();
    link.ReadPosition();
    // The reading cannot run behind what the encoder reported just before it.
    EXPECT_FALSE(link.EncoderPosition.ErrCRC);
    EXPECT_GE(int64_t{link.EncoderPosition.MT_value} * period + link.EncoderPosition.ST_value,
              before.multiturn * period + before.singleturn);
    EXPECT_GE(link.EncoderPosition.MT_value, 2);
}

TEST_F(SimTest, DatasheetAndConfigurationChecksumsHoldAndCanBeBroken)
{
    StartSim(Still());
    const auto common = ReadBank(16);
    EXPECT_EQ(Sum(common, 62), common[63]);
    EXPECT_EQ(common[20], 17);
    EXPECT_EQ(common[21], 36);
    EXPECT_EQ(common[23], 0x21);
    const auto profile = ReadBank(common[20]);
    EXPECT_EQ(Sum(profile, 62), profile[63]);
    EXPECT_EQ(profile[10], 16);
    EXPECT_EQ(profile[12] + profile[14], 18);
    EXPECT_EQ(profile[3], 0x62);

    // Bank 0 and the error-map pages: kept consistent when written.
    ASSERT_TRUE(link.WriteRegister(0x40, 9));
    ASSERT_TRUE(link.WriteRegister(17, 0x80));
    ASSERT_TRUE(link.WriteRegister(0x40, 0));
    ASSERT_TRUE(link.WriteRegister(0x08, 0x12));
    auto config = ReadBank(0);
    EXPECT_EQ(Sum(config, 0x3E), config[0x3F]);
    for (uint8_t page = 8; page < 16; ++page) {
        const auto map = ReadBank(page);
        EXPECT_EQ(Sum(map, 63), config[0x2F + page]) << "page " << int(page);
    }
    EXPECT_EQ(ReadBank(9)[17], 0x80);

    SimFaults faults;
    faults.badEdsChecksum = true;
    faults.badConfigChecksum = true;
    sim->SetFaults(faults);
    EXPECT_NE(Sum(ReadBank(16), 62), ReadBank(16)[63]);
    EXPECT_EQ(Sum(ReadBank(17), 62), ReadBank(17)[63]);
    config = ReadBank(0);
    EXPECT_NE(Sum(config, 0x3E), config[0x3F]);
    faults = {};
    faults.badProfileChecksum = true;
    faults.badErrorMapChecksum = true;
    sim->SetFaults(faults);
    EXPECT_NE(Sum(ReadBank(17), 62), ReadBank(17)[63]);
    config = ReadBank(0);
    EXPECT_EQ(Sum(config, 0x3E), config[0x3F]); // only a page checksum is off
    int mismatches = 0;
    for (uint8_t page = 8; page < 16; ++page)
        mismatches += Sum(ReadBank(page), 63) != config[0x2F + page];
    EXPECT_EQ(mismatches, 1);
}

TEST_F(SimTest, OlderFirmwareHasFourErrorMapPages)
{
    SimOptions options = Still();
    options.firmware = "2.2.5.2000";
    StartSim(options);
    ASSERT_TRUE(link.WriteRegister(0x40, 8));
    EXPECT_FALSE(link.WriteRegister(0, 1));
    ASSERT_TRUE(link.WriteRegister(0x40, 12));
    EXPECT_TRUE(link.WriteRegister(0, 1));
    const auto config = ReadBank(0);
    for (uint8_t page = 12; page < 16; ++page)
        EXPECT_EQ(Sum(ReadBank(page), 63), config[0x2F + page]);
    EXPECT_EQ(config[0x30], 2);     // major version at 0x2F-0x30
    EXPECT_EQ(config[0x2F + 8], 0); // no page 8, no checksum for it
}

TEST_F(SimTest, BankSelectionAndTheDiagnosticUnlock)
{
    StartSim(Still());
    ASSERT_TRUE(link.WriteRegister(0x40, 20));
    EXPECT_EQ(ReadOne(0x40), 20);
    // Diagnostic banks are refused until the unlock: the selection reads back 0.
    for (uint8_t bank : {0xDF, 0xE0, 0xE1}) {
        ASSERT_TRUE(link.WriteRegister(0x40, bank));
        EXPECT_EQ(ReadOne(0x40), 0) << int(bank);
    }
    // Keys in the wrong order, or a command without its key, do not unlock.
    ASSERT_TRUE(link.WriteRegister(0x48, 0x9E));
    ASSERT_TRUE(link.WriteRegister(0x48, 0xB3));
    ASSERT_TRUE(link.WriteRegister(0x49, 0x47));
    EXPECT_FALSE(sim->DebugUnlocked());
    ASSERT_TRUE(link.WriteRegister(0x48, 0xB3));
    ASSERT_TRUE(link.WriteRegister(0x48, 0x9E));
    ASSERT_TRUE(link.WriteRegister(0x49, 0x47));
    EXPECT_TRUE(sim->DebugUnlocked());
    ASSERT_TRUE(link.WriteRegister(0x40, 0xDF));
    EXPECT_EQ(ReadOne(0x40), 0xDF);
    const auto fault = ReadBank(0xE0);
    EXPECT_EQ(fault[0], 'H');
    EXPECT_EQ(ReadOne(0x40), 0xE0);
    EXPECT_FALSE(link.WriteRegister(0, 1)); // read-only
    // The unlock does not survive a power cycle.
    PowerCycle();
    EXPECT_FALSE(sim->DebugUnlocked());
    EXPECT_EQ(ReadOne(0x40), 0);
}

namespace {
// The Debug page's three-bin spectrum (UpdateSpectrumBars with the
// Tukey window of seDolzinaKodeChange): the heights of the bars of the bins
// L - 1, L and L + 1.
std::array<long, 3> SpectrumBars(const std::array<uint8_t, 64>& bank, int length)
{
    const int n = length == 8 || length == 9 ? 48 : 49;
    const double d = n + 2 - 1, alpha = 0.9f;
    std::array<long, 3> bars{};
    for (int b = 0; b < 3; ++b) {
        const int k = length - 1 + b;
        double s = 0, c = 0;
        for (int j = 1; j <= n; ++j) {
            double w = 1;
            if (j < alpha * d / 2)
                w = (std::cos(M_PI * (2 * j / alpha / d - 1)) + 1) / 2;
            else if (j > (1 - alpha / 2) * d)
                w = (std::cos(M_PI * (2 * j / alpha / d - 2 / alpha + 1)) + 1) / 2;
            const double theta = 2 * M_PI * k * (j - 1) / n;
            const double sample = static_cast<int8_t>(bank[static_cast<size_t>(j)]);
            s += std::sin(theta) * sample * static_cast<float>(w);
            c += std::cos(theta) * sample * static_cast<float>(w);
        }
        bars[static_cast<size_t>(b)] = std::lround(std::sqrt(s * s + c * c) / 4);
    }
    return bars;
}

// The Debug page's sensor tilt: 100 times the difference of the
// slopes of lines fitted through samples 1-52 of the two envelopes.
double Tilt(const std::array<int, 53>& high, const std::array<int, 53>& low)
{
    auto slope = [](const std::array<int, 53>& envelope) {
        TRealPointArray points;
        for (int i = 1; i < 53; ++i)
            points.push_back({static_cast<long double>(i), static_cast<long double>(envelope[static_cast<size_t>(i)])});
        long double a = 0, b = 0, r = 0;
        FitLine(points, a, b, r);
        return static_cast<double>(a);
    };
    return (slope(high) - slope(low)) * 100;
}

bool Unlock(Link& link)
{
    return link.WriteRegister(0x48, 0xB3) && link.WriteRegister(0x48, 0x9E) && link.WriteRegister(0x49, 0x47);
}
} // namespace

TEST_F(SimTest, DebugSnapshotLooksLikeTheCodeRing)
{
    // The part number names the ring and with it the code length.
    const struct {
        const char* partNumber;
        int length;
        int step; // the Debug page's decoding step
    } rings[] = {{"LN7-A-001-26-000", 5, 10}, {"TV617-18B16-000", 6, 8}, {"TV657-18B16-000", 7, 7},
                 {"TV662-18B16-000", 8, 6}, {"TV746-18B16-000", 9, 6}};
    for (const auto& ring : rings) {
        SCOPED_TRACE(ring.partNumber);
        SimOptions options = Still(ring.length == 5 ? SimFamily::Linear : SimFamily::Torvik);
        options.partNumber = ring.partNumber;
        options.sensorTilt = 8;
        StartSim(options);
        ASSERT_EQ(sim->EncoderInfo().codeLength, ring.length);
        ASSERT_TRUE(Unlock(link));
        std::array<int, 53> high{}, low{};
        high.fill(-128);
        low.fill(127);
        long middle = 0;
        for (int turn = 0; turn < 200; ++turn) {
            sim->SetShaftPosition(0, static_cast<uint32_t>(turn * 1531));
            const auto d = ReadBank(0xDF);
            ASSERT_EQ(ReadOne(0x40), 0xDF);
            const int first = d[0x35];
            ASSERT_GE(first, 1);
            ASSERT_LE(first, ring.step);
            const unsigned codeA = d[0x36] << 8 | d[0x37];
            EXPECT_EQ(codeA, static_cast<unsigned>(d[0x38] << 8 | d[0x39]));
            EXPECT_LT(codeA, 1u << ring.length);
            // Where the page draws its decoding points, the samples carry the
            // code word's bits, most significant first: a crest for a 1, a
            // weak one for a 0. (A 9-bit ring's bits lie closer than the
            // page's step, so only its first bit sits under its point.)
            const int checked = ring.length == 9 ? 1 : ring.length;
            for (int j = 1; j <= checked; ++j) {
                const int idx = (j - 1) * ring.step + first;
                if (idx > 53)
                    continue;
                const int sample = static_cast<int8_t>(d[static_cast<size_t>(idx - 1)]);
                const bool bit = (codeA >> (ring.length - j)) & 1;
                EXPECT_EQ(sample > 30, bit) << "turn " << turn << " bit " << j << " sample " << sample;
            }
            for (size_t i = 0; i < 53; ++i) {
                high[i] = std::max<int>(high[i], static_cast<int8_t>(d[i]));
                low[i] = std::min<int>(low[i], static_cast<int8_t>(d[i]));
            }
            // The pattern's period shows as the tallest, middle bar.
            const auto bars = SpectrumBars(d, ring.length);
            EXPECT_GT(bars[1], bars[0]) << "turn " << turn;
            EXPECT_GT(bars[1], bars[2]) << "turn " << turn;
            middle += bars[1];
            // With a 72 MHz clock the cycle time reads about 10 us.
            const unsigned cycle = d[0x3A] << 8 | d[0x3B];
            EXPECT_GE(cycle, 700u);
            EXPECT_LE(cycle, 800u);
        }
        // A healthy signal keeps the middle bar within the bars' 171-pixel
        // background on average (it swings with the code under the sensor).
        EXPECT_GT(middle / 200, 90);
        EXPECT_LT(middle / 200, 160);
        // The fitted envelope lines give back the sensor's tilt.
        EXPECT_NEAR(Tilt(high, low), 8.0, 1.5);
    }

    SimOptions older = Still();
    older.firmware = "2.5.7.9600"; // comm below 8: speed layout
    older.speed = -42;
    StartSim(older);
    ASSERT_TRUE(Unlock(link));
    const auto d = ReadBank(0xDF);
    EXPECT_EQ(static_cast<int16_t>(d[0x3A] << 8 | d[0x3B]), -42);
    EXPECT_GE(d[0x3C] << 8 | d[0x3D], 700);
    EXPECT_EQ(d[0x3E], 1); // sensor started once
    EXPECT_EQ(d[0x35], 0); // no decoding index in this layout
}

TEST_F(SimTest, DebugTiltAndStrengthFollowTheSensor)
{
    // A tilted sensor leans the envelope; the page colours 10 yellow and 20 red.
    for (double tilt : {-25.0, 15.0}) {
        SimOptions options = Still();
        options.sensorTilt = tilt;
        StartSim(options);
        ASSERT_TRUE(Unlock(link));
        std::array<int, 53> high{}, low{};
        high.fill(-128);
        low.fill(127);
        for (int turn = 0; turn < 300; ++turn) {
            sim->SetShaftPosition(0, static_cast<uint32_t>(turn * 977));
            const auto d = ReadBank(0xDF);
            for (size_t i = 0; i < 53; ++i) {
                high[i] = std::max<int>(high[i], static_cast<int8_t>(d[i]));
                low[i] = std::min<int>(low[i], static_cast<int8_t>(d[i]));
            }
        }
        EXPECT_NEAR(Tilt(high, low), tilt, 3.0);
    }
    // A weak signal (a wide air gap) shrinks the waves and the middle bar.
    StartSim(Still());
    ASSERT_TRUE(Unlock(link));
    const long healthy = SpectrumBars(ReadBank(0xDF), 7)[1];
    SimFaults faults;
    faults.signalLevel = 300;
    sim->SetFaults(faults);
    const auto weak = ReadBank(0xDF);
    EXPECT_LT(SpectrumBars(weak, 7)[1] * 2, healthy);
    for (size_t i = 0; i < 53; ++i)
        EXPECT_LT(std::abs(static_cast<int8_t>(weak[i])), 30);
}

TEST_F(SimTest, SignalLevelRaisesTheStatusBits)
{
    StartSim(Still());
    UseDatasheetLengths();
    auto status = [&](uint16_t level) {
        SimFaults faults;
        faults.signalLevel = level;
        sim->SetFaults(faults);
        EXPECT_TRUE(link.ReadRegisters(0x4A, 9)) << link.LastErrorText;
        return link.RxBankValue(0, 2);
    };
    EXPECT_EQ(status(2400), 0u);
    EXPECT_EQ(status(150), 0x0140u); // signal low, warning
    link.ReadPosition();
    EXPECT_TRUE(link.EncoderPosition.WarnBit);
    EXPECT_FALSE(link.EncoderPosition.ErrBit);
    EXPECT_FALSE(link.EncoderPosition.ErrCRC);
    EXPECT_EQ(status(40), 0x0220u); // signal lost, error
    link.ReadPosition();
    EXPECT_TRUE(link.EncoderPosition.ErrBit);
    EXPECT_EQ(status(24000), 0x2100u); // signal high, warning
    EXPECT_EQ(status(40000), 0x6300u); // and clipping
    EXPECT_EQ(status(0), 0u);          // back to the healthy level
    EXPECT_GT(link.RxBankValue(4, 2), 2400u * 3 / 4 - 50);
    EXPECT_LT(link.RxBankValue(4, 2), 2400u * 5 / 4 + 50);
    // The persistent status kept all of them.
    ASSERT_TRUE(link.WriteRegister(0x40, 0) && link.ReadRegisters(0x2C, 2));
    EXPECT_EQ(link.RxBankValue(0, 2), 0x6360u);

    StartSim(Still(SimFamily::Quenra));
    auto quenra = [&](uint16_t level) {
        SimFaults faults;
        faults.signalLevel = level;
        sim->SetFaults(faults);
        EXPECT_TRUE(link.ReadRegisters(0x4A, 10));
        return link.RxBankValue(0, 2);
    };
    EXPECT_EQ(quenra(6100), 0u);
    EXPECT_EQ(quenra(10000), 0x0180u);
    EXPECT_EQ(quenra(13000), 0x0280u);
    EXPECT_EQ(quenra(700), 0x0140u);
    EXPECT_EQ(quenra(200), 0x0240u);
    sim->SetFaults({});
    sim->SetShaftSpeed(7000); // beyond the datasheet's 6000 rpm
    EXPECT_EQ(quenra(0), 0x0110u);
    EXPECT_EQ(static_cast<int16_t>(link.RxBankValue(4, 2)), 1167); // 116.7 Hz
}

TEST_F(SimTest, IdentityFollowsPartNumberAndSerial)
{
    SimOptions options = Still();
    options.partNumber = "TV746-20B16-W84";
    options.serialNumber = 36;
    options.firmware = "2.5.8.9859";
    StartSim(options);
    ASSERT_TRUE(link.ReadEncoderSignature()) << link.LastErrorText;
    const TEncoderSignature& sig = link.EncoderSignature;
    EXPECT_EQ(sig.Zolvan_PartNumber, "TV746-20B16-W84");
    EXPECT_EQ(sig.Zolvan_Serial, "T0000036");
    EXPECT_EQ(sig.Zolvan_SerialDecoded, "000010");
    EXPECT_EQ(sig.Zolvan_ExtendedSerial, "K417TV7460000036");
    EXPECT_EQ(sig.Zolvan_FWverSVN, 9859);
    EXPECT_EQ(sig.DeviceID, 0x545637343601ull); // "TV746", 1
    EXPECT_EQ(sim->EncoderInfo().codeLength, 9);
    // "W84" in the part number: a 64 MHz clock, so about 640 clocks a cycle.
    ASSERT_TRUE(Unlock(link));
    const auto d = ReadBank(0xDF);
    EXPECT_GE(d[0x3A] << 8 | d[0x3B], 640);
    EXPECT_LE(d[0x3A] << 8 | d[0x3B], 672);
}

TEST_F(SimTest, UnsavedWritesAreLostWithPowerAndSavedOnesStay)
{
    StartSim(Still());
    ASSERT_TRUE(link.WriteRegister(0x40, 0));
    ASSERT_TRUE(link.WriteRegister(0x0B, 0x21));
    EXPECT_EQ(sim->StoredBankImage(0)[0x0B], 0xE8); // not stored yet
    PowerCycle();
    EXPECT_EQ(ReadBank(0)[0x0B], 0xE8);

    // The command needs its key right before it.
    ASSERT_TRUE(link.WriteRegister(0x0B, 0x21));
    ASSERT_TRUE(link.WriteRegister(0x49, 0x63));
    EXPECT_EQ(sim->StoredBankImage(0)[0x0B], 0xE8);
    ASSERT_TRUE(Command(0x63));
    PowerCycle();
    auto config = ReadBank(0);
    EXPECT_EQ(config[0x0B], 0x21);
    EXPECT_EQ(Sum(config, 0x3E), config[0x3F]);

    // User memory is stored by its own command.
    link.TxBank.fill(0x5A);
    ASSERT_TRUE(link.WriteRegister(0x40, 25) && link.WriteRegisterBuffer(0, 64));
    PowerCycle();
    EXPECT_NE(ReadBank(25)[0], 0x5A);
    ASSERT_TRUE(link.WriteRegister(0x40, 25) && link.WriteRegisterBuffer(0, 64));
    ASSERT_TRUE(Command(0x75));
    PowerCycle();
    EXPECT_EQ(ReadBank(25)[63], 0x5A);

    // Pulling the cable is a power cycle too; the stored memory stays.
    sim->Unplug();
    ASSERT_TRUE(sim->Replug());
    Connect();
    EXPECT_EQ(ReadBank(25)[63], 0x5A);
    EXPECT_EQ(ReadBank(0)[0x0B], 0x21);

    // Factory reset: configuration and error map back, user memory kept.
    EXPECT_EQ(ReadOne(0x52) & 0x40, 0);
    ASSERT_TRUE(link.WriteRegister(0x40, 10) && link.WriteRegister(0, 0x11) && Command(0x63));
    EXPECT_EQ(ReadOne(0x52) & 0x40, 0x40); // a user's error map is in use
    ASSERT_TRUE(Command(0x72));
    PowerCycle();
    EXPECT_EQ(ReadBank(0)[0x0B], 0xE8);
    EXPECT_NE(ReadBank(10)[0], 0x11);
    EXPECT_EQ(ReadOne(0x52) & 0x40, 0);
    EXPECT_EQ(ReadBank(25)[63], 0x5A);
}

TEST_F(SimTest, WriteProtectLocksForGood)
{
    StartSim(Still());
    ASSERT_TRUE(link.WriteRegister(0x40, 0));
    EXPECT_EQ(ReadOne(0x2E), 0xC6);
    ASSERT_TRUE(link.WriteRegister(0x2E, 0xC6)); // the marker itself may be written
    ASSERT_TRUE(link.WriteRegister(0x2E, 0x05));
    EXPECT_FALSE(link.WriteRegister(0x2E, 0xC6));
    EXPECT_FALSE(link.WriteRegister(0x00, 1));
    ASSERT_TRUE(link.WriteRegister(0x40, 24));
    EXPECT_FALSE(link.WriteRegister(0x00, 1));
    // Irreversible: no save is needed, and a power cycle does not lift it.
    PowerCycle();
    ASSERT_TRUE(link.WriteRegister(0x40, 0));
    EXPECT_EQ(ReadOne(0x2E), 0x05);
    auto config = ReadBank(0);
    EXPECT_EQ(Sum(config, 0x3E), config[0x3F]);
    ASSERT_TRUE(Command(0x72)); // not even a factory reset lifts it
    PowerCycle();
    ASSERT_TRUE(link.WriteRegister(0x40, 0));
    EXPECT_EQ(ReadOne(0x2E), 0x05);
    EXPECT_FALSE(link.WriteRegister(0x00, 1));
}

TEST_F(SimTest, ZeroOffsetAndNewMultiturnMoveTheReportedPosition)
{
    StartSim(Still());
    UseDatasheetLengths();
    sim->SetShaftPosition(3, 5000);
    // Offset := current singleturn reading gives 0; the new multiturn counter takes the written value.
    ASSERT_TRUE(link.WriteRegister(0x40, 0));
    for (uint8_t i = 0; i < 4; ++i)
        ASSERT_TRUE(link.WriteRegister(i, static_cast<uint8_t>(5000 >> (8 * (3 - i)))));
    ASSERT_TRUE(link.WriteRegister(0x14, 0) && link.WriteRegister(0x15, 0) && link.WriteRegister(0x16, 0) &&
                link.WriteRegister(0x17, 7));
    ASSERT_TRUE(Command(0x6D));
    link.ReadPosition();
    EXPECT_EQ(link.EncoderPosition.ST_value, 0u);
    EXPECT_EQ(link.EncoderPosition.MT_value, 7);
    // The offset was not stored: after a power cycle the singleturn reading is back, the preset stays.
    PowerCycle();
    link.ReadPosition();
    EXPECT_EQ(link.EncoderPosition.ST_value, 5000u);
    EXPECT_EQ(link.EncoderPosition.MT_value, 7);

    // Quenra takes its new counter from 0x04-0x07.
    StartSim(Still(SimFamily::Quenra));
    UseDatasheetLengths();
    ASSERT_TRUE(link.WriteRegister(0x40, 0));
    ASSERT_TRUE(link.WriteRegister(0x07, 42));
    ASSERT_TRUE(Command(0x6D));
    link.ReadPosition();
    EXPECT_EQ(link.EncoderPosition.MT_value, 42);
}

TEST_F(SimTest, SelfCalibrationCountsAndReportsItsOutcome)
{
    SimOptions options = Still();
    options.speed = 1200; // the arc is covered in a few tens of milliseconds
    StartSim(options);
    auto waitForAnswer = [&](uint8_t address) {
        const auto limit = std::chrono::steady_clock::now() + 5s;
        while (!link.ReadRegisters(address, 1)) {
            EXPECT_EQ(link.LastErrorText.rfind("BiSS Timeout", 0), 0u); // busy, not broken
            if (std::chrono::steady_clock::now() > limit)
                return false;
            std::this_thread::sleep_for(20ms); // the tool polls like this, every 100 ms
        }
        return true;
    };
    const uint8_t before = ReadOne(0x52) & 3;
    ASSERT_TRUE(Command(0x41));
    ASSERT_TRUE(waitForAnswer(0x52));
    EXPECT_EQ(link.RxBank[0] & 3, (before + 1) & 3);
    EXPECT_EQ(link.RxBank[0] & 0x3C, 0);
    ASSERT_TRUE(link.WriteRegister(0x40, 0) && link.ReadRegisters(0x1B, 6));
    EXPECT_EQ(link.RxBankValue(0, 2), 18u);
    EXPECT_EQ(static_cast<int16_t>(link.RxBankValue(4, 2)), -12);
    EXPECT_EQ(sim->CalibrationsRun(), 1u);

    // An arc outside 180-360 degrees is refused with its flag.
    ASSERT_TRUE(link.WriteRegister(0x19, 0) && link.WriteRegister(0x1A, 100));
    ASSERT_TRUE(Command(0x41));
    ASSERT_TRUE(waitForAnswer(0x52));
    EXPECT_EQ(link.RxBank[0] & 3, (before + 2) & 3);
    EXPECT_EQ(link.RxBank[0] & 0x3C, 0x10);

    // A still shaft runs into the configured time-out.
    sim->SetShaftSpeed(0);
    ASSERT_TRUE(link.WriteRegister(0x1A, 0x68) && link.WriteRegister(0x19, 1)); // 360
    ASSERT_TRUE(link.WriteRegister(0x21, 1));
    ASSERT_TRUE(Command(0x41));
    EXPECT_FALSE(link.ReadRegisters(0x52, 1));
    ASSERT_TRUE(waitForAnswer(0x52));
    EXPECT_EQ(link.RxBank[0] & 3, (before + 3) & 3);
    EXPECT_EQ(link.RxBank[0] & 0x3C, 0x04);

    // Quenra keeps its calibration status in 0x50.
    SimOptions quenra = Still(SimFamily::Quenra);
    quenra.speed = 1200;
    StartSim(quenra);
    ASSERT_TRUE(Command(0x41));
    ASSERT_TRUE(waitForAnswer(0x52));
    EXPECT_EQ(ReadOne(0x50) & 3, 1);
}

TEST_F(SimTest, StatusBlocksOfBothFamilies)
{
    SimOptions options = Still();
    options.speed = 30;
    StartSim(options);
    ASSERT_TRUE(link.ReadRegisters(0x4A, 9));
    EXPECT_EQ(link.RxBankValue(0, 2), 0u);
    const int temperature = static_cast<int16_t>(link.RxBankValue(2, 2));
    EXPECT_GE(temperature, 20);
    EXPECT_LE(temperature, 40);
    const uint32_t level = link.RxBankValue(4, 2);
    EXPECT_GT(level, 1000u); // a healthy air gap
    EXPECT_LT(level, 19000u);
    EXPECT_EQ(static_cast<int16_t>(link.RxBankValue(6, 2)), 30);
    // Raised bits show in the status word and are latched in bank 0 until cleared.
    SimFaults faults;
    faults.errorBit = true;
    faults.extraStatus = 0x4000;
    sim->SetFaults(faults);
    ASSERT_TRUE(link.ReadRegisters(0x4A, 2));
    EXPECT_EQ(link.RxBankValue(0, 2), 0x4200u);
    sim->SetFaults({});
    ASSERT_TRUE(link.ReadRegisters(0x4A, 2));
    EXPECT_EQ(link.RxBankValue(0, 2), 0u);
    ASSERT_TRUE(link.WriteRegister(0x40, 0) && link.ReadRegisters(0x2C, 2));
    EXPECT_EQ(link.RxBankValue(0, 2), 0x4200u);
    ASSERT_TRUE(Command(0x62));
    ASSERT_TRUE(link.ReadRegisters(0x2C, 2));
    EXPECT_EQ(link.RxBankValue(0, 2), 0u);
    auto config = ReadBank(0);
    EXPECT_EQ(Sum(config, 0x3E), config[0x3F]);

    SimOptions quenraOptions = Still(SimFamily::Quenra);
    quenraOptions.speed = 60;
    quenraOptions.faults.bbmStatus = 0x08;
    StartSim(quenraOptions);
    ASSERT_TRUE(link.ReadRegisters(0x4A, 10));
    const int tenths = static_cast<int16_t>(link.RxBankValue(2, 2));
    EXPECT_GE(tenths, 200);
    EXPECT_LE(tenths, 400);
    EXPECT_EQ(static_cast<int16_t>(link.RxBankValue(4, 2)), 10); // 1 Hz in tenths
    const double x = std::sqrt(link.RxBankValue(7, 2) * 4096.0);
    EXPECT_GT(x / 50, 60); // the signal bar stands well up in its 141 pixels
    EXPECT_LT(x / 50, 141);
    EXPECT_EQ(link.RxBank[9], 0x08);
}

TEST_F(SimTest, TransportFaults)
{
    StartSim();
    link.Port()->SetReplyTimeoutMs(150);
    std::string reply;
    SimFaults faults;
    faults.noReply = true;
    faults.onlyCommands = "4";
    sim->SetFaults(faults);
    EXPECT_EQ(link.Transact("v", reply), 0);
    EXPECT_EQ(link.Transact("4", reply), -1);
    EXPECT_EQ(reply, "");

    faults = {};
    faults.missingCr = true;
    sim->SetFaults(faults);
    EXPECT_EQ(link.Transact("v", reply), -1);
    EXPECT_EQ(reply, "K417-3C v2.14");

    faults = {};
    faults.garbage = true;
    sim->SetFaults(faults);
    link.ReadPosition();
    EXPECT_GE(link.EncoderPosition.ErrComm, 97);
    EXPECT_FALSE(link.ReadRegisters(0x40, 2));

    faults = {};
    faults.replyDelayMs = 60;
    sim->SetFaults(faults);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.Transact("v", reply), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);

    faults = {};
    faults.encoderUnpowered = true;
    sim->SetFaults(faults);
    EXPECT_FALSE(sim->EncoderPowered());
    EXPECT_EQ(Send("4"), "TIMEOUT\r");
    EXPECT_EQ(Send("R01:064")[0], '3');
    sim->SetFaults({});
    EXPECT_TRUE(sim->EncoderPowered());
    EXPECT_EQ(Send("R01:064"), "0:00:00\r");
}

TEST_F(SimTest, TransportFaultsThatLastAFewRepliesOrComeAtRandom)
{
    StartSim();
    link.Port()->SetReplyTimeoutMs(150);
    std::string reply;
    SimFaults faults;
    faults.splitReply = true;
    faults.splitGapMs = 40;
    faults.afterCr = "0\r";
    faults.hitsLeft = 2;
    sim->SetFaults(faults);
    std::vector<std::string> sent;
    sim->SetTrace([&](const std::string&, const std::string& r) { sent.push_back(r); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.Transact("v", reply), 0);
    EXPECT_EQ(reply, "K417-3C v2.14\r"); // both pieces, nothing after the CR
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
    EXPECT_TRUE(link.WriteRegister(0x40, 0)) << link.LastErrorText;
    EXPECT_TRUE(link.WriteRegister(0x40, 0)) << link.LastErrorText;
    sim->SetTrace({});
    EXPECT_EQ(sent, (std::vector<std::string>{"K417-3C v2.14\r0\r", "0:00\r0\r", "0:00\r"})); // two hits, then none
    faults = {};
    faults.timeoutReply = true;
    faults.onlyCommands = "R";
    sim->SetFaults(faults);
    EXPECT_EQ(Send("R01:064"), "TIMEOUT\r");
    EXPECT_EQ(Send("v"), "K417-3C v2.14\r");

    // A third of the replies meet a fault; the same seed, the same faults.
    auto run = [&](uint32_t seed) {
        SimFaults random;
        random.randomPercent = 30;
        random.randomSeed = seed;
        random.lateMs = 200;
        sim->SetFaults(random);
        std::string outcome;
        for (int i = 0; i < 40; ++i)
            outcome += link.Transact("v", reply) == 0 && reply == "K417-3C v2.14\r" ? '.' : 'x';
        return outcome;
    };
    const std::string first = run(7);
    EXPECT_EQ(run(7), first);
    const auto hits = std::count(first.begin(), first.end(), 'x');
    EXPECT_GT(hits, 3) << first;
    EXPECT_LT(hits, 20) << first;

    faults = {};
    faults.unplugAfter = 1;
    sim->SetFaults(faults);
    EXPECT_EQ(link.Transact("v", reply), 0);
    EXPECT_LT(link.Transact("v", reply), -1); // pulled instead of answering
    EXPECT_FALSE(sim->Plugged());
}

TEST_F(SimTest, UnplugAndReplugUnderANewNameWithTheLinkFollowing)
{
    const std::string linkPath = "/tmp/k417-sim-test-" + std::to_string(::getpid());
    sim = std::make_unique<Simulator>();
    sim->SetLinkPath(linkPath);
    ASSERT_TRUE(sim->Start());
    const std::string first = sim->PortPath();
    char target[256] = {};
    ASSERT_GT(::readlink(linkPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(first, target);
    link.ComHandle = PosixSerialPort::Open(linkPath);
    ASSERT_TRUE(link.ComHandle);
    EXPECT_EQ(Send("v").rfind("K417-3C", 0), 0u);
    // The tool closes and opens the port again, as discovery does.
    link.ClosePort();
    link.ComHandle = PosixSerialPort::Open(linkPath);
    ASSERT_TRUE(link.ComHandle);

    sim->Unplug();
    EXPECT_FALSE(sim->Plugged());
    EXPECT_EQ(sim->PortPath(), "");
    struct stat st{};
    EXPECT_NE(::lstat(linkPath.c_str(), &st), 0);
    std::string reply;
    EXPECT_LT(link.Transact("v", reply), -1); // a port-level failure, not a time-out
    link.ClosePort();
    EXPECT_NE(::stat(first.c_str(), &st), 0); // gone once the tool lets go of it

    ASSERT_TRUE(sim->Replug());
    EXPECT_NE(sim->PortPath(), first);
    ASSERT_GT(::readlink(linkPath.c_str(), target, sizeof target), 0);
    link.ComHandle = PosixSerialPort::Open(linkPath);
    ASSERT_TRUE(link.ComHandle);
    EXPECT_EQ(Send("v").rfind("K417-3C", 0), 0u);
    sim->Stop();
    EXPECT_NE(::lstat(linkPath.c_str(), &st), 0);
}

TEST(SimCommandLine, ReadsOptionsAndRefusesNonsense)
{
    SimCommandLine line;
    std::string error;
    ASSERT_TRUE(ParseSimCommandLine({"--family", "QUENRA", "--firmware=1.5.0.1234", "--alt-fw-address", "--speed",
                                     "-3.5", "--delay", "20", "--fault-only", "4", "--error-bit", "--signal-level", "150", "--link",
                                     "/tmp/x"},
                                    line, error))
        << error;
    EXPECT_EQ(line.options.family, SimFamily::Quenra);
    EXPECT_EQ(line.options.firmware, "1.5.0.1234");
    EXPECT_EQ(line.options.fwAddress, 51);
    EXPECT_EQ(line.options.speed, -3.5);
    EXPECT_EQ(line.options.faults.replyDelayMs, 20);
    EXPECT_EQ(line.options.faults.onlyCommands, "4");
    EXPECT_TRUE(line.options.faults.errorBit);
    EXPECT_EQ(line.options.faults.signalLevel, 150);
    EXPECT_EQ(line.linkPath, "/tmp/x");
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"--family", "acme"}, {"--fw-address", "48"}, {"--speed"}, {"--delay", "-1"}, {"--signal-level", "0"},
             {"--frobnicate"}}) {
        SimCommandLine other;
        EXPECT_FALSE(ParseSimCommandLine(bad, other, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimProgram, PrintsItsPortServesAndStopsOnTerm)
{
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(K417_SIM_EXE, "k417-sim", "--family", "linear", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    FILE* stream = ::fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_TRUE(std::fgets(line, sizeof line, stream));
    std::string path(line);
    path.erase(path.find('\n'));
    auto port = PosixSerialPort::Open(path);
    ASSERT_TRUE(port);
    std::string reply;
    EXPECT_EQ(SerialTransact(port.get(), "v", 0, reply), 0);
    EXPECT_EQ(reply.rfind("K417-3C", 0), 0u);
    EXPECT_EQ(SerialTransact(port.get(), "R20:100", 0, reply), 0);
    EXPECT_NE(reply.find("4C4E372D"), std::string::npos); // "LN7-" at 0x64
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::fclose(stream);
}
