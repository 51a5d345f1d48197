#include "encoder/EncoderFile.h"

#include "biss/Identification.h"
#include "util/CsvFile.h"

#include <cstdio>

std::string FileIdentityLine(std::string_view title, const TEncoderSignature& sig)
{
    char serial[16];
    std::snprintf(serial, sizeof serial, "%08X", static_cast<unsigned>(sig.SerialNumber));
    char device[24];
    std::snprintf(device, sizeof device, "0x%012llX", static_cast<unsigned long long>(sig.DeviceID & 0xFFFFFFFFFFFFull));
    const std::string manufacturer =
        ManufacturerText(static_cast<uint8_t>(sig.ManufacturerID >> 8), static_cast<uint8_t>(sig.ManufacturerID & 0xFF));
    return std::string(title) + ";Serial: " + sig.Zolvan_Serial + ";Part: " + sig.Zolvan_PartNumber + ";Serial#: 0x" +
           serial + ";DeviID: " + device + ";ManufID: " + EightBitText(manufacturer);
}

void LineErrorReport::Add(const std::string& message)
{
    if (++count_ <= kListed)
        text_ += message;
}

std::string LineErrorReport::Text() const
{
    if (count_ <= kListed)
        return text_;
    // After a message that ends without a line break (the range messages), on a line of its own.
    const bool ended = !text_.empty() && text_.back() == '\n';
    return text_ + (ended ? "" : "\r\n") + "\u2026 and " + std::to_string(count_ - kListed) + " more lines\r\n";
}

std::string QuotedLine(std::string_view line)
{
    constexpr size_t kQuoted = 200;
    if (line.size() <= kQuoted)
        return Utf8FromEightBit(line);
    return Utf8FromEightBit(line.substr(0, kQuoted)) + "\u2026";
}
