// Register memory: the fixed area and the banks, their protection and
// checksums, reads and writes, and the supply that loads the working memory
// from the non-volatile one.
#include "sim/SimEncoder.h"
#include "sim/SimEncoderDetail.h"

#include <chrono>

using namespace sim;
using namespace sim::detail;

uint8_t sim::ByteSum(const uint8_t* bytes, size_t first, size_t last)
{
    unsigned sum = 0;
    for (size_t i = first; i <= last; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

bool SimEncoder::ErrorMapBank(uint8_t bank) const
{
    return info_.maker && bank >= info_.errorMapFirstBank && bank < 16;
}

bool SimEncoder::UserBank(uint8_t bank) const
{
    return bank >= info_.userBankFirst && bank <= info_.userBankLast;
}

bool SimEncoder::ProtectedBank(uint8_t bank) const
{
    return info_.maker && bank >= kDebugBank && bank <= kHardFaultBank1;
}

bool SimEncoder::WriteProtected() const
{
    return info_.maker && ram_.banks[kConfigBank][0x2E] != kWriteAllowedMarker;
}

void SimEncoder::RefreshChecksums(Memory& memory) const
{
    if (!info_.maker)
        return;
    Bank& config = memory.banks[kConfigBank];
    PutBE(&config[0x2C], memory.persistentStatus, 2);
    for (uint8_t b = info_.errorMapFirstBank; b < 16; ++b) {
        const uint8_t at = static_cast<uint8_t>(0x2F + b);
        // The firmware version may sit on the first checksum bytes; it wins.
        if (at >= info_.fwAddress && at < info_.fwAddress + 8)
            continue;
        config[at] = ByteSum(memory.banks[b].data(), 0, 63);
    }
    config[0x3F] = ByteSum(config.data(), 0, 0x3E);
}

void SimEncoder::SetPower(bool on, Clock::time_point now)
{
    powerWanted_ = on;
    UpdateSupply(now);
}

void SimEncoder::UpdateSupply(Clock::time_point now)
{
    Advance(now);
    bool supplied = powerWanted_ && !faults_.encoderUnpowered;
    // A unit that has used up its switch-ons does not come on again.
    if (supplied && !powered_ && faults_.powerOnsLeft == 0)
        supplied = false;
    if (supplied == powered_)
        return;
    powered_ = supplied;
    if (supplied) {
        if (faults_.powerOnsLeft > 0)
            --faults_.powerOnsLeft;
        ram_ = nv_;
        selected_ = 0;
        unlocked_ = false;
        key_ = previousKey_ = 0;
        poweredAt_ = now;
        ++sensorResets_;
    } else {
        busy_ = Busy::No; // a calibration in progress is lost
    }
}

double SimEncoder::SecondsOn(Clock::time_point now) const
{
    return std::chrono::duration<double>(now - poweredAt_).count();
}

bool SimEncoder::AnswersRegisters(Clock::time_point now)
{
    Advance(now);
    return powered_ && busy_ == Busy::No;
}

bool SimEncoder::AnswersPosition(Clock::time_point now)
{
    Advance(now);
    return powered_;
}

uint8_t SimEncoder::ReadFixed(uint8_t address, Clock::time_point now)
{
    switch (address) {
    case 0x40: return selected_;
    case 0x41: return info_.edsBank;
    case 0x42: return 0x62;
    case 0x43: return static_cast<uint8_t>(info_.mtLength + info_.stLength + 2);
    case 0x44: case 0x45: case 0x46: case 0x47:
        return static_cast<uint8_t>(serial_ >> (8 * (0x47 - address)));
    case 0x7E: return info_.maker ? static_cast<uint8_t>(kMakerId & 0xFF) : 0x69;
    case 0x7F: return info_.maker ? static_cast<uint8_t>(kMakerId >> 8) : 0x43;
    default: break;
    }
    if (address >= 0x78 && address <= 0x7D)
        return deviceId_[address - 0x78];
    if (!info_.maker)
        return 0;
    if (address >= 0x4A && address <= 0x5B) {
        FillStatusBlock(now);
        return statusBlock_[address - 0x4A];
    }
    if (address >= 0x5C && address <= 0x63)
        return address - 0x5C < static_cast<int>(serialText_.size()) ? static_cast<uint8_t>(serialText_[address - 0x5C])
                                                                       : 0;
    if (address >= 0x64 && address <= 0x77)
        return address - 0x64 < static_cast<int>(partNumber_.size())
                   ? static_cast<uint8_t>(partNumber_[address - 0x64])
                   : 0;
    return 0; // KEY and CMD read as 0
}

uint8_t SimEncoder::ReadBank(uint8_t bank, uint8_t address, Clock::time_point now)
{
    if (bank == kDebugBank && info_.maker) {
        if (now != debugFilledAt_) { // one snapshot per read
            FillDebugBank(now);
            debugFilledAt_ = now;
        }
        return ram_.banks[bank][address];
    }
    if (bank == kConfigBank && info_.maker) {
        if (address == 0x2C || address == 0x2D)
            StatusWord(now); // latch what is raised now
        Bank config = ram_.banks[kConfigBank];
        if (faults_.badErrorMapChecksum) {
            const uint8_t at = static_cast<uint8_t>(0x2F + 15);
            config[at] ^= 0x01;
            config[0x3F] = ByteSum(config.data(), 0, 0x3E);
        }
        if (faults_.badConfigChecksum)
            config[0x3F] ^= 0x01;
        return config[address];
    }
    uint8_t value = ram_.banks[bank][address];
    if (address == 63 && ((bank == info_.edsBank && faults_.badEdsChecksum) ||
                          (bank == info_.profileBank && faults_.badProfileChecksum)))
        value ^= 0x01;
    return value;
}

uint8_t SimEncoder::Read(uint8_t address, Clock::time_point now)
{
    Advance(now);
    if (address >= 0x40)
        return ReadFixed(address, now);
    return ReadBank(selected_, address, now);
}

bool SimEncoder::Writable(uint8_t address) const
{
    if (address >= 0x80)
        return false;
    // A refused fixed register (KEY, CMD) is refused whatever bank is selected.
    if (faults_.refuseBank >= 0 && address >= 0x40 && faults_.refuseAddress == address)
        return false;
    if (address == kRegBankSelect)
        return true;
    if (address == kRegKey || address == kRegCmd)
        return info_.maker;
    if (address > 0x40)
        return false;
    const uint8_t bank = selected_;
    if (faults_.refuseBank == bank && (faults_.refuseAddress < 0 || faults_.refuseAddress == address))
        return false;
    if (UserBank(bank))
        return !WriteProtected();
    if (!info_.maker)
        return false;
    if (bank == kConfigBank)
        return !WriteProtected() && address <= 0x2E && address != 0x2C && address != 0x2D;
    if (ErrorMapBank(bank))
        return !WriteProtected();
    return false;
}

void SimEncoder::Write(uint8_t address, uint8_t value, Clock::time_point now)
{
    Advance(now);
    if (address == kRegKey) {
        previousKey_ = key_;
        key_ = value;
        return;
    }
    if (address == kRegCmd) {
        Execute(value, now);
        key_ = previousKey_ = 0;
        return;
    }
    key_ = previousKey_ = 0; // a key counts only right before its command
    if (address == kRegBankSelect) {
        // Diagnostic banks are refused until unlocked: the selection falls back to bank 0.
        selected_ = ProtectedBank(value) && !unlocked_ ? 0 : value;
        return;
    }
    const uint8_t bank = selected_;
    ram_.banks[bank][address] = value;
    if (!info_.maker && UserBank(bank))
        nv_.banks[bank][address] = value; // plain EEPROM: written through
    if (info_.maker && bank == kConfigBank && address == 0x2E && value != kWriteAllowedMarker) {
        // Locking is irreversible: the lock is stored at once, saved or not.
        nv_.banks[kConfigBank][0x2E] = value;
        RefreshChecksums(nv_);
    }
    if (bank == kConfigBank || ErrorMapBank(bank))
        RefreshChecksums(ram_);
}

SimEncoder::Bank SimEncoder::BankImage(uint8_t bank, Clock::time_point now)
{
    Advance(now);
    Bank image{};
    for (uint8_t a = 0; a < 64; ++a)
        image[a] = ReadBank(bank, a, now);
    return image;
}

SimEncoder::Bank SimEncoder::FixedArea(Clock::time_point now)
{
    Advance(now);
    Bank image{};
    for (uint8_t a = 0; a < 64; ++a)
        image[a] = ReadFixed(static_cast<uint8_t>(0x40 + a), now);
    return image;
}
