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
