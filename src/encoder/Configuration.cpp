#include "encoder/Configuration.h"

#include "biss/FirmwareGates.h"
#include "util/NumberText.h"

#include <algorithm>
#include <vector>

namespace {
// One value of bank 0 (already selected) as unsigned decimal.
bool ReadValue(Link& link, uint8_t address, uint8_t count, std::optional<std::string>& text)
{
    if (!link.ReadRegisters(address, count))
        return false;
    text = link.RxBankValueText(0, count);
    return true;
}

// A gated calibration field: read and enabled, or disabled.
bool ReadGated(Link& link, bool present, uint8_t address, uint8_t count, std::optional<bool>& enabled,
               std::string& text)
{
    if (present) {
        if (!link.ReadRegisters(address, count))
            return false;
        text = link.RxBankValueText(0, count);
    }
    enabled = present;
    return true;
}

std::string ErrorArcDegrees(uint8_t steps)
{
    return "\xC2\xB1" + FormatNumberText(steps * 90.0L / 64.0L, 6, 1) + " deg";
}
} // namespace

std::string ConfigChecksumText(const ChecksumCheck& check)
{
    return "Checksum: " + check.Text();
}

ConfigurationReading ReadConfiguration(Link& link, EncoderFamily family, const TEncoderSignature& signature,
                                       ConfigPage page)
{
    ConfigurationReading r;
    r.page = page;
    const uint16_t svn = signature.Zolvan_FWverSVN;
    const bool torvik = family == EncoderFamily::Torvik;
    auto done = [&](bool ok) {
        r.ok = ok;
        r.statusText = OutcomeOf(link, ok).statusText;
        return r;
    };

    if (!SelectBank(link, ConfigBank) || !ReadValue(link, ConfigRegister::PositionOffset, 4, r.offset))
        return done(false);
    if (page == ConfigPage::Torvik &&
        !(ReadValue(link, ConfigRegister::PosFilterValue, 4, r.posFilterValue) &&
          ReadValue(link, ConfigRegister::PosFilterSpeed, 4, r.posFilterSpeed) &&
          ReadValue(link, ConfigRegister::VelocityFilterValue, 4, r.velocityFilterValue) &&
          ReadValue(link, ConfigRegister::VelocityFilterSpeed, 4, r.velocityFilterSpeed)))
        return done(false);
    if (torvik && FirmwareGate::HasMultiturnErrorArc(svn)) {
        if (!ReadValue(link, ConfigRegister::MultiturnErrorArc, 1, r.errorArc))
            return done(false);
        r.errorArcDegrees = ErrorArcDegrees(link.RxBank[0]);
    }
    if (!ReadGated(link, FirmwareGate::HasCalibrationArc(family, svn), ConfigRegister::CalibrationArc, 2,
                   r.calibrationArcEnabled, r.calibrationArc) ||
        !ReadGated(link, FirmwareGate::HasCalibrationTimeout(family, svn), ConfigRegister::CalibrationTimeout, 1,
                   r.calibrationTimeoutEnabled, r.calibrationTimeout))
        return done(false);
    if (FirmwareGate::ReadsWriteProtect(family, svn)) {
        if (!link.ReadRegisters(ConfigRegister::WriteProtect, 1))
            return done(false);
        r.writeProtect = WriteProtectText(link.RxBank[0]);
    }

    r.checksumStarted = true;
    if (!ReadWholeBank(link, ConfigBank))
        return done(false);
    r.checksum = ConfigBankChecksum(link.RxBank);
    return done(true);
}

std::vector<ConfigWriteField> ConfigWriteFields(ConfigPage page, const TEncoderSignature& signature)
{
    const uint16_t svn = signature.Zolvan_FWverSVN;
    std::vector<ConfigWriteField> fields{{&ConfigurationTexts::offset, ConfigRegister::PositionOffset, 4}};
    if (page == ConfigPage::Quenra) {
        fields.push_back({&ConfigurationTexts::writeProtect, ConfigRegister::WriteProtect, 1});
        return fields;
    }
    fields.push_back({&ConfigurationTexts::posFilterValue, ConfigRegister::PosFilterValue, 4});
    fields.push_back({&ConfigurationTexts::posFilterSpeed, ConfigRegister::PosFilterSpeed, 4});
    fields.push_back({&ConfigurationTexts::velocityFilterValue, ConfigRegister::VelocityFilterValue, 4});
    fields.push_back({&ConfigurationTexts::velocityFilterSpeed, ConfigRegister::VelocityFilterSpeed, 4});
    if (FirmwareGate::HasMultiturnErrorArc(svn))
        fields.push_back({&ConfigurationTexts::errorArc, ConfigRegister::MultiturnErrorArc, 1});
    if (FirmwareGate::WritesWriteProtect(svn))
        fields.push_back({&ConfigurationTexts::writeProtect, ConfigRegister::WriteProtect, 1});
    return fields;
}

bool ConfigPageWrites(ConfigPage page, const TEncoderSignature& signature, uint8_t address)
{
    const std::vector<ConfigWriteField> fields = ConfigWriteFields(page, signature);
    return std::any_of(fields.begin(), fields.end(), [address](const ConfigWriteField& f) { return f.address == address; });
}

ConfigWriteOutcome WriteConfiguration(Link& link, const TEncoderSignature& signature, ConfigPage page,
                                      const ConfigurationTexts& texts)
{
    if (!SelectBank(link, ConfigBank))
        return {ValueWrite::Failed, {}, OutcomeOf(link, false).statusText};
    for (const ConfigWriteField& field : ConfigWriteFields(page, signature)) {
        ConfigWriteOutcome out = WriteConfigValue(link, texts.*field.text, field.address, field.width);
        if (!out.ok())
            return out;
    }
    const EncoderOutcome save = IssueEncoderCommand(link, CmdSaveToFlash);
    return {save.ok ? ValueWrite::Written : ValueWrite::Failed, {}, save.statusText};
}

long long FieldValue(std::string_view text)
{
    return ParseConfigNumber(text).value_or(0);
}

namespace {
// Singleturn fields are at most 32 bits long (what a frame word carries).
int64_t SingleturnPeriod(uint8_t stLength)
{
    return int64_t{1} << std::min<int>(stLength, 32);
}
} // namespace

uint64_t ZeroRangeLimit(uint8_t stLength)
{
    return static_cast<uint64_t>(SingleturnPeriod(stLength) - 1);
}

bool ZeroInRange(std::string_view offsetText, uint8_t stLength)
{
    const long long value = FieldValue(offsetText);
    return value >= 0 && static_cast<uint64_t>(value) <= ZeroRangeLimit(stLength);
}

int64_t NewZeroOffset(long long offset, uint32_t singleturn, uint8_t stLength)
{
    // Offsets and readings stay below 2^33 in size, far inside 64 bits.
    const int64_t period = SingleturnPeriod(stLength);
    int64_t value = (static_cast<int64_t>(offset) + singleturn) % period;
    if (value < 0)
        value += period;
    return value;
}

std::string ZeroPresetErrors(const TEncoderPosition& position, bool edsCommonChecksumOk, bool edsProfileChecksumOk)
{
    std::string list;
    if (position.ErrTimeout)
        list += "Timeout, ";
    if (position.ErrBit)
        list += "Error bit, ";
    if (position.ErrCRC)
        list += "CRC, ";
    if (position.ErrComm != 0)
        list += "Comm, ";
    if (!edsCommonChecksumOk)
        list += "EDS common checksum, ";
    if (!edsProfileChecksumOk)
        list += "EDS Profile checksum, ";
    return list;
}
