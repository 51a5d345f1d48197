#pragma once
// The configuration bank of the maker's encoders as the configuration pages
// edit it: reading bank 0 into the pages' field texts, writing those texts
// back and storing them, and the arithmetic and texts of the zero preset.
// Every function talks to the encoder through the link and returns what
// happened; the session and the pages decide what to show.

#include "encoder/EncoderCommands.h"
#include "encoder/RegisterModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The page an action serves. "Torvik Config" (which also serves the linear
// family) and "Quenra Config" share their actions; the page decides which
// fields are read and written. Other pages (Calibration, User mem) run the
// configuration read for the fields and the write-protect text every page needs.
enum class ConfigPage { Torvik, Quenra, Other };

// The write-protect fields of the two configuration pages. Other pages'
// actions warn from the Torvik field's text; the configuration write asks
// before either text would lock the encoder. The configuration read fills
// both (Torvik encoders only); the user may edit them after the service gesture.
struct ConfigurationState {
    std::string writeProtect;       // edTC0_2E
    std::string quenraWriteProtect; // edQC0_2E
};

// What a configuration read found. The read empties the value fields first
// and fills what it reaches, so a field without a value here shows empty.
struct ConfigurationReading {
    ConfigPage page = ConfigPage::Other;
    bool ok = false;
    std::string statusText; // "Comm OK\r\n..." or "Error\r\n..."

    std::optional<std::string> offset; // unsigned decimal: edQC0_00 on the Quenra page, else edTC0_00
    // The Torvik page only.
    std::optional<std::string> posFilterValue;
    std::optional<std::string> posFilterSpeed;
    std::optional<std::string> velocityFilterValue;
    std::optional<std::string> velocityFilterSpeed;
    // Torvik encoders, by firmware.
    std::optional<std::string> errorArc;        // edTC0_18
    std::optional<std::string> errorArcDegrees; // lblTC0_18, "±45.0 deg" (UTF-8)
    // The calibration fields: decided when the read got that far, enabled
    // with the value read or disabled (and empty).
    std::optional<bool> calibrationArcEnabled;
    std::string calibrationArc;
    std::optional<bool> calibrationTimeoutEnabled;
    std::string calibrationTimeout;
    std::optional<std::string> writeProtect; // "0xC6": edTC0_2E and its copy edQC0_2E
    // The bank checksum: started ("Reading Bank 0..."), then its result.
    bool checksumStarted = false;
    std::optional<ChecksumCheck> checksum;
};

// Reads bank 0 for the page: the position offset, the Torvik page's
// filters, and by family and firmware the multiturn error arc, the
// calibration arc and time-out and the write-protect register; then the
// whole bank for its checksum. Stops at the first failed transaction.
ConfigurationReading ReadConfiguration(Link& link, EncoderFamily family, const TEncoderSignature& signature,
                                       ConfigPage page);

// "Checksum: computed / stored".
std::string ConfigChecksumText(const ChecksumCheck& check);
constexpr const char* kReadingBankZeroText = "Reading Bank 0...";

// The fields a configuration write takes, as the page holds them.
struct ConfigurationTexts {
    std::string offset;              // edTC0_00 or edQC0_00
    std::string posFilterValue;      // the Torvik page's fields
    std::string posFilterSpeed;
    std::string velocityFilterValue;
    std::string velocityFilterSpeed;
    std::string errorArc;
    std::string writeProtect;        // edTC0_2E or edQC0_2E
};

// A field a configuration write sends: its text, register and width.
struct ConfigWriteField {
    std::string ConfigurationTexts::*text;
    uint8_t address;
    uint8_t width;
};
// The fields the page's configuration write sends for this firmware, in the
// order it sends them: the Quenra page the offset and the write-protect
// register; the Torvik page the offset, the filters and, by firmware, the
// error arc and the write-protect register.
std::vector<ConfigWriteField> ConfigWriteFields(ConfigPage page, const TEncoderSignature& signature);
// Whether the page's configuration write sends the register at address.
bool ConfigPageWrites(ConfigPage page, const TEncoderSignature& signature, uint8_t address);

// Selects bank 0, writes the page's fields (empty ones skipped; on the
// Torvik page the error arc and the write-protect register by firmware) in
// ascending register order and stores them with CmdSaveToFlash. Stops at
// the first failure (NotANumber: the conversion error ends the action
// without a status line; no save is issued).
ConfigWriteOutcome WriteConfiguration(Link& link, const TEncoderSignature& signature, ConfigPage page,
                                      const ConfigurationTexts& texts);

// Texts of the configuration actions.
constexpr const char* kLockQuestion = "Encoder Write Protect register contents is not 0xC6.\r\n"
                                      "This operation will irreversibly lock the encoder!\r\nAre you sure?";
constexpr const char* kZeroOutOfRangeText = "Zero position is out of range";
constexpr const char* kFactoryResetQuestion = "Reset the complete encoder to factory settings?\r\n"
                                              "Filters, zero position, error map, auto-calibration will be reset!\r\n"
                                              "Are you sure?";
constexpr const char* kFactoryResetDoneText = "Reset to factory settings is complete.";
constexpr const char* kZeroUnableText = "Unable to set zero position. Errors encountered: ";
constexpr const char* kZeroWriteErrorText = "Error writing new zero position. Errors encountered: ";

// The value of a field for the range check and the zero preset: a text that
// is not a number counts as 0.
long long FieldValue(std::string_view text);
// The largest position offset for a singleturn field of stLength bits,
// 2^stLength - 1, in 64 bits: 31- and 32-bit fields have their full range.
uint64_t ZeroRangeLimit(uint8_t stLength);
bool ZeroInRange(std::string_view offsetText, uint8_t stLength);
// The offset that puts zero at the current singleturn reading:
// (offset + singleturn) modulo 2^stLength, in 0 .. 2^stLength - 1.
int64_t NewZeroOffset(long long offset, uint32_t singleturn, uint8_t stLength);
// Why a zero preset cannot go on: "Timeout, ", "Error bit, ", "CRC, ",
// "Comm, ", "EDS common checksum, ", "EDS Profile checksum, " as they apply,
// in this order; empty when nothing stands in the way.
std::string ZeroPresetErrors(const TEncoderPosition& position, bool edsCommonChecksumOk, bool edsProfileChecksumOk);
