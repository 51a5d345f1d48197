#include "EncoderImages.h"
#include "FakeBox.h"
#include "biss/Eds.h"
#include "biss/FirmwareGates.h"
#include "biss/Identification.h"

#include <gtest/gtest.h>

TEST(DirectRegisters, TextsOfTheFixedArea)
{
    TBiSS_bank r{};
    r[0x01] = 0x02;
    r[0x02] = 0x62;
    r[0x03] = 0x22;
    r[0x04] = 0xDE;
    r[0x05] = 0xAD;
    r[0x06] = 0x0B;
    r[0x07] = 0x01;
    r[0x0A] = 0xFF;
    r[0x1B] = 7;
    for (size_t i = 0; i < 6; ++i)
        r[0x38 + i] = static_cast<uint8_t>(0xA0 + i);
    r[0x3E] = 0x58;
    r[0x3F] = 0x4B;
    DirectRegisterTexts t = FormatDirectRegisters(r);
    EXPECT_EQ(t.edsBank, "0x02");
    EXPECT_EQ(t.profileCaption, "Profile BP3");
    EXPECT_EQ(t.scdLengthCaption, "SCD Length = 34");
    EXPECT_EQ(t.serialNumber, "0xDEAD0B01");
    EXPECT_EQ(t.grid[0], (std::array<std::string, 3>{"0x4A", "0xFF", "255"}));
    EXPECT_EQ(t.grid[17], (std::array<std::string, 3>{"0x5B", "0x07", "7"}));
    EXPECT_EQ(t.deviceId, "0xA0A1A2A3A4A5");
    EXPECT_EQ(t.manufacturer, "0x4B58 = \"XK\"");
    EXPECT_TRUE(t.makersEncoder);

    r[0x02] = 0x61;
    std::swap(r[0x3E], r[0x3F]);
    t = FormatDirectRegisters(r);
    EXPECT_EQ(t.profileCaption, "Unknown Profile");
    EXPECT_EQ(t.manufacturer, "0x584B = \"KX\"");
    EXPECT_FALSE(t.makersEncoder);
    r[0x3E] = 0xE9; // a byte above ASCII shows as its Latin-1 character
    EXPECT_EQ(FormatDirectRegisters(r).manufacturer, "0x58E9 = \"\xC3\xA9X\"");
}

TEST(Identification, PartNumberTables)
{
    PartNumberConstants c = DecodePartNumber("TV746-1234", 9859);
    EXPECT_EQ(c.codeLength, 9);
    EXPECT_FLOAT_EQ(c.ringDiameter, 109.096f);
    EXPECT_EQ(c.airGapN, 695.0f);
    EXPECT_EQ(c.airGapK, -70.293434f);
    EXPECT_EQ(DecodePartNumber("TV746-1234", 9860).airGapN, 735.0f);

    c = DecodePartNumber("TV662", 0);
    EXPECT_EQ(c.codeLength, 8);
    EXPECT_EQ(c.ringDiameter, 45.8f);
    EXPECT_EQ(c.airGapN, 682.0f);
    c = DecodePartNumber("TV617", 0);
    EXPECT_EQ(c.codeLength, 6);
    EXPECT_EQ(c.airGapK, -95.492966f);
    c = DecodePartNumber("LN700", 0);
    EXPECT_EQ(c.codeLength, 5);
    EXPECT_EQ(c.airGapN, 1236.0f);
    c = DecodePartNumber("tv617", 0); // case-sensitive
    EXPECT_EQ(c.codeLength, 8);
    EXPECT_EQ(c.ringDiameter, 0); // unknown
    EXPECT_EQ(DecodePartNumber("QN100-0012", 0).ringDiameter, 0);

    EXPECT_FALSE(DecodePartNumber("W84TV", 0).clock64MHz);
    EXPECT_TRUE(DecodePartNumber("TV641W84", 0).clock64MHz);
    EXPECT_TRUE(DecodePartNumber("QN1J3", 0).clock64MHz);
    EXPECT_FALSE(DecodePartNumber("J3J3", 0).clock64MHz); // first occurrence decides
}

TEST(Identification, FamilyDecisionAndPages)
{
    FamilyDecision d = DecideFamily("TV641-00");
    EXPECT_EQ(d.family, EncoderFamily::Torvik);
    ASSERT_TRUE(d.scale);
    EXPECT_EQ(d.scale->nominator, 360);
    EXPECT_EQ(d.scale->unit, "deg");

    d = DecideFamily("QN12345678NDX");
    EXPECT_EQ(d.family, EncoderFamily::Quenra);
    EXPECT_EQ(d.magnetType, "ND");

    d = DecideFamily("LN7-00125");
    EXPECT_EQ(d.family, EncoderFamily::Linear);
    EXPECT_EQ(d.scale->nominator, 125);
    EXPECT_EQ(d.scale->denominator, 10000);
    EXPECT_EQ(d.scale->unit, "mm");
    EXPECT_EQ(DecideFamily("LN7-0112a").scale->nominator, 1);
    EXPECT_EQ(DecideFamily("LN7").scale->nominator, 1);

    d = DecideFamily("XY123");
    EXPECT_EQ(d.family, EncoderFamily::Unidentified);
    EXPECT_FALSE(d.scale);
}

TEST(Identification, FirmwareGatesAndCompatibility)
{
    TEncoderSignature s;
    auto gates = [&](uint16_t svn, uint16_t minor = 0) {
        s.Zolvan_FWverSVN = svn;
        s.Zolvan_FWverMinor = minor;
        return TorvikControlGatesFor(s);
    };
    EXPECT_FALSE(gates(1522).writeProtect);
    EXPECT_TRUE(gates(1523).writeProtect);
    EXPECT_TRUE(gates(9572).writeProtect);
    EXPECT_FALSE(gates(9573).writeProtect);
    EXPECT_FALSE(gates(2210).multiturnErrorArc);
    EXPECT_TRUE(gates(2211).multiturnErrorArc);
    EXPECT_FALSE(gates(2588).calibrationArc);
    EXPECT_TRUE(gates(2589).calibrationArc);
    EXPECT_FALSE(gates(9567).calibrationTimeout);
    EXPECT_FALSE(gates(9567).persistentStatus);
    EXPECT_TRUE(gates(9568).calibrationTimeout);
    EXPECT_TRUE(gates(9568).persistentStatus);
    EXPECT_FALSE(gates(0, 4).extendedSerial);
    EXPECT_TRUE(gates(0, 5).extendedSerial);

    EXPECT_TRUE(FirmwareGate::ReadsWriteProtect(EncoderFamily::Torvik, 1523));
    EXPECT_FALSE(FirmwareGate::ReadsWriteProtect(EncoderFamily::Quenra, 1523));
    EXPECT_TRUE(FirmwareGate::HasCalibrationResults(2589));
    EXPECT_EQ(FirmwareGate::ErrorMapFirstBank(2), 12);
    EXPECT_EQ(FirmwareGate::ErrorMapPageCount(3), 8);

    auto message = [&](EncoderFamily f, uint16_t major, uint16_t minor, uint16_t comm) {
        s.Zolvan_FWverMajor = major;
        s.Zolvan_FWverMinor = minor;
        s.Zolvan_FWverComm = comm;
        s.Zolvan_FWverStr = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(comm) + ".1";
        return FirmwareCompatibilityMessage(f, s);
    };
    EXPECT_EQ(message(EncoderFamily::Torvik, 1, 2, 7),
              "FW version of the encoder (1.2.7.1) is not compatible with this software version.");
    EXPECT_FALSE(message(EncoderFamily::Torvik, 1, 3, 0));
    EXPECT_FALSE(message(EncoderFamily::Torvik, 1, 2, 8));
    EXPECT_FALSE(message(EncoderFamily::Torvik, 2, 0, 0));
    EXPECT_FALSE(message(EncoderFamily::Quenra, 1, 2, 7));
}

TEST(Identification, KeyAndCommandNumbers)
{
    EXPECT_EQ(ParseRegisterByte("0x1F"), 31);
    EXPECT_EQ(ParseRegisterByte("31"), 31);
    EXPECT_EQ(ParseRegisterByte("  0X1f \t"), 31);
    EXPECT_EQ(ParseRegisterByte("0xff"), 255);
    EXPECT_EQ(ParseRegisterByte("0"), 0);
    EXPECT_FALSE(ParseRegisterByte("256"));
    EXPECT_FALSE(ParseRegisterByte("0x100"));
    EXPECT_FALSE(ParseRegisterByte("-1"));
    EXPECT_FALSE(ParseRegisterByte("0x"));
    EXPECT_FALSE(ParseRegisterByte("0x-1"));
    EXPECT_FALSE(ParseRegisterByte("$1F"));
    EXPECT_FALSE(ParseRegisterByte("twelve"));
    EXPECT_FALSE(ParseRegisterByte(""));
}

TEST(Identification, TorvikReadDecidesEverythingInOrder)
{
    Link link;
    FakeBox& box = AttachFakeBox(link);
    MakeMakersEncoder(box, "TV746W84-01", {2, 5, 8, 9859});
    EncoderIdentity id;
    id.EncoderConnected = true;
    link.UserBankFirst = 4;

    IdentificationOutcome out = ReadIdentification(link, id);
    ASSERT_TRUE(out.ok) << out.statusText;
    EXPECT_EQ(box.TakeLog(), (std::vector<std::string>{"R64:064", "R64:064", "Ws000:064", "R08:047", "Ws001:064",
                                                       "R16:000"}));
    EXPECT_EQ(out.statusText, "Comm OK\r\n");
    EXPECT_TRUE(out.signatureRead);
    EXPECT_EQ(id.DruzinaEnkoderja, EncoderFamily::Torvik);
    EXPECT_EQ(id.EncDolzinaKode, 9);
    EXPECT_EQ(id.AirGapN, 695.0f);
    EXPECT_EQ(id.EncClockMhz, 64);
    EXPECT_EQ(link.UserBankFirst, kBankNotRead);
    EXPECT_EQ(link.EncoderSignature.EDS_Common_bank_num, 2);
    EXPECT_EQ(link.EncoderSignature.SCD_DataLength, 0x22);
    EXPECT_FALSE(link.AltFwVersionAddress);
    EXPECT_EQ(out.serialCaption, "Serial BiSS: 0x0001E240\r\nSerial decoded: 002N9C\r\nFirmware: 2.5.8.9859");
    EXPECT_FALSE(out.compatibilityMessage);
    ASSERT_TRUE(out.gates);
    EXPECT_FALSE(out.gates->writeProtect);
    EXPECT_TRUE(out.gates->extendedSerial);
    EXPECT_EQ(link.EncoderSignature.Zolvan_ExtendedSerial, "EXT-0042");
    EXPECT_TRUE(id.EncoderConnected); // only a failure clears it
}

TEST(Identification, OlderFirmwareIsReadAtTheAlternateAddress)
{
    Link link;
    FakeBox& box = AttachFakeBox(link);
    // Version words at the alternate address; the usual address holds garbage.
    MakeMakersEncoder(box, "QN00000000NDA", {1, 2, 7, 1000}, 51);
    SetWord(box.banks[0], 47, 7);
    EncoderIdentity id;
    IdentificationOutcome out = ReadIdentification(link, id);
    ASSERT_TRUE(out.ok);
    EXPECT_TRUE(link.AltFwVersionAddress);
    EXPECT_EQ(link.EncoderSignature.Zolvan_FWverStr, "1.2.7.1000");
    EXPECT_EQ(id.DruzinaEnkoderja, EncoderFamily::Quenra);
    EXPECT_EQ(id.TipMagnetaQuenra, "ND");
    EXPECT_FALSE(out.compatibilityMessage); // never for Quenra
    EXPECT_FALSE(out.gates);
}

TEST(Identification, ForeignEncoderStopsAfterTheFixedArea)
{
    Link link;
    FakeBox& box = AttachFakeBox(link);
    MakeMakersEncoder(box, "TV641", {2, 5, 8, 9860});
    box.Reg(0x7E) = 0x4B; // bytes swapped: not the maker
    box.Reg(0x7F) = 0x58;
    EncoderIdentity id;
    id.DruzinaEnkoderja = EncoderFamily::Torvik;
    IdentificationOutcome out = ReadIdentification(link, id);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(box.TakeLog(), (std::vector<std::string>{"R64:064"}));
    EXPECT_FALSE(out.signatureRead);
    EXPECT_EQ(id.DruzinaEnkoderja, EncoderFamily::Unidentified);
    EXPECT_EQ(link.EncoderSignature.EDS_Common_bank_num, 2); // the datasheet can still be read
}

TEST(Identification, FailuresClearTheConnectionAndReportPortLoss)
{
    Link link;
    FakeBox& box = AttachFakeBox(link);
    MakeMakersEncoder(box, "TV641", {2, 5, 8, 9860});
    EncoderIdentity id;
    id.EncoderConnected = true;
    box.override = [](const std::string& c) -> std::optional<std::string> {
        if (c == "R08:047")
            return "3\r";
        return std::nullopt;
    };
    IdentificationOutcome out = ReadIdentification(link, id);
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(out.portLost);
    EXPECT_TRUE(out.registers); // the fixed area was shown
    EXPECT_EQ(out.statusText, "Error\r\nBiSS Timeout\r\nCMD: R08:047 RCV: 3");
    EXPECT_FALSE(id.EncoderConnected);
    EXPECT_EQ(id.DruzinaEnkoderja, EncoderFamily::Unidentified);

    box.writeError = 5;
    out = ReadIdentification(link, id);
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(out.portLost);
    EXPECT_FALSE(out.registers);
    EXPECT_EQ(link.EncoderSignature.EDS_Common_bank_num, kBankNotRead);
}

TEST(Eds, CommonText)
{
    TBiSS_bank b = CommonPart();
    EXPECT_EQ(EdsCommonText(b), "EDS ver: 1\r\n"
                                "EDS length: 2 banks\r\n"
                                "Bank user start: 4\r\n"
                                "Bank user end: 7\r\n"
                                "Max CLK freq: 125.00 MHz\r\n"
                                "Min Timeout: 2.50 µs\r\n"
                                "Max Timeout: 0.75 µs\r\n"
                                "Min cycle time: 10.00 µs\r\n"
                                "Max proces time SCD: 0.25 µs\r\n"
                                "Max proces time #clk: 12\r\n"
                                "Max On Delay: 300 ms\r\n"
                                "Data channels: 1\r\n"
                                "EDS slaves validity: 0\r\n"
                                "EDS slave ID: 0\r\n"
                                "Ch 1 EDS bank addr: 3\r\n"
                                "Ch 1 data length: 32 bits\r\n"
                                "Ch 1 data format: 0\r\n"
                                "Ch 1 CRC poly: 0x43\r\n"
                                "BC_OFF: 5");
    b[4] = 3;
    b[7] = 4;
    b[8] = 255;
    b[9] = 1;
    b[10] = 2;
    const std::string t = EdsCommonText(b);
    EXPECT_NE(t.find("Max CLK freq: 333.30 MHz\r\nMin Timeout: 2.50 µs\r\nMax Timeout: 0.75 µs\r\n"
                     "Min Timeout S: 0.10 µs\r\nMax Timeout S: 6.38 µs\r\nTCLK_MIN: 1\r\nTCLK_MAX: 2\r\nMin cycle"),
              std::string::npos)
        << t;
    b[4] = 0; // no clock limit: the text still completes
    EXPECT_NE(EdsCommonText(b).find("Max CLK freq: no limit\r\nMin Timeout"), std::string::npos);
}

TEST(Eds, ProfileTextAndChecksums)
{
    TBiSS_bank p = ProfilePart();
    const std::string t = EdsProfileText(p);
    EXPECT_EQ(t.substr(0, t.find("Num of dist")), "BP3 ver: 1\r\n"
                                                  "Profile length: 1 banks\r\n"
                                                  "Profile identification: 0x003C\r\n"
                                                  "SCD nError bit: 0\r\n"
                                                  "SCD nWarning bit: 0\r\n"
                                                  "Max power-on delay: 0 ms\r\n"
                                                  "Encoder type: 0\r\n"
                                                  "Position value: 0\r\n"
                                                  "Multiturn data length: 16 bits\r\n"
                                                  "Multiturn data format: 0\r\n"
                                                  "Coarse data length: 12 bits\r\n"
                                                  "Coarse data format: 0\r\n"
                                                  "Fine data length: 7 bits\r\n"
                                                  "Fine data format: 0\r\n");
    EXPECT_NE(t.find("\r\nInterpolation counts: 0 \r\nCRC poly: 0x43\r\nCRC start value: 0\r\nAbs accuracy: 2 counts\r\n"),
              std::string::npos);
    EXPECT_NE(t.find("\r\nMin temperature: -2 °C\r\nMax temperature: 85 °C\r\n"), std::string::npos);
    EXPECT_TRUE(t.ends_with("Max current: 0 mA\r\n"));
    // CRC poly computed in 32 bits.
    p[28] = 0x80;
    p[31] = 0x00;
    EXPECT_NE(EdsProfileText(p).find("CRC poly: 0x01\r\n"), std::string::npos);

    TBiSS_bank c{};
    c[0] = 0xFF;
    c[1] = 0xFF; // 0x1FE
    c[63] = 0xFE;
    EXPECT_TRUE(EdsChecksumOk(c));
    EXPECT_EQ(EdsChecksumText(c), "Checksum: 254");
    c[63] = 0xFD;
    EXPECT_FALSE(EdsChecksumOk(c));
}

TEST(Eds, ReadTakesOverBothPartsAndTheirValues)
{
    Link link;
    FakeBox& box = AttachFakeBox(link);
    box.banks[2] = CommonPart();
    box.banks[3] = ProfilePart();
    box.banks[3][63] ^= 1; // profile checksum wrong: flagged, values still taken
    link.EncoderSignature.EDS_Common_bank_num = 2;
    link.EncoderSignature.SCD_DataLength = 34;
    EncoderIdentity id;
    id.EncoderConnected = true;
    EdsReadOutcome out = ReadEds(link, id, true);
    EXPECT_EQ(box.TakeLog(), (std::vector<std::string>{"Ws002:064", "R64:000", "Ws003:064", "R64:000"}));
    ASSERT_EQ(out.statusOk, true);
    EXPECT_TRUE(out.commonChecksum->ok);
    EXPECT_FALSE(out.profileChecksum->ok);
    EXPECT_TRUE(link.EdsCommonChecksumOk);
    EXPECT_FALSE(link.EdsProfileChecksumOk);
    EXPECT_EQ(link.UserBankFirst, 4);
    EXPECT_EQ(link.UserBankLast, 7);
    EXPECT_EQ(link.EdsProfileBank, 3);
    EXPECT_EQ(out.fieldLengths->multiturn, 16);
    EXPECT_EQ(out.fieldLengths->singleturn, 19);
    EXPECT_EQ(EdsDataLengthReport(link), "Total data length\r\nwritten in EDS:  32\r\nwritten in 0x43: 34\r\n"
                                         "Multiturn:       16\r\nSingleturn:      19");
    EXPECT_TRUE(id.EncoderConnected);

    // Lengths beyond what a frame word carries are limited, the status line
    // names them, and the encoder stays connected: the monitor goes on.
    box.banks[3][10] = 40;
    box.banks[3][12] = 200;
    box.banks[3][14] = 100;
    out = ReadEds(link, id, true);
    EXPECT_EQ(out.fieldLengths->multiturn, 24);
    EXPECT_EQ(out.fieldLengths->singleturn, 32);
    EXPECT_EQ(link.PositionMTLength, 24);
    EXPECT_EQ(link.PositionSTLength, 32);
    EXPECT_TRUE(out.lengthsLimited);
    EXPECT_EQ(out.statusOk, true);
    EXPECT_EQ(out.statusText, "Comm OK\r\nEDS lengths out of range: multiturn 40, singleturn 300 bits; used 24 + 32");
    EXPECT_TRUE(id.EncoderConnected);
    // A word at those lengths decodes without losing a bit.
    TEncoderPosition word;
    char reply[24];
    std::snprintf(reply, sizeof reply, "%016llX\r",
                  static_cast<unsigned long long>(EncodePositionFrame(0x123456, 0xDEADBEEF, 24, 32, false, true)));
    word.RxData = reply;
    DecodePositionReply(word, link.PositionMTLength, link.PositionSTLength);
    EXPECT_EQ(word.ST_value, 0xDEADBEEFu);
    EXPECT_EQ(word.MTST_value, (int64_t{0x123456} << 32) | 0xDEADBEEF);
    EXPECT_FALSE(word.ErrCRC);
    EXPECT_TRUE(word.WarnBit);
}

TEST(Eds, NotBp3AndFailures)
{
    Link link;
    FakeBox& box = AttachFakeBox(link);
    box.banks[2] = CommonPart();
    EncoderIdentity id;
    id.EncoderConnected = true;

    EdsReadOutcome out = ReadEds(link, id, true); // no identification yet
    EXPECT_FALSE(out.started);
    EXPECT_TRUE(box.TakeLog().empty());

    link.EncoderSignature.EDS_Common_bank_num = 2;
    link.PositionMTLength = 12;
    out = ReadEds(link, id, false);
    EXPECT_EQ(box.TakeLog().size(), 2u);
    EXPECT_EQ(out.profileText, kEdsProfileNotBp3);
    EXPECT_FALSE(out.statusOk);
    EXPECT_FALSE(out.fieldLengths);
    EXPECT_EQ(link.PositionMTLength, 0);
    EXPECT_EQ(link.UserBankLast, 7);

    box.override = [](const std::string& c) -> std::optional<std::string> {
        if (c == "Ws003:064")
            return "1\r";
        return std::nullopt;
    };
    out = ReadEds(link, id, true);
    EXPECT_EQ(out.statusOk, false);
    EXPECT_EQ(out.statusText, "Error\r\nNon-writable address\r\nCMD: Ws003:064 RCV: 1");
    EXPECT_TRUE(out.commonText);
    EXPECT_FALSE(id.EncoderConnected);
}
