#include "encoder/RegisterModel.h"

#include "biss/FirmwareGates.h"
#include "util/Text.h"

#include <charconv>
#include <cstdio>

namespace {
constexpr long long kLowest32 = -(1LL << 31);
constexpr long long kHighest32 = (1LL << 32) - 1;
} // namespace

std::string FormatRegisterRef(const RegisterRef& ref)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%02X.%s", static_cast<unsigned>(ref.bank), static_cast<unsigned>(ref.address),
                  ref.type == RegisterType::U32 ? "u32" : "u8");
    return text;
}

std::optional<RegisterRef> ParseRegisterRef(std::string_view text)
{
    size_t i = 0;
    unsigned bank = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i < 3)
        bank = bank * 10 + static_cast<unsigned>(text[i++] - '0');
    if (i == 0 || bank > 255 || i + 4 > text.size() || text[i] != '.')
        return std::nullopt;
    unsigned address = 0;
    const char* digits = text.data() + i + 1;
    if (std::from_chars(digits, digits + 2, address, 16).ptr != digits + 2 || text[i + 3] != '.')
        return std::nullopt;
    std::string_view rest = text.substr(i + 4);
    RegisterRef ref{static_cast<uint8_t>(bank), static_cast<uint8_t>(address), RegisterType::U8};
    size_t typeLength = 0;
    if (StartsWith(rest, "u32")) {
        ref.type = RegisterType::U32;
        typeLength = 3;
    } else if (StartsWith(rest, "u8")) {
        typeLength = 2;
    } else {
        return std::nullopt;
    }
    if (rest.size() > typeLength && rest[typeLength] != ' ')
        return std::nullopt;
    if (ref.address + ref.Width() > 64)
        return std::nullopt;
    return ref;
}

std::string ConfigFieldCaption(const ConfigField& field)
{
    return FormatRegisterRef(field.ref) + " " + field.name;
}

uint32_t BigEndianValue(const uint8_t* bytes, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

void PutBigEndian(uint8_t* bytes, uint32_t value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        bytes[i] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

std::string WriteProtectText(uint8_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

const char* WriteProtectCaption(std::string_view fieldText)
{
    return IsWriteAllowedText(fieldText) ? "Write allowed" : "Read Only";
}

bool WarnIfWriteProtected(const TEncoderSignature& signature, EncoderFamily family, bool torvikOnly,
                          std::string_view writeProtectFieldText)
{
    if (!FirmwareGate::WarnsIfWriteProtected(signature.Zolvan_FWverSVN))
        return false;
    if (torvikOnly && family != EncoderFamily::Torvik)
        return false;
    return !IsWriteAllowedText(writeProtectFieldText);
}

std::string ChecksumCheck::Text() const
{
    return std::to_string(computed) + " / " + std::to_string(stored);
}

namespace {
uint8_t ByteSum(const TBiSS_bank& bank, size_t count)
{
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bank[i];
    return static_cast<uint8_t>(sum & 0xFF);
}
} // namespace

ChecksumCheck ConfigBankChecksum(const TBiSS_bank& configBank)
{
    return {ByteSum(configBank, ConfigRegister::BankChecksum), configBank[ConfigRegister::BankChecksum]};
}

ChecksumCheck ErrorMapPageChecksum(const TBiSS_bank& page, uint8_t stored)
{
    return {ByteSum(page, page.size()), stored};
}

std::optional<long long> ParseConfigNumber(std::string_view text)
{
    std::string converted(text);
    HexPrefixToDollar(converted);
    long long value = 0;
    if (!ParseInteger(converted, value) || value < kLowest32 || value > kHighest32)
        return std::nullopt;
    return value;
}

std::string ConversionErrorText(std::string_view text)
{
    return "'" + std::string(text) + "' is not a valid integer value";
}
