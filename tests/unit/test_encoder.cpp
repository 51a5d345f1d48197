// The maker's register model and protected commands: the notation, values,
// write-protect marker and checksums on their own; the commands over a
// pseudo-terminal against the simulated encoder, and against an in-process
// box where a reply has to fail on purpose.

#include "FakeBox.h"
#include "SimCommands.h"
#include "encoder/EncoderCommands.h"
#include "encoder/RegisterModel.h"
#include "link/PowerCycle.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Box command of a register write: value, then address, both decimal.
std::string Ws(unsigned value, unsigned address)
{
    return "Ws" + PadNumber(value, 3) + ":" + PadNumber(address, 3);
}

TEST(RegisterNotation, ParsesCaptionsAndFormatsBack)
{
    EXPECT_EQ(ParseRegisterRef("223.3c.u32"), (RegisterRef{223, 0x3C, RegisterType::U32}));
    EXPECT_EQ(FormatRegisterRef({223, 0x3C, RegisterType::U32}), "223.3C.u32");
    // Not the notation, or a register outside its bank's 64.
    for (const char* bad : {"0.2E", "0.2E.u16", "0.2.u8", "0x2E.u8", "256.00.u8", "0.3E.u32", "0.00.u32Offset"})
        EXPECT_FALSE(ParseRegisterRef(bad)) << bad;

    // Every caption of the configuration pages, and its register read back from it.
    const std::vector<std::pair<ConfigField, const char*>> captions = {
        {ConfigFields::PositionOffset, "0.00.u32 Position Offset"},
        {ConfigFields::PosFilterValue, "0.04.u32 Pos Filter Value"},
        {ConfigFields::PosFilterSpeed, "0.08.u32 Pos Filter Speed"},
        {ConfigFields::VelocityFilterValue, "0.0C.u32 Velocity Filter Value"},
        {ConfigFields::VelocityFilterSpeed, "0.10.u32 Velocity Filter Speed"},
        {ConfigFields::MultiturnErrorArc, "0.18.u8 Multiturn Error Arc"},
        {ConfigFields::WriteProtect, "0.2E.u8 Write protect"},
    };
    for (const auto& [field, caption] : captions) {
        EXPECT_EQ(ConfigFieldCaption(field), caption);
        EXPECT_EQ(ParseRegisterRef(caption), field.ref) << caption;
    }
}

TEST(RegisterValues, NumbersTheFieldsAccept)
{
    // A u32 shown unsigned can be written back; the signed range stays.
    EXPECT_EQ(ParseConfigNumber("4294967295"), 4294967295LL);
    EXPECT_EQ(ParseConfigNumber("0xFFFFFFFF"), 4294967295LL);
    EXPECT_EQ(ParseConfigNumber("-2147483648"), -2147483648LL);
    EXPECT_EQ(ParseConfigNumber("  -0x10 "), -16);
    EXPECT_EQ(ParseConfigNumber("$1F"), 31);
    for (const char* bad : {"4294967296", "-2147483649", "0x100000000", "", " ", "1,5", "0X10"})
        EXPECT_FALSE(ParseConfigNumber(bad)) << bad;
    EXPECT_EQ(ConversionErrorText("1,5"), "'1,5' is not a valid integer value");
}

TEST(WriteProtect, MarkerTextsAndTheWarningGate)
{
    EXPECT_EQ(WriteProtectText(0xC6), "0xC6");
    EXPECT_EQ(WriteProtectText(0x05), "0x5");
    EXPECT_STREQ(WriteProtectCaption("0xc6"), "Read Only");
    EXPECT_FALSE(WouldLockEncoder(""));
    EXPECT_TRUE(WouldLockEncoder("0xc6"));

    TEncoderSignature old, current;
    old.Zolvan_FWverSVN = 1522;
    current.Zolvan_FWverSVN = 1523;
    for (const char* text : {"0x5", "", "0xC6"})
        EXPECT_FALSE(WarnIfWriteProtected(old, EncoderFamily::Torvik, false, text)) << text;
    EXPECT_TRUE(WarnIfWriteProtected(current, EncoderFamily::Torvik, false, "0x5"));
    EXPECT_TRUE(WarnIfWriteProtected(current, EncoderFamily::Torvik, true, "0xc6"));
    EXPECT_FALSE(WarnIfWriteProtected(current, EncoderFamily::Torvik, true, "0xC6"));
    // Only Torvik encoders have the field filled: others are warned while it is empty, unless restricted.
    EXPECT_TRUE(WarnIfWriteProtected(current, EncoderFamily::Quenra, false, ""));
    EXPECT_FALSE(WarnIfWriteProtected(current, EncoderFamily::Quenra, true, ""));
}

TEST(Checksums, BankZeroAndErrorMapPages)
{
    TBiSS_bank bank;
    bank.fill(1);
    bank[0x3F] = 63;
    EXPECT_TRUE(ConfigBankChecksum(bank).Ok());
    bank[0x3F] = 64;
    EXPECT_FALSE(ConfigBankChecksum(bank).Ok());
    EXPECT_EQ(ConfigBankChecksum(bank).Text(), "63 / 64");

    // All 64 registers count, modulo 256.
    bank.fill(4);
    EXPECT_TRUE(ErrorMapPageChecksum(bank, 0).Ok());
    bank[63] = 5;
    EXPECT_FALSE(ErrorMapPageChecksum(bank, 0).Ok());
    EXPECT_EQ(ErrorMapChecksumRegister(15), 0x3E);
}

// --- Against the simulated encoder ------------------------------------------

SimOptions Still()
{
    SimOptions options;
    options.speed = 0;
    return options;
}

// The encoder supply through the box, as the window's power control sends it.
class BoxPower final : public PowerSwitch {
public:
    BoxPower(Link& link, std::vector<std::string>& events) : link_(link), events_(events) {}
    bool IsOn() const override { return on_; }
    void Select(bool on) override
    {
        std::string reply;
        link_.Transact(on ? "N" : "F", reply);
        on_ = on;
        events_.push_back(on ? "on" : "off");
    }

private:
    Link& link_;
    std::vector<std::string>& events_;
    bool on_ = true;
};

class EncoderCommandsTest : public ::testing::Test {
protected:
    void StartSim(SimOptions options = Still())
    {
        sim = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        link.ComHandle = PosixSerialPort::Open(sim->PortPath(), &error);
        ASSERT_TRUE(link.ComHandle) << error;
    }
    std::vector<std::string> TakeLog() { return TakeCommands(*sim); }
    // A pause that only notes its length and how many commands went before it.
    Pause Counting(const char* kind)
    {
        return [this, kind](int ms) { events.push_back(std::string(kind) + " " + std::to_string(ms) + " after " +
                                                      std::to_string(sim->CommandLog().size())); };
    }
    void PowerCycle()
    {
        std::vector<std::string> ignored;
        BoxPower power(link, ignored);
        PowerCycleEncoder(power, [](int) {});
    }

    std::unique_ptr<Simulator> sim;
    Link link;
    std::vector<std::string> events;
};

TEST_F(EncoderCommandsTest, WriteConfigValueSendsTheLowBytesBigEndian)
{
    StartSim();
    ASSERT_TRUE(SelectBank(link, ConfigBank));
    TakeLog();

    ConfigWriteOutcome out = WriteConfigValue(link, "0x12345678", 0x00, 4);
    EXPECT_EQ(out.result, ValueWrite::Written);
    EXPECT_EQ(out.statusText, "Comm OK\r\n");
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{Ws(0x12, 0), Ws(0x34, 1), Ws(0x56, 2), Ws(0x78, 3)}));

    EXPECT_TRUE(WriteConfigValue(link, "300", 0x18, 1).ok());
    EXPECT_EQ(TakeLog(), std::vector<std::string>{Ws(0x2C, 0x18)});
    EXPECT_TRUE(WriteConfigValue(link, "-1", 0x0C, 4).ok());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{Ws(255, 0x0C), Ws(255, 0x0D), Ws(255, 0x0E), Ws(255, 0x0F)}));

    // A u32 holding 2^32 - 1 reads as 4294967295 and that text writes it back.
    ASSERT_TRUE(link.ReadRegisters(0x0C, 4));
    const std::string shown = link.RxBankValueText(0, 4);
    ASSERT_TRUE(WriteConfigValue(link, "0", 0x0C, 4).ok());
    EXPECT_EQ(WriteConfigValue(link, shown, 0x0C, 4).result, ValueWrite::Written) << shown;
    EXPECT_EQ(sim->BankImage(0)[0x0F], 0xFF);
    TakeLog();

    // Nothing to write, a width it cannot have, a text that is not a number: no traffic.
    EXPECT_EQ(WriteConfigValue(link, "", 0x00, 4).result, ValueWrite::Empty);
    EXPECT_EQ(WriteConfigValue(link, "1", 0x00, 5).result, ValueWrite::BadWidth);
    out = WriteConfigValue(link, "12 mm", 0x00, 4);
    EXPECT_EQ(out.result, ValueWrite::NotANumber);
    EXPECT_EQ(out.conversionError, "'12 mm' is not a valid integer value");
    EXPECT_EQ(WriteConfigValue(link, "4294967296", 0x00, 4).result, ValueWrite::NotANumber);
    EXPECT_TRUE(TakeLog().empty());

    // 0x2B takes its byte, the persistent status at 0x2C refuses the next: the first keeps its value.
    out = WriteConfigValue(link, "0x1234", 0x2B, 2);
    EXPECT_EQ(out.result, ValueWrite::Failed);
    EXPECT_EQ(out.statusText.rfind("Error\r\nNon-writable address\r\nCMD: " + Ws(0x34, 0x2C), 0), 0u) << out.statusText;
    EXPECT_EQ(TakeLog().size(), 2u);
    EXPECT_EQ(sim->BankImage(0)[0x2B], 0x12);
}

// Each command of the table reaches the box as its keys and then its code.
TEST(EncoderCommandTable, EveryCommandIsItsKeysThenItsCode)
{
    Link link;
    FakeBox& box = AttachFakeBox(link);
    const std::vector<std::pair<uint8_t, std::vector<std::string>>> table = {
        {0x63, {Ws(0xB3, 0x48), Ws(0x63, 0x49)}}, {0x6D, {Ws(0xB3, 0x48), Ws(0x6D, 0x49)}},
        {0x72, {Ws(0xB3, 0x48), Ws(0x72, 0x49)}}, {0x62, {Ws(0xB3, 0x48), Ws(0x62, 0x49)}},
        {0x75, {Ws(0xB3, 0x48), Ws(0x75, 0x49)}}, {0x41, {Ws(0xB3, 0x48), Ws(0x41, 0x49)}},
        {0x47, {Ws(0xB3, 0x48), Ws(0x9E, 0x48), Ws(0x47, 0x49)}},
    };
    ASSERT_EQ(kEncoderCommands.size(), table.size());
    for (const auto& [code, traffic] : table) {
        EncoderOutcome out = IssueEncoderCommand(link, code);
        EXPECT_TRUE(out.ok);
        EXPECT_EQ(out.statusText, "Comm OK\r\n");
        EXPECT_EQ(box.TakeLog(), traffic) << int(code);
    }

    // A failed key write sends no command.
    box.override = [](const std::string& c) -> std::optional<std::string> {
        if (c == Ws(0xB3, 0x48))
            return "1\r";
        return std::nullopt;
    };
    EncoderOutcome out = IssueEncoderCommand(link, CmdSaveToFlash);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.statusText, "Error\r\nNon-writable address\r\nCMD: " + Ws(0xB3, 0x48) + " RCV: 1");
    EXPECT_EQ(box.TakeLog(), std::vector<std::string>{Ws(0xB3, 0x48)});
    EXPECT_FALSE(UnlockDebugBanks(link).ok);
    EXPECT_EQ(box.TakeLog().size(), 1u);
    // The calibration start fails on its key as well...
    EXPECT_FALSE(StartCalibrationCommand(link).ok);
    EXPECT_EQ(box.TakeLog().size(), 1u);

    // ...but not on its command, whose reply the calibrating encoder may not give.
    link.ComHandle->SetReplyTimeoutMs(50);
    box.override = [](const std::string& c) -> std::optional<std::string> {
        if (c == Ws(0x41, 0x49))
            return "";
        return std::nullopt;
    };
    out = StartCalibrationCommand(link);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.statusText, "Comm OK");
    EXPECT_EQ(box.TakeLog(), (std::vector<std::string>{Ws(0xB3, 0x48), Ws(0x41, 0x49)}));
}

TEST(EncoderCommandTable, PacedSaveCollectsItsFailuresAndStillSendsTheCommand)
{
    Link link;
    FakeBox& box = AttachFakeBox(link);
    box.override = [](const std::string& c) -> std::optional<std::string> {
        if (c.rfind("Ws", 0) == 0)
            return "3\r";
        return std::nullopt;
    };
    SaveOutcome out = PacedSave(link, CmdSaveToFlash, kUserMemorySavePacing, [](int) {});
    EXPECT_FALSE(out.ok());
    EXPECT_EQ(out.errorText,
              "Save to flash: Error writing to KEY register\r\nSave to flash: Error writing to CMD register\r\n");
    EXPECT_EQ(box.TakeLog(), (std::vector<std::string>{Ws(0xB3, 0x48), Ws(0x63, 0x49)}));
}

TEST_F(EncoderCommandsTest, PacedSavePausesAroundKeyAndCommandAndStores)
{
    StartSim();
    ASSERT_TRUE(SelectBank(link, 8) && link.WriteRegister(5, 0x77));
    TakeLog();
    SaveOutcome out = PacedSave(link, CmdSaveToFlash, kErrorMapSavePacing, Counting("block"));
    EXPECT_TRUE(out.ok());
    EXPECT_EQ(out.errorText, "");
    EXPECT_EQ(events, (std::vector<std::string>{"block 500 after 0", "block 500 after 1", "block 500 after 2"}));
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{Ws(0xB3, 0x48), Ws(0x63, 0x49)}));
    EXPECT_EQ(sim->StoredBankImage(8)[5], 0x77);

    // The user-memory load pauses only after its command.
    events.clear();
    const uint8_t user = static_cast<uint8_t>(sim->EncoderInfo().userBankFirst + 1);
    ASSERT_TRUE(SelectBank(link, user) && link.WriteRegister(0, 0x42));
    TakeLog();
    EXPECT_TRUE(PacedSave(link, CmdSaveUserMemory, kUserMemorySavePacing, Counting("block")).ok());
    EXPECT_EQ(events, std::vector<std::string>{"block 500 after 2"});
    PowerCycle();
    EXPECT_EQ(sim->BankImage(user)[0], 0x42);
}

TEST_F(EncoderCommandsTest, PacedSaveWaitsOutAnEncoderBusyStoring)
{
    SimOptions options = Still();
    options.faults.saveBusyMs = 300;
    StartSim(options);
    ASSERT_TRUE(SelectBank(link, ConfigBank));
    // Without a pause the encoder does not answer right after storing.
    ASSERT_TRUE(IssueEncoderCommand(link, CmdSaveToFlash).ok);
    EXPECT_FALSE(link.ReadRegisters(0, 1));
    EXPECT_EQ(link.LastErrorText.rfind("BiSS Timeout", 0), 0u) << link.LastErrorText;

    ASSERT_TRUE(PacedSave(link, CmdSaveToFlash, kErrorMapSavePacing, SleepMs).ok());
    EXPECT_TRUE(link.ReadRegisters(0, 1)) << link.LastErrorText;
}

TEST_F(EncoderCommandsTest, MultiturnPresetAndFactoryReset)
{
    StartSim();
    const SimEncoderInfo info = sim->EncoderInfo();

    ConfigWriteOutcome preset = PresetMultiturn(link, "7", ConfigRegister::TorvikNewMultiturn);
    EXPECT_TRUE(preset.ok());
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{Ws(0, 0x40), Ws(0, 0x14), Ws(0, 0x15), Ws(0, 0x16), Ws(7, 0x17),
                                                   Ws(0xB3, 0x48), Ws(0x6D, 0x49)}));
    EXPECT_EQ(sim->ReportedPosition().multiturn, 7);
    // The counter is signed: an empty text or one beyond 2^31 - 1 ends after the bank selection.
    for (const char* bad : {"", "2147483648"}) {
        preset = PresetMultiturn(link, bad, ConfigRegister::TorvikNewMultiturn);
        EXPECT_EQ(preset.result, ValueWrite::NotANumber);
        EXPECT_EQ(TakeLog(), std::vector<std::string>{Ws(0, 0x40)});
    }
    ASSERT_TRUE(PresetMultiturn(link, "-3", ConfigRegister::TorvikNewMultiturn).ok());
    EXPECT_EQ(sim->ReportedPosition().multiturn, (int64_t{1} << info.mtLength) - 3);

    // Factory reset: the configuration goes back, the encoder is switched off and on.
    const uint8_t factory = sim->StoredBankImage(0)[0x0B];
    ASSERT_TRUE(WriteConfigValue(link, "99", 0x08, 4).ok());
    ASSERT_TRUE(IssueEncoderCommand(link, CmdSaveToFlash).ok);
    ASSERT_NE(sim->StoredBankImage(0)[0x0B], factory);
    BoxPower power(link, events);
    TakeLog();
    EncoderOutcome reset = FactoryResetCommand(link, power, Counting("serving"), Counting("block"));
    EXPECT_TRUE(reset.ok);
    EXPECT_EQ(events, (std::vector<std::string>{"serving 500 after 2", "off", "block 1200 after 3", "on",
                                                "block 200 after 4"}));
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{Ws(0xB3, 0x48), Ws(0x72, 0x49), "F", "N"}));
    EXPECT_EQ(sim->StoredBankImage(0)[0x0B], factory);
    EXPECT_TRUE(sim->EncoderPowered());
}

TEST_F(EncoderCommandsTest, FailedFactoryResetCommandSwitchesNothing)
{
    SimOptions options = Still();
    options.faults.encoderUnpowered = true;
    StartSim(options);
    BoxPower power(link, events);
    EncoderOutcome reset = FactoryResetCommand(link, power, Counting("serving"), Counting("block"));
    EXPECT_FALSE(reset.ok);
    EXPECT_EQ(reset.statusText.rfind("Error\r\nBiSS Timeout", 0), 0u) << reset.statusText;
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(TakeLog(), std::vector<std::string>{Ws(0xB3, 0x48)});
}

TEST_F(EncoderCommandsTest, DebugBanksAreRefusedUntilTheUnlock)
{
    StartSim();
    for (uint8_t bank : {DebugBank, HardFaultBank0, HardFaultBank1})
        EXPECT_EQ(SelectCheckedBank(link, bank), BankSelection::Refused) << int(bank);
    EXPECT_EQ(SelectCheckedBank(link, 20), BankSelection::Selected);
    TakeLog();

    EncoderOutcome out = UnlockDebugBanks(link);
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.statusText, "Comm OK\r\n");
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{Ws(0xB3, 0x48), Ws(0x9E, 0x48), Ws(0x47, 0x49), Ws(0xDF, 0x40)}));
    EXPECT_TRUE(sim->DebugUnlocked());
    EXPECT_EQ(sim->SelectedBank(), DebugBank);
    EXPECT_EQ(SelectCheckedBank(link, HardFaultBank1), BankSelection::Selected);

    // The unlock is lost with the supply; a failed selection is no refusal.
    PowerCycle();
    EXPECT_EQ(SelectCheckedBank(link, DebugBank), BankSelection::Refused);
    SimFaults faults;
    faults.noReply = true;
    sim->SetFaults(faults);
    link.ComHandle->SetReplyTimeoutMs(50);
    EXPECT_EQ(SelectCheckedBank(link, DebugBank), BankSelection::Failed);
}

} // namespace
