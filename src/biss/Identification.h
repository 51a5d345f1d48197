#pragma once
// Identification of the attached encoder: the texts of the fixed register area
// 0x40-0x7F, the manufacturer test, the part-number tables, the family, the
// firmware checks and the capabilities the front ends show. The session runs
// it on the user's "Read" and for every newly attached encoder.

#include "biss/EncoderIdentity.h"
#include "link/Link.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr uint16_t kMakerManufacturerId = 0x4B58;
constexpr uint8_t kProfileBp3 = 0x62;

// Texts of the Direct registers page for the image of registers 0x40-0x7F
// (byte i holds register 0x40 + i). Hexadecimal digits are upper case.
struct DirectRegisterTexts {
    std::string bankSelect;       // pnl0x40
    std::string edsBank;          // pnl0x41
    std::string profileId;        // pnl0x42
    std::string profileCaption;   // lbl0x42: "Profile BP3" or "Unknown Profile"
    std::string scdLength;        // pnl0x43
    std::string scdLengthCaption; // lbl0x43
    std::string serialNumber;     // pnl0x44
    // Registers 0x4A-0x5B: address, value in hex, value in decimal.
    std::array<std::array<std::string, 3>, 18> grid;
    std::string deviceId;         // pnl0x78, also the device field of CSV headers
    // pnl0x7E, also the manufacturer field of CSV headers: "0x4B58 = "XK"".
    // The two register bytes are shown as characters of ISO 8859-1, encoded in UTF-8.
    std::string manufacturer;
    bool makersEncoder = false;   // the manufacturer ID is the maker's
};
DirectRegisterTexts FormatDirectRegisters(const TBiSS_bank& fixedArea);
// The manufacturer ID as the page shows it: "0x4B58 = "XK"" for the bytes of
// registers 0x7E and 0x7F (the ID's high and low byte).
std::string ManufacturerText(uint8_t register7E, uint8_t register7F);
// Caption of lblManufIDTxt.
inline const char* ManufacturerCaption(bool makers) { return makers ? "Zolvan" : "unknown"; }

// Physical constants decoded from the part number.
struct PartNumberConstants {
    int codeLength = 8;       // EncDolzinaKode
    float ringDiameter = 0;   // PremerKodeRinga, mm; 0 when unknown
    float airGapK = 0;
    float airGapN = 0;
    bool clock64MHz = false;  // "W84" or "J3" after the first character
};
PartNumberConstants DecodePartNumber(std::string_view partNumber, uint16_t svn);

// Position scaling a family sets on the position page.
struct UnitScaleSetting {
    long long nominator = 360;
    long long denominator = 1;
    std::string unit = "deg";
};

struct FamilyDecision {
    EncoderFamily family = EncoderFamily::Unidentified;
    std::optional<UnitScaleSetting> scale; // none: the controls keep their values
    std::string magnetType;                // Quenra: characters 11 and 12 of the part number
};
FamilyDecision DecideFamily(std::string_view partNumber);

// Firmware-dependent controls of the Torvik pages.
struct TorvikControlGates {
    bool writeProtect = false;       // edTC0_2E, lbl_edTC0_2E; lblTC0_2E visible
    bool multiturnErrorArc = false;  // edTC0_18, lbl_edTC0_18, lblTC0_18
    bool calibrationArc = false;     // edTC0_19, lbl_edTC0_19
    bool calibrationTimeout = false; // edTC0_21, lbl_edTC0_21
    bool persistentStatus = false;   // cbTorvikShowPersistentStatus
    bool extendedSerial = false;     // pnlEncoderExtSerial, lblEncoderExtSerial
};
TorvikControlGates TorvikControlGatesFor(const TEncoderSignature& signature);

// The message shown for a Torvik encoder whose firmware this tool cannot serve.
std::optional<std::string> FirmwareCompatibilityMessage(EncoderFamily family, const TEncoderSignature& signature);

// Caption of lblTorvikSerial and lblQuenraSerial.
std::string SerialCaption(const TEncoderSignature& signature);

// A byte typed for the KEY or command register: trimmed, "0x" anywhere makes
// the text after its first two characters hexadecimal, else decimal. None when
// it is not a number or outside 0..255.
std::optional<uint8_t> ParseRegisterByte(std::string_view text);

// Everything the identification read decided, in the order the page shows it.
struct IdentificationOutcome {
    bool ok = false;
    bool portLost = false;                      // failure at port level: discovery starts again
    std::optional<DirectRegisterTexts> registers; // registers 0x40-0x7F were read
    bool signatureRead = false;                 // the maker's identification was read
    bool profileIsBp3 = false;                  // register 0x42 names the BP3 profile
    // When signatureRead:
    FamilyDecision family;
    std::string serialCaption;
    std::optional<std::string> compatibilityMessage;
    std::optional<TorvikControlGates> gates;    // only for the Torvik family
    std::string statusText;                     // "Comm OK\r\n..." or "Error\r\n..."
};

// The identification read. Updates the link state (the previous encoder
// forgotten, then its signature and alternate firmware address) and the
// identity (family and constants; EncoderConnected cleared on failure).
IdentificationOutcome ReadIdentification(Link& link, EncoderIdentity& identity);
