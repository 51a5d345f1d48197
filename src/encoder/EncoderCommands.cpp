#include "encoder/EncoderCommands.h"

#include "link/PowerCycle.h"

#include <limits>

const std::array<EncoderCommandEntry, 7> kEncoderCommands{{
    {"CmdSaveToFlash", CmdSaveToFlash, 1, {CommandKey, 0}},
    {"CmdNewMultiturn", CmdNewMultiturn, 1, {CommandKey, 0}},
    {"CmdFactoryReset", CmdFactoryReset, 1, {CommandKey, 0}},
    {"CmdClearPersistentStatus", CmdClearPersistentStatus, 1, {CommandKey, 0}},
    {"CmdSaveUserMemory", CmdSaveUserMemory, 1, {CommandKey, 0}},
    {"CmdStartCalibration", CmdStartCalibration, 1, {CommandKey, 0}},
    {"CmdUnlock", CmdUnlock, 2, {CommandKey, UnlockKey}},
}};

EncoderCommandEntry EncoderCommandFor(uint8_t code)
{
    for (const EncoderCommandEntry& entry : kEncoderCommands)
        if (entry.code == code)
            return entry;
    return {"", code, 1, {CommandKey, 0}};
}

EncoderOutcome OutcomeOf(const Link& link, bool ok)
{
    return {ok, (ok ? "Comm OK\r\n" : "Error\r\n") + link.LastErrorText};
}

bool SelectBank(Link& link, uint8_t bank)
{
    return link.WriteRegister(BankSelectRegister, bank);
}

bool ReadWholeBank(Link& link, uint8_t bank)
{
    return SelectBank(link, bank) && link.ReadRegisters(0, 64);
}

BankSelection SelectCheckedBank(Link& link, uint8_t bank)
{
    if (!SelectBank(link, bank) || !link.ReadRegisters(BankSelectRegister, 1))
        return BankSelection::Failed;
    return link.RxBank[0] == bank ? BankSelection::Selected : BankSelection::Refused;
}

EncoderOutcome IssueEncoderCommand(Link& link, uint8_t command)
{
    const EncoderCommandEntry entry = EncoderCommandFor(command);
    for (uint8_t i = 0; i < entry.keyCount; ++i)
        if (!link.WriteRegister(KeyRegister, entry.keys[i]))
            return OutcomeOf(link, false);
    return OutcomeOf(link, link.WriteRegister(CmdRegister, command));
}

bool WriteBigEndian(Link& link, uint8_t address, uint32_t value, int count)
{
    uint8_t bytes[4];
    PutBigEndian(bytes, value, count);
    for (int i = 0; i < count; ++i)
        if (!link.WriteRegister(static_cast<uint8_t>(address + i), bytes[i]))
            return false;
    return true;
}

namespace {
ConfigWriteOutcome Written(const Link& link, bool ok)
{
    return {ok ? ValueWrite::Written : ValueWrite::Failed, {}, OutcomeOf(link, ok).statusText};
}

ConfigWriteOutcome NotANumber(std::string_view text)
{
    return {ValueWrite::NotANumber, ConversionErrorText(text), {}};
}
} // namespace

ConfigWriteOutcome WriteConfigValue(Link& link, std::string_view text, uint8_t address, uint8_t byteCount)
{
    if (byteCount < 1 || byteCount > 4)
        return {ValueWrite::BadWidth, {}, {}};
    if (text.empty())
        return {ValueWrite::Empty, {}, OutcomeOf(link, true).statusText};
    const std::optional<long long> value = ParseConfigNumber(text);
    if (!value)
        return NotANumber(text);
    // Two's complement of the value; the bytes above byteCount are dropped.
    return Written(link, WriteBigEndian(link, address, static_cast<uint32_t>(*value), byteCount));
}

ConfigWriteOutcome PresetMultiturn(Link& link, std::string_view counterText, uint8_t baseAddress)
{
    if (!SelectBank(link, ConfigBank))
        return Written(link, false);
    const std::optional<long long> value = ParseConfigNumber(counterText);
    if (!value || *value > std::numeric_limits<int32_t>::max())
        return NotANumber(counterText);
    if (!WriteBigEndian(link, baseAddress, static_cast<uint32_t>(*value), 4))
        return Written(link, false);
    return Written(link, IssueEncoderCommand(link, CmdNewMultiturn).ok);
}

SaveOutcome PacedSave(Link& link, uint8_t command, const SavePacing& pacing, const Pause& block)
{
    auto pause = [&](int ms) {
        if (ms > 0)
            block(ms);
    };
    SaveOutcome out;
    pause(pacing.beforeKey);
    out.keyWritten = link.WriteRegister(KeyRegister, CommandKey);
    if (!out.keyWritten)
        out.errorText += std::string(kSaveKeyErrorText) + "\r\n";
    pause(pacing.betweenKeyAndCommand);
    out.commandWritten = link.WriteRegister(CmdRegister, command);
    if (!out.commandWritten)
        out.errorText += std::string(kSaveCommandErrorText) + "\r\n";
    pause(pacing.afterCommand);
    return out;
}

EncoderOutcome StartCalibrationCommand(Link& link)
{
    if (!link.WriteRegister(KeyRegister, CommandKey))
        return OutcomeOf(link, false);
    link.WriteRegister(CmdRegister, CmdStartCalibration);
    return {true, "Comm OK"};
}

EncoderOutcome FactoryResetCommand(Link& link, PowerSwitch& power, const Pause& serving, const Pause& block)
{
    EncoderOutcome out = IssueEncoderCommand(link, CmdFactoryReset);
    if (!out.ok)
        return out;
    serving(500);
    PowerCycleEncoder(power, block);
    return OutcomeOf(link, true);
}

EncoderOutcome UnlockDebugBanks(Link& link)
{
    const EncoderOutcome command = IssueEncoderCommand(link, CmdUnlock);
    if (!command.ok)
        return command;
    return OutcomeOf(link, SelectBank(link, DebugBank));
}
