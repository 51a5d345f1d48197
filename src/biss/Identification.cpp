#include "biss/Identification.h"

#include "biss/FirmwareGates.h"
#include "util/Text.h"

#include <cstdio>

namespace {
std::string Hex2(unsigned value)
{
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", value & 0xFFu);
    return buf;
}

// One byte as an ISO 8859-1 character in UTF-8.
void AppendLatin1(std::string& out, uint8_t byte)
{
    if (byte < 0x80) {
        out.push_back(static_cast<char>(byte));
    } else {
        out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
        out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
}

struct PartPrefix {
    const char* prefix;
    int codeLength;
    float ringDiameter;
};
// The prefixes exclude one another, so the order does not matter.
constexpr PartPrefix kPartPrefixes[] = {
    {"TV617", 6, 18.3f},   {"TV634", 6, 23.7f},     {"TV641", 7, 33.4f},     {"TV657", 7, 42.1f},
    {"TV662", 8, 45.8f},   {"TV718", 8, 57.3f},     {"TV735", 8, 72.8f},     {"TV746", 9, 109.096f},
    {"TV782", 9, 143.398f}, {"LN7", 5, 0},
};
// Linear scales, Quenra encoders and other parts have no code ring of a
// known diameter: 0, for which the calibration report estimates no accuracy.
// (A huge stand-in diameter would turn into a made-up accuracy of 0.010 deg.)
constexpr float kUnknownRingDiameter = 0;

struct AirGapLine {
    float k;
    float n;
};
// Indexed by code length 5..9.
constexpr AirGapLine kAirGapLines[] = {
    {-119.36621f, 1236.0f}, {-95.492966f, 977.1f}, {-83.556343f, 846.1f}, {-71.619728f, 682.0f}, {-70.293434f, 735.0f},
};
// Older TV746 firmware measures the air gap against another offset.
constexpr uint16_t kTv746NewAirGapFirstSvn = 9860;
constexpr float kTv746OldAirGapN = 695.0f;

std::string_view Chars(std::string_view text, size_t firstFromOne, size_t count)
{
    if (text.size() < firstFromOne)
        return {};
    return text.substr(firstFromOne - 1, count);
}

// Decimal number of a part-number field, sign allowed; 1 when it is not one.
long long DecimalOrOne(std::string_view text)
{
    long long value = 0;
    if (text.find('$') != std::string_view::npos || !ParseInteger(text, value))
        return 1;
    return value;
}
} // namespace

DirectRegisterTexts FormatDirectRegisters(const TBiSS_bank& r)
{
    DirectRegisterTexts t;
    t.bankSelect = "0x" + Hex2(r[0x00]);
    t.edsBank = "0x" + Hex2(r[0x01]);
    t.profileId = "0x" + Hex2(r[0x02]);
    t.profileCaption = r[0x02] == kProfileBp3 ? "Profile BP3" : "Unknown Profile";
    t.scdLength = "0x" + Hex2(r[0x03]);
    t.scdLengthCaption = "SCD Length = " + std::to_string(r[0x03]);
    t.serialNumber = "0x" + Hex2(r[0x04]) + Hex2(r[0x05]) + Hex2(r[0x06]) + Hex2(r[0x07]);
    for (size_t row = 0; row < t.grid.size(); ++row) {
        const uint8_t value = r[0x0A + row];
        t.grid[row] = {"0x" + Hex2(static_cast<unsigned>(0x4A + row)), "0x" + Hex2(value), std::to_string(value)};
    }
    t.deviceId = "0x";
    for (size_t i = 0x38; i <= 0x3D; ++i)
        t.deviceId += Hex2(r[i]);
    t.manufacturer = ManufacturerText(r[0x3E], r[0x3F]);
    t.makersEncoder = StartsWith(t.manufacturer, "0x4B58");
    return t;
}

std::string ManufacturerText(uint8_t register7E, uint8_t register7F)
{
    std::string text = "0x" + Hex2(register7F) + Hex2(register7E) + " = \"";
    AppendLatin1(text, register7E);
    AppendLatin1(text, register7F);
    return text + "\"";
}

PartNumberConstants DecodePartNumber(std::string_view partNumber, uint16_t svn)
{
    PartNumberConstants c;
    c.codeLength = 8;
    c.ringDiameter = kUnknownRingDiameter;
    for (const PartPrefix& p : kPartPrefixes) {
        if (StartsWith(partNumber, p.prefix)) {
            c.codeLength = p.codeLength;
            c.ringDiameter = p.ringDiameter;
        }
    }
    const AirGapLine& line = kAirGapLines[c.codeLength - 5];
    c.airGapK = line.k;
    c.airGapN = line.n;
    if (StartsWith(partNumber, "TV746") && svn < kTv746NewAirGapFirstSvn)
        c.airGapN = kTv746OldAirGapN;
    auto markedAfterFirst = [&](std::string_view code) {
        const size_t at = partNumber.find(code);
        return at != std::string_view::npos && at > 0;
    };
    c.clock64MHz = markedAfterFirst("W84") || markedAfterFirst("J3");
    return c;
}

FamilyDecision DecideFamily(std::string_view partNumber)
{
    FamilyDecision d;
    if (StartsWith(partNumber, "TV")) {
        d.family = EncoderFamily::Torvik;
        d.scale = UnitScaleSetting{360, 1, "deg"};
    } else if (StartsWith(partNumber, "QN")) {
        d.family = EncoderFamily::Quenra;
        d.scale = UnitScaleSetting{360, 1, "deg"};
        d.magnetType = std::string(Chars(partNumber, 11, 2));
    } else if (StartsWith(partNumber, "LN")) {
        d.family = EncoderFamily::Linear;
        d.scale = UnitScaleSetting{DecimalOrOne(Chars(partNumber, 7, 3)), 10000, "mm"};
    }
    return d;
}

TorvikControlGates TorvikControlGatesFor(const TEncoderSignature& s)
{
    const uint16_t svn = s.Zolvan_FWverSVN;
    TorvikControlGates g;
    // The register exists from 1523 on but the field is only offered up to the last build that writes it.
    g.writeProtect = FirmwareGate::WritesWriteProtect(svn);
    g.multiturnErrorArc = FirmwareGate::HasMultiturnErrorArc(svn);
    g.calibrationArc = FirmwareGate::HasCalibrationArc(EncoderFamily::Torvik, svn);
    g.calibrationTimeout = FirmwareGate::HasCalibrationTimeout(EncoderFamily::Torvik, svn);
    g.persistentStatus = FirmwareGate::HasPersistentStatus(svn);
    g.extendedSerial = FirmwareGate::HasExtendedSerial(s.Zolvan_FWverMinor);
    return g;
}

std::optional<std::string> FirmwareCompatibilityMessage(EncoderFamily family, const TEncoderSignature& s)
{
    if (family != EncoderFamily::Torvik)
        return std::nullopt;
    if (s.Zolvan_FWverMajor != 2 && s.Zolvan_FWverMinor < 3 && s.Zolvan_FWverComm < 8)
        return "FW version of the encoder (" + s.Zolvan_FWverStr + ") is not compatible with this software version.";
    return std::nullopt;
}

std::string SerialCaption(const TEncoderSignature& s)
{
    char serial[16];
    std::snprintf(serial, sizeof serial, "%08X", static_cast<unsigned>(s.SerialNumber));
    return std::string("Serial BiSS: 0x") + serial + "\r\n" + "Serial decoded: " + s.Zolvan_SerialDecoded + "\r\n" +
           "Firmware: " + s.Zolvan_FWverStr;
}

std::optional<uint8_t> ParseRegisterByte(std::string_view text)
{
    std::string t = TrimControl(text);
    for (char& c : t)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    long long value = 0;
    bool ok;
    if (t.find("0x") != std::string::npos) {
        const std::string digits = t.substr(2);
        // Only the hexadecimal digits themselves: no sign and no second prefix.
        ok = !digits.empty() && digits.find_first_not_of("0123456789abcdef") == std::string::npos &&
             ParseInteger("$" + digits, value);
    } else {
        ok = t.find('$') == std::string::npos && ParseInteger(t, value);
    }
    if (!ok || value < 0 || value > 255)
        return std::nullopt;
    return static_cast<uint8_t>(value);
}

IdentificationOutcome ReadIdentification(Link& link, EncoderIdentity& identity)
{
    IdentificationOutcome out;
    link.ForgetEncoder();
    TEncoderSignature& sig = link.EncoderSignature;
    identity.DruzinaEnkoderja = EncoderFamily::Unidentified;

    auto fail = [&]() -> IdentificationOutcome& {
        out.ok = false;
        out.statusText = "Error\r\n" + link.LastErrorText;
        identity.EncoderConnected = false;
        out.portLost = link.EncoderPosition.ErrComm < -1;
        return out;
    };

    if (!link.ReadRegisters(0x40, 64))
        return fail();
    out.registers = FormatDirectRegisters(link.RxBank);
    out.profileIsBp3 = link.RxBank[0x02] == kProfileBp3;
    sig.EDS_Common_bank_num = link.RxBank[0x01];
    sig.SCD_DataLength = link.RxBank[0x03];

    if (out.registers->makersEncoder) {
        if (!link.ReadEncoderSignature())
            return fail();
        if (sig.Zolvan_FWverMajor != 2) {
            // This firmware keeps its version words at the alternate address.
            link.AltFwVersionAddress = true;
            if (!link.ReadEncoderSignature())
                return fail();
        }
        out.signatureRead = true;

        const PartNumberConstants c = DecodePartNumber(sig.Zolvan_PartNumber, sig.Zolvan_FWverSVN);
        identity.EncDolzinaKode = c.codeLength;
        identity.PremerKodeRinga = c.ringDiameter;
        identity.AirGapK = c.airGapK;
        identity.AirGapN = c.airGapN;
        if (c.clock64MHz)
            identity.EncClockMhz = 64;

        identity.TipMagnetaQuenra.clear();
        out.family = DecideFamily(sig.Zolvan_PartNumber);
        identity.DruzinaEnkoderja = out.family.family;
        if (out.family.family == EncoderFamily::Quenra)
            identity.TipMagnetaQuenra = out.family.magnetType;

        out.serialCaption = SerialCaption(sig);
        out.compatibilityMessage = FirmwareCompatibilityMessage(out.family.family, sig);
        if (out.family.family == EncoderFamily::Torvik)
            out.gates = TorvikControlGatesFor(sig);
    }
    out.ok = true;
    out.statusText = "Comm OK\r\n" + link.LastErrorText;
    return out;
}
