// The transport and the box protocol over a real pseudo-terminal against a
// scripted peer that answers exactly what each case needs.

#include "PtyPeer.h"
#include "link/Link.h"
#include "util/Bits.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>

namespace {

class LinkOverPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        link.ComHandle = PosixSerialPort::Open(peer.SlavePath(), &error);
        ASSERT_TRUE(link.ComHandle) << error;
    }
    std::vector<std::string> Sent() const { return peer.Received(); }
    PtyPeer peer;
    Link link;
};

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

TEST(SerialTransport, NullHandleSendsNothingAndKeepsReply)
{
    std::string reply = "before";
    EXPECT_EQ(SerialTransact(nullptr, "v", 0, reply), -3);
    EXPECT_EQ(reply, "before");
    EXPECT_FALSE(SerialPurge(nullptr));
    Link link;
    EXPECT_FALSE(link.ReadRegisters(0x40, 1));
    EXPECT_EQ(link.LastErrorText, "USB Comm Err -3");
    EXPECT_EQ(link.EncoderPosition.ErrComm, -3);
    EXPECT_FALSE(link.WriteRegister(0x40, 0));
    EXPECT_EQ(link.LastErrorText, "USB Comm Err -3");
}

TEST(SerialTransport, OpenFailsClearlyForMissingDevice)
{
    std::string error;
    EXPECT_FALSE(PosixSerialPort::Open("/dev/does-not-exist-k417", &error));
    EXPECT_NE(error.find("/dev/does-not-exist-k417"), std::string::npos);
}

TEST_F(LinkOverPty, ReplySplitAcrossReadsAndBytesAfterCr)
{
    peer.Queue({{"0", 0}, {"\r", 30}});
    std::string reply;
    EXPECT_EQ(SerialTransact(link.Port(), "Ws000:064", 0, reply), 0);
    EXPECT_EQ(reply, "0\r");
    peer.Answer(std::string("0\rAB"));
    EXPECT_EQ(SerialTransact(link.Port(), "x", 0, reply), 0);
    EXPECT_EQ(reply, "0\r");
    peer.Answer("1234567");
    EXPECT_EQ(SerialTransact(link.Port(), "y", 5, reply), 0);
    EXPECT_EQ(reply, "1234567");
    EXPECT_EQ(Sent(), (std::vector<std::string>{"Ws000:064", "x", "y"}));
}

TEST_F(LinkOverPty, TimeoutWaitsWithoutSpinningAndKeepsPartialReply)
{
    peer.Answer("0:00:12");
    std::string reply;
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const int result = SerialTransact(link.Port(), "R01:064", 0, reply);
    const auto wallMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const double cpuMs = (CpuSeconds() - cpuBefore) * 1000;
    EXPECT_EQ(result, -1);
    EXPECT_EQ(reply, "0:00:12");
    EXPECT_GE(wallMs, 400);
    EXPECT_LT(wallMs, 450);
    EXPECT_LT(cpuMs, 20.0);
}

TEST_F(LinkOverPty, ALateReplyIsNeverTakenForTheNextCommandsAnswer)
{
    // The write's "0" comes after the time limit; the next write is refused.
    link.Port()->SetReplyTimeoutMs(60);
    peer.Queue({{"0\r", 120}});
    EXPECT_FALSE(link.WriteRegister(0x40, 3));
    peer.WaitForReceived(1, 1000);
    while (link.Port()->BytesWaiting() < 2)
        ASSERT_EQ(link.Port()->WaitForInput(1000000), 1);
    peer.Answer("1\r");
    EXPECT_FALSE(link.WriteRegister(0x00, 7));
    EXPECT_NE(link.LastErrorText.find("Non-writable address"), std::string::npos) << link.LastErrorText;
}

// A "0" (a write's success) waits on the port when the next write goes out,
// which the box refuses: the write must fail with the box's own answer.
static void ExpectAStaleSuccessIsNotTakenForTheNextAnswer(PtyPeer& peer, Link& link)
{
    peer.Push("0\r");
    while (link.Port()->BytesWaiting() < 2)
        ASSERT_EQ(link.Port()->WaitForInput(1000000), 1);
    peer.Answer("1\r");
    EXPECT_FALSE(link.WriteRegister(0x00, 7));
    EXPECT_NE(link.LastErrorText.find("Non-writable address"), std::string::npos) << link.LastErrorText;
}

TEST_F(LinkOverPty, LeftoversAreLookedForAfterEveryReplyThatDidNotEndCleanly)
{
    // A clean reply: nothing can be waiting, the next command need not look.
    peer.Answer("0\r");
    EXPECT_TRUE(link.WriteRegister(0x40, 3));
    EXPECT_TRUE(link.Port()->InputKnownEmpty());

    // Bytes after the CR in the same read: what follows them is not taken
    // for the next answer either.
    peer.Answer("0\rAB");
    EXPECT_TRUE(link.WriteRegister(0x40, 3));
    EXPECT_FALSE(link.Port()->InputKnownEmpty());
    ExpectAStaleSuccessIsNotTakenForTheNextAnswer(peer, link);
}

TEST_F(LinkOverPty, AReplyLaterThanTheLateReplyWaitIsNotTakenEitherAfterACleanReply)
{
    // The first write's "0" comes after its time limit, after the wait for
    // a late reply and after the next command was answered cleanly: it must
    // still not answer the third command.
    link.Port()->SetReplyTimeoutMs(200);
    link.Port()->SetLateReplyMs(10);
    EXPECT_FALSE(link.WriteRegister(0x40, 3));
    peer.Answer("0\r");
    EXPECT_TRUE(link.WriteRegister(0x41, 3));
    EXPECT_TRUE(link.Port()->InputKnownEmpty());
    ExpectAStaleSuccessIsNotTakenForTheNextAnswer(peer, link);
}

TEST_F(LinkOverPty, EmptyCommandStillWaitsForReply)
{
    std::string reply;
    EXPECT_EQ(SerialTransact(link.Port(), "", 0, reply), -1);
}

TEST_F(LinkOverPty, PeerGoneGivesPortLostNotTimeout)
{
    peer.Close();
    std::string reply = "kept";
    const int result = SerialTransact(link.Port(), "4", 0, reply);
    EXPECT_LT(result, -1);
    link.ReadPosition();
    EXPECT_LT(link.EncoderPosition.ErrComm, -1);
}

TEST_F(LinkOverPty, PeerVanishingWhileWaitingEndsTransactionAsPortLost)
{
    peer.Queue({{"0:00", 0}});
    std::string reply;
    std::thread closer([&] {
        peer.WaitForReceived(1, 1000);
        peer.Close();
    });
    const auto start = std::chrono::steady_clock::now();
    const int result = SerialTransact(link.Port(), "R01:064", 0, reply);
    closer.join();
    EXPECT_LT(result, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

TEST_F(LinkOverPty, PurgeDropsWaitingBytes)
{
    peer.Push("stale\r");
    // The stale bytes must be in the queue before the purge; wait for them.
    for (int i = 0; i < 100 && link.Port()->BytesWaiting() < 6; ++i)
        link.Port()->WaitForInput(10000);
    ASSERT_EQ(link.Port()->BytesWaiting(), 6);
    EXPECT_TRUE(SerialPurge(link.Port()));
    EXPECT_EQ(link.Port()->BytesWaiting(), 0);
}

TEST_F(LinkOverPty, ReadRegistersCommandsAndSuccess)
{
    peer.Answer("0:00:1A2B\r");
    EXPECT_TRUE(link.ReadRegisters(0x40, 2));
    EXPECT_EQ(link.RxBank[0], 0x1A);
    EXPECT_EQ(link.RxBank[1], 0x2B);
    EXPECT_EQ(link.LastErrorText, "");
    EXPECT_EQ(link.EncoderPosition.ErrComm, 0);
    peer.Answer("0:00:" + std::string(32, '0') + "\r");
    EXPECT_TRUE(link.ReadRegisters(5, 16));
    peer.Answer("0:00:" + std::string(128, 'F') + "\r");
    EXPECT_TRUE(link.ReadRegisters(0, 64));
    EXPECT_EQ(link.RxBank[63], 0xFF);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"R02:064", "R16:005", "R64:000"}));
}

TEST_F(LinkOverPty, ReadRegistersFailureBranches)
{
    link.RxBank.fill(0x55);
    struct Case {
        std::string reply;
        std::string text;
    } cases[] = {
        {"Error 5\r", "Error\r\nCMD: R02:064 RCV: Error 5"},
        {"3:00:\r", "BiSS Timeout\r\nCMD: R02:064 RCV: 3:00:"},
        {"2:00:\r", "Address > 127 or DataLength > 64\r\nCMD: R02:064 RCV: 2:00:"},
        {"1:00:\r", "End of bank reached\r\nCMD: R02:064 RCV: 1:00:\r\nNo data read"},
        {"0:00:1A\r", "Not enough data received back\r\nCMD: R02:064 RCV: 0:00:1A"},
        {"0:00:1G2B\r", "Invalid data received\r\nCMD: R02:064 RCV: 0:00:1G2B"},
        {"1:xx:1A2B\r", "End of bank reached\r\nCMD: R02:064 RCV: 1:xx:1A2B"},
    };
    for (const Case& c : cases) {
        peer.Answer(c.reply);
        EXPECT_FALSE(link.ReadRegisters(0x40, 2)) << c.reply;
        EXPECT_EQ(link.LastErrorText, c.text);
    }
    EXPECT_EQ(link.RxBank[0], 0x55) << "a failed read must not store bytes";

    // A time-out reports the transport result.
    EXPECT_FALSE(link.ReadRegisters(0x40, 2));
    EXPECT_EQ(link.LastErrorText, "USB Comm Err -1");
    EXPECT_EQ(link.EncoderPosition.ErrComm, -1);
}

TEST_F(LinkOverPty, ReadRegistersEndOfBankKeepsDeliveredBytes)
{
    link.RxBank.fill(0x55);
    peer.Answer("1:01:AB00\r");
    EXPECT_TRUE(link.ReadRegisters(127, 2));
    EXPECT_EQ(link.RxBank[0], 0xAB);
    EXPECT_EQ(link.RxBank[1], 0x55);
    EXPECT_EQ(link.LastErrorText, "End of bank reached\r\nCMD: R02:127 RCV: 1:01:AB00");
    // A count the box says it delivered beyond the request is not taken on trust.
    peer.Answer("1:09:ABCD\r");
    EXPECT_TRUE(link.ReadRegisters(127, 2));
    EXPECT_EQ(link.RxBank[1], 0xCD);
    EXPECT_EQ(link.RxBank[2], 0x55);
    // A right-length reply with an unknown status takes nothing and keeps the old text.
    peer.Answer("7:00:ABCD\r");
    EXPECT_FALSE(link.ReadRegisters(127, 2));
    EXPECT_EQ(link.LastErrorText, "End of bank reached\r\nCMD: R02:127 RCV: 1:09:ABCD");
}

TEST_F(LinkOverPty, WriteRegisterBranches)
{
    struct Case {
        std::string reply;
        bool ok;
        std::string text;
    } cases[] = {
        {"0\r", true, ""},
        {"1\r", false, "Non-writable address\r\nCMD: Ws017:073 RCV: 1"},
        {"2\r", false, "Address > 127\r\nCMD: Ws017:073 RCV: 2"},
        {"3\r", false, "BiSS Timeout\r\nCMD: Ws017:073 RCV: 3"},
        {"?\r", false, "Unexpected result\r\nCMD: Ws017:073 RCV: ?"},
    };
    for (const Case& c : cases) {
        peer.Answer(c.reply);
        EXPECT_EQ(link.WriteRegister(0x49, 17), c.ok) << c.reply;
        EXPECT_EQ(link.LastErrorText, c.text);
    }
    EXPECT_EQ(Sent().front(), "Ws017:073");
}

TEST_F(LinkOverPty, WriteRegisterBufferSequenceAndBranches)
{
    link.TxBank[0] = 7;
    link.TxBank[1] = 200;
    peer.Answer("0\r");
    peer.Answer("0\r");
    peer.Answer("0:00\r");
    EXPECT_TRUE(link.WriteRegisterBuffer(0x40, 2));
    EXPECT_EQ(Sent(), (std::vector<std::string>{"Wbf00:007", "Wbf01:200", "Wcn02:064"}));

    struct Case {
        std::string reply;
        std::string text;
    } cases[] = {
        {"4\r", "BiSS Timeout\r\nCMD: Wcn01:064RCV: 4"},
        {"3\r", "Address > 127 or Data len > 64 or 0\r\nCMD: Wcn01:064 RCV: 3"},
        {"2\r", "CRC error or incorrect Data len\r\nCMD: Wcn01:064 RCV: 2"},
        {"1\r", "Non-writable address or bank end\r\nCMD: Wcn01:064 RCV: 1"},
    };
    for (const Case& c : cases) {
        peer.Answer("0\r");
        peer.Answer(c.reply);
        EXPECT_FALSE(link.WriteRegisterBuffer(0x40, 1)) << c.reply;
        EXPECT_EQ(link.LastErrorText, c.text);
    }
    peer.Answer("1\r");
    EXPECT_FALSE(link.WriteRegisterBuffer(0x40, 1));
    EXPECT_EQ(link.LastErrorText, "Buffer write error (idx > 63 or data > 255)\r\nCMD: Wbf00:007 RCV: 1\r");
    link.LastErrorText = "previous";
    peer.Answer("x\r");
    EXPECT_FALSE(link.WriteRegisterBuffer(0x40, 1));
    EXPECT_EQ(link.LastErrorText, "previous");
}

namespace {
// A successful register read reply carrying the given bytes.
std::string HexReply(const uint8_t* begin, const uint8_t* end)
{
    std::string hex = "0:00:";
    char buf[3];
    for (const uint8_t* b = begin; b != end; ++b) {
        snprintf(buf, sizeof buf, "%02X", *b);
        hex += buf;
    }
    return hex + "\r";
}

std::string HexReply(std::initializer_list<uint8_t> bytes)
{
    return HexReply(bytes.begin(), bytes.end());
}

// The 64 fixed registers of a maker's encoder as the box returns them.
std::string FixedArea(uint32_t serial, const std::string& part)
{
    uint8_t r[64] = {};
    r[1] = 0x20; // EDS bank
    r[2] = 0x62;
    r[3] = 30;
    r[4] = static_cast<uint8_t>(serial >> 24);
    r[5] = static_cast<uint8_t>(serial >> 16);
    r[6] = static_cast<uint8_t>(serial >> 8);
    r[7] = static_cast<uint8_t>(serial);
    const char serialText[] = " A1 2B  ";
    for (int i = 0; i < 8; ++i)
        r[28 + i] = static_cast<uint8_t>(serialText[i]);
    for (size_t i = 0; i < part.size() && i < 20; ++i)
        r[36 + i] = static_cast<uint8_t>(part[i]);
    for (int i = 0; i < 6; ++i)
        r[56 + i] = static_cast<uint8_t>(i + 1);
    r[62] = 0x4B;
    r[63] = 0x58;
    return HexReply(r, r + 64);
}
} // namespace

TEST_F(LinkOverPty, SignatureWithExtendedSerial)
{
    peer.Answer(FixedArea(36, "TV641-ABC"));
    peer.Answer("0\r");
    peer.Answer(HexReply({0, 1, 0, 5, 0, 0, 0x04, 0xD2}));
    peer.Answer("0\r");
    peer.Answer(HexReply({'E', 'X', ' ', '1', '2', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(link.ReadEncoderSignature());
    const TEncoderSignature& s = link.EncoderSignature;
    EXPECT_EQ(s.EDS_Common_bank_num, 0x20);
    EXPECT_EQ(s.Profile, 0x62);
    EXPECT_EQ(s.SCD_DataLength, 30);
    EXPECT_EQ(s.SerialNumber, 36u);
    EXPECT_EQ(s.Zolvan_SerialDecoded, "000010");
    EXPECT_EQ(s.Zolvan_Serial, "A12B");
    EXPECT_EQ(s.Zolvan_PartNumber, "TV641-ABC");
    EXPECT_EQ(s.DeviceID, 0x010203040506ull);
    EXPECT_EQ(s.ManufacturerID, 0x4B58);
    EXPECT_EQ(s.Zolvan_FWverStr, "1.5.0.1234");
    EXPECT_EQ(s.Zolvan_ExtendedSerial, "EX12");
    EXPECT_EQ(Sent(), (std::vector<std::string>{"R64:064", "Ws000:064", "R08:047", "Ws001:064", "R16:000"}));
}

TEST_F(LinkOverPty, SignatureAtAlternateAddressWithoutExtendedSerial)
{
    link.AltFwVersionAddress = true;
    peer.Answer(FixedArea(0xFFFFFFFF, "QN12"));
    peer.Answer("0\r");
    peer.Answer(HexReply({0, 2, 0, 4, 0, 1, 0, 9}));
    EXPECT_TRUE(link.ReadEncoderSignature());
    EXPECT_EQ(link.EncoderSignature.Zolvan_FWverStr, "2.4.1.9");
    EXPECT_EQ(link.EncoderSignature.Zolvan_ExtendedSerial, "");
    // 0xFFFFFFFF has seven base-36 digits; the highest is dropped.
    EXPECT_EQ(link.EncoderSignature.Zolvan_SerialDecoded, "Z141Z3");
    EXPECT_EQ(Sent(), (std::vector<std::string>{"R64:064", "Ws000:064", "R08:051"}));
}

TEST_F(LinkOverPty, SignatureFailuresResetRecord)
{
    link.EncoderSignature.Zolvan_PartNumber = "old";
    peer.Answer("3\r");
    EXPECT_FALSE(link.ReadEncoderSignature());
    EXPECT_EQ(link.EncoderSignature.EDS_Common_bank_num, kBankNotRead);
    EXPECT_EQ(link.EncoderSignature.Zolvan_PartNumber, "");
    // Fixed area read, version read refused: false, identification kept.
    peer.Answer(FixedArea(1, "TV617"));
    peer.Answer("1\r");
    EXPECT_FALSE(link.ReadEncoderSignature());
    EXPECT_EQ(link.EncoderSignature.Zolvan_PartNumber, "TV617");
    EXPECT_EQ(link.EncoderSignature.Zolvan_FWverStr, "");
}

TEST_F(LinkOverPty, PositionReadDecodesWorkedExample)
{
    link.PositionMTLength = 12;
    link.PositionSTLength = 18;
    peer.Answer("123AAF3728000000\r");
    link.ReadPosition();
    const TEncoderPosition& p = link.EncoderPosition;
    EXPECT_EQ(Sent(), std::vector<std::string>{"4"});
    EXPECT_EQ(p.ErrComm, 0);
    EXPECT_EQ(p.RxData, "123AAF3728000000");
    EXPECT_EQ(p.MT_value, 291);
    EXPECT_EQ(p.ST_value, 175053u);
    EXPECT_EQ(p.MTST_value, 76458957);
    EXPECT_FALSE(p.ErrCRC || p.ErrBit || p.WarnBit || p.ErrTimeout);
    EXPECT_EQ(p.RxBinDebug.substr(0, 16), "0001001000111010");

    peer.Answer("TIMEOUT\r");
    link.ReadPosition();
    EXPECT_TRUE(p.ErrTimeout);
    EXPECT_EQ(p.ErrComm, 0);
    EXPECT_EQ(p.MT_value, 291);
}

// Decoding without the transport: the reply as received, CR included.
namespace {
TEncoderPosition Decode(const std::string& reply, uint8_t m, uint8_t s, TEncoderPosition start = {})
{
    start.RxData = reply;
    start.ErrComm = 0;
    DecodePositionReply(start, m, s);
    return start;
}
} // namespace

TEST(PositionDecode, StatusBitsAndMalformedReplies)
{
    TEncoderPosition err = Decode("123AAF3530000000\r", 12, 18);
    EXPECT_TRUE(err.ErrBit);
    EXPECT_FALSE(err.ErrCRC);
    EXPECT_FALSE(err.WarnBit);

    EXPECT_EQ(Decode("123AAF372800000\r", 12, 18).ErrComm, 99);
    EXPECT_EQ(Decode("G23AAF3728000000\r", 12, 18).ErrComm, 98);
    EXPECT_EQ(Decode("1:3AAF3728000000\r", 12, 18).ErrComm, 97);

    TEncoderPosition prev;
    prev.MT_value = 5;
    TEncoderPosition junk = Decode("123AAF37280000X0\r", 12, 18, prev);
    EXPECT_EQ(junk.ErrComm, 0);
    EXPECT_EQ(junk.ST_value, 0u);
    EXPECT_EQ(junk.MT_value, 0);
    EXPECT_TRUE(junk.ErrCRC && junk.ErrBit && junk.WarnBit);

    TEncoderPosition lower = Decode("123aaf3728000000\r", 12, 18);
    EXPECT_EQ(lower.RxData, "123AAF3728000000");
    EXPECT_FALSE(lower.ErrCRC);
}

TEST(PositionDecode, FieldWidthsAndRoundTrip)
{
    char hex[20];
    auto reply = [&](uint64_t word) {
        snprintf(hex, sizeof hex, "%016llX\r", static_cast<unsigned long long>(word));
        return std::string(hex);
    };
    // A 16-bit multiturn count from 32768 up reads as negative.
    TEncoderPosition p = Decode(reply(EncodePositionFrame(0xFFFF, 10, 16, 20, false, false)), 16, 20);
    EXPECT_EQ(p.MT_value, -1);
    EXPECT_FALSE(p.ErrCRC);
    // Of a 24-bit multiturn only the low 16 bits count.
    p = Decode(reply(EncodePositionFrame(0x012345, 0, 24, 17, false, true)), 24, 17);
    EXPECT_EQ(p.MT_value, 0x2345);
    EXPECT_TRUE(p.WarnBit);
    EXPECT_FALSE(p.ErrCRC);
    // With no multiturn the previous value stays; with 32 singleturn bits all of them count.
    TEncoderPosition prev;
    prev.MT_value = 77;
    p = Decode(reply(EncodePositionFrame(0, 0xFEDCBA98, 0, 32, false, false)), 0, 32, prev);
    EXPECT_EQ(p.MT_value, 77);
    EXPECT_EQ(p.ST_value, 0xFEDCBA98u);
    p = Decode(reply(EncodePositionFrame(0xABCDEF, 0x89ABCDEF, 24, 32, true, false)), 24, 32);
    EXPECT_EQ(p.ST_value, 0x89ABCDEFu);
    EXPECT_EQ(p.MTST_value, static_cast<int64_t>(0xABCDEF89ABCDEFull));
    EXPECT_TRUE(p.ErrBit);
    EXPECT_FALSE(p.ErrCRC);
    // A flipped position bit is caught by the CRC.
    uint64_t word = EncodePositionFrame(3, 1000, 12, 18, false, false) ^ (1ull << 40);
    EXPECT_TRUE(Decode(reply(word), 12, 18).ErrCRC);
}

// The reply as the box sends it (upper case, CR) and the same reply in the
// forms that need trimming or upper-casing decode alike; so do two replies
// one character short of that form and their upper-case CR forms.
TEST(PositionDecode, EveryFormOfAReplyDecodesAlike)
{
    auto same = [](const TEncoderPosition& a, const TEncoderPosition& b) {
        return a.RxData == b.RxData && a.RxBinDebug == b.RxBinDebug && a.MT_value == b.MT_value &&
               a.ST_value == b.ST_value && a.MTST_value == b.MTST_value && a.ErrComm == b.ErrComm &&
               a.ErrTimeout == b.ErrTimeout && a.ErrCRC == b.ErrCRC && a.ErrBit == b.ErrBit && a.WarnBit == b.WarnBit;
    };
    char hex[20];
    for (const uint64_t word : {EncodePositionFrame(291, 175053, 12, 18, false, false),
                                EncodePositionFrame(0xABCD, 0x3FFFF, 16, 18, true, true), uint64_t{0xFFFFFFFFFFFFFFFFull}, uint64_t{0}}) {
        snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(word));
        const TEncoderPosition plain = Decode(std::string(hex) + "\r", 12, 18);
        EXPECT_EQ(plain.RxData, hex);
        EXPECT_EQ(plain.RxBinDebug, FormatBits(64, word));
        std::string lower = hex;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string& form : {lower + "\r", std::string(hex) + "\n", std::string(hex) + " "})
            EXPECT_TRUE(same(Decode(form, 12, 18), plain)) << form;
    }
    // Not hex after all: the last digit a colon, or a space.
    TEncoderPosition start;
    start.ST_value = 9;
    EXPECT_EQ(Decode("123AAF372800000:\r", 12, 18, start).ErrComm, kPosReplyHasColon);
    const TEncoderPosition spaced = Decode("123AAF372800000 \r", 12, 18, start);
    EXPECT_EQ(spaced.RxData, "123AAF372800000");
    EXPECT_EQ(spaced.ErrComm, 0);
    // A trailing character that is not a blank is no CR: the length check
    // counted it, and the word, not all hex, reads as zero.
    EXPECT_EQ(Decode("123AAF3728000000X", 12, 18).RxBinDebug, std::string(64, '0'));
}

TEST(RxBankValue, BigEndianNumbers)
{
    Link link;
    link.RxBank[10] = 0x12;
    link.RxBank[11] = 0x34;
    link.RxBank[12] = 0x56;
    link.RxBank[13] = 0x78;
    EXPECT_EQ(link.RxBankValue(10, 4), 0x12345678u);
    EXPECT_EQ(link.RxBankValue(10, 0), 0u);
    EXPECT_EQ(link.RxBankValueText(10, 2), "4660");
    EXPECT_EQ(PadNumber(5, 3), "005");
    EXPECT_EQ(PadNumber(127, 3), "127");
}
