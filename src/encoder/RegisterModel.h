#pragma once
// The maker's register model: the registers and banks of Torvik and Quenra
// encoders beyond the standard BiSS slave registers, the bank.address.type
// notation of the configuration captions, big-endian values, the
// write-protect marker, the checksums the encoder stores, and the number
// texts the configuration fields accept. Nothing here talks to the encoder.

#include "biss/EncoderIdentity.h"
#include "link/Link.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Fixed-area registers of the command mechanism.
constexpr uint8_t BankSelectRegister = 0x40;
constexpr uint8_t KeyRegister = 0x48;
constexpr uint8_t CmdRegister = 0x49;

// Banks.
constexpr uint8_t ConfigBank = 0;
constexpr uint8_t DebugBank = 0xDF;
constexpr uint8_t HardFaultBank0 = 0xE0;
constexpr uint8_t HardFaultBank1 = 0xE1;

// The self-calibration counter and flags: 0x50 on Quenra encoders, 0x52 on all others.
constexpr uint8_t CalStatusRegister(EncoderFamily family) { return family == EncoderFamily::Quenra ? 0x50 : 0x52; }

// Registers of the configuration bank (bank 0). Values wider than a byte are big-endian.
namespace ConfigRegister {
constexpr uint8_t PositionOffset = 0x00;        // u32, singleturn counts
constexpr uint8_t PosFilterValue = 0x04;        // u32 (Torvik)
constexpr uint8_t QuenraNewMultiturn = 0x04;    // u32, written only (Quenra)
constexpr uint8_t PosFilterSpeed = 0x08;        // u32
constexpr uint8_t VelocityFilterValue = 0x0C;   // u32
constexpr uint8_t VelocityFilterSpeed = 0x10;   // u32
constexpr uint8_t TorvikNewMultiturn = 0x14;    // u32, written only (Torvik)
constexpr uint8_t MultiturnErrorArc = 0x18;     // u8, steps of 90/64 degree
constexpr uint8_t CalibrationArc = 0x19;        // unsigned 16-bit, degrees
constexpr uint8_t Eccentricity = 0x1B;          // unsigned 16-bit, um
constexpr uint8_t EccentricityAngle = 0x1D;     // unsigned 16-bit, degrees
constexpr uint8_t ReadheadShift = 0x1F;         // signed 16-bit, um
constexpr uint8_t CalibrationTimeout = 0x21;    // u8, seconds
constexpr uint8_t PersistentStatus = 0x2C;      // unsigned 16-bit
constexpr uint8_t WriteProtect = 0x2E;          // u8, WriteAllowedMarker or locked
constexpr uint8_t BankChecksum = 0x3F;          // u8, sum of 0x00-0x3E
} // namespace ConfigRegister

// Register of bank 0 that holds the stored checksum of an error-map page
// (0x37 for bank 8 ... 0x3E for bank 15).
constexpr uint8_t ErrorMapChecksumRegister(uint8_t pageBank) { return static_cast<uint8_t>(0x2F + pageBank); }

// Register notation of the configuration captions: bank in decimal, the
// address as two upper-case hexadecimal digits and the type, "0.2E.u8".
enum class RegisterType { U8, U32 };
struct RegisterRef {
    uint8_t bank = 0;
    uint8_t address = 0;
    RegisterType type = RegisterType::U8;

    uint8_t Width() const { return type == RegisterType::U32 ? 4 : 1; }
    bool operator==(const RegisterRef&) const = default;
};
std::string FormatRegisterRef(const RegisterRef& ref);
// Reads the notation at the start of text; a caption may follow after a
// blank ("0.00.u32 Position Offset"). None when the text does not begin with
// it or the register does not lie within its bank's 64 registers.
std::optional<RegisterRef> ParseRegisterRef(std::string_view text);

// A field of the configuration pages: its register and its name.
struct ConfigField {
    RegisterRef ref;
    const char* name;
};
// Its caption: the notation, a blank and the name ("0.2E.u8 Write protect").
std::string ConfigFieldCaption(const ConfigField& field);

namespace ConfigFields {
constexpr ConfigField PositionOffset{{ConfigBank, ConfigRegister::PositionOffset, RegisterType::U32}, "Position Offset"};
constexpr ConfigField PosFilterValue{{ConfigBank, ConfigRegister::PosFilterValue, RegisterType::U32}, "Pos Filter Value"};
constexpr ConfigField PosFilterSpeed{{ConfigBank, ConfigRegister::PosFilterSpeed, RegisterType::U32}, "Pos Filter Speed"};
constexpr ConfigField VelocityFilterValue{{ConfigBank, ConfigRegister::VelocityFilterValue, RegisterType::U32},
                                          "Velocity Filter Value"};
constexpr ConfigField VelocityFilterSpeed{{ConfigBank, ConfigRegister::VelocityFilterSpeed, RegisterType::U32},
                                          "Velocity Filter Speed"};
constexpr ConfigField MultiturnErrorArc{{ConfigBank, ConfigRegister::MultiturnErrorArc, RegisterType::U8},
                                        "Multiturn Error Arc"};
constexpr ConfigField WriteProtect{{ConfigBank, ConfigRegister::WriteProtect, RegisterType::U8}, "Write protect"};
} // namespace ConfigFields

// Big-endian values: the lowest address holds the most significant byte.
// count is 1 to 4.
uint32_t BigEndianValue(const uint8_t* bytes, int count);
void PutBigEndian(uint8_t* bytes, uint32_t value, int count);

// Write protect. Register 0.2E at WriteAllowedMarker allows writes; any other
// value locks the encoder, and writing one locks it for good. The pages show
// the register as "0x" and upper-case hexadecimal without leading zeros, and
// every test against the marker compares that text with "0xC6" exactly.
constexpr uint8_t WriteAllowedMarker = 0xC6;
constexpr const char* kWriteAllowedText = "0xC6";
constexpr const char* kWriteProtectedWarning = "Encoder is write protected.";
std::string WriteProtectText(uint8_t value);
inline bool IsWriteAllowedText(std::string_view fieldText) { return fieldText == kWriteAllowedText; }
// "Write allowed" or "Read Only", the info label beside the field.
const char* WriteProtectCaption(std::string_view fieldText);
// Writing this field text to 0.2E would lock the encoder: it is neither
// empty (nothing is written) nor the marker.
inline bool WouldLockEncoder(std::string_view fieldText) { return !fieldText.empty() && !IsWriteAllowedText(fieldText); }

// Whether a protected action shows kWriteProtectedWarning before it goes on:
// the firmware knows write protection, the family fits (torvikOnly), and the
// write-protect field does not hold the marker. The warning never stops the
// action. The field is filled by the configuration read of Torvik encoders
// only, so other families with such firmware are warned while it is empty.
bool WarnIfWriteProtected(const TEncoderSignature& signature, EncoderFamily family, bool torvikOnly,
                          std::string_view writeProtectFieldText);

// An 8-bit sum the tool computes and the byte the encoder stores for it.
struct ChecksumCheck {
    uint8_t computed = 0;
    uint8_t stored = 0;
    bool Ok() const { return computed == stored; }
    // "computed / stored" in decimal.
    std::string Text() const;
};
// Bank 0: the sum of registers 0x00-0x3E against register 0x3F.
ChecksumCheck ConfigBankChecksum(const TBiSS_bank& configBank);
// An error-map page: the sum of its 64 registers against its byte in bank 0.
ChecksumCheck ErrorMapPageChecksum(const TBiSS_bank& page, uint8_t stored);

// Number texts of the configuration fields: trimmed, decimal with an
// optional sign, or hexadecimal after "0x" (or "$"). A 32-bit register may
// hold any value that 32 bits hold signed or unsigned, so the text may lie
// in -2^31 .. 2^32-1: an unsigned value shown from a u32 register can be
// written back as it stands. None for anything else.
std::optional<long long> ParseConfigNumber(std::string_view text);
// The message that ends an action at a field whose text is not a number.
std::string ConversionErrorText(std::string_view text);
