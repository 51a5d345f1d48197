// Decoding the encoder's banks: the datasheet's common part and BP3 profile,
// the fixed register area, and the part number's tables.

#include "biss/Eds.h"
#include "biss/Identification.h"

#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TBiSS_bank bank{};
    std::memcpy(bank.data(), data, std::min(size, bank.size()));
    EdsCommonText(bank);
    EdsProfileText(bank);
    EdsChecksumOk(bank);
    FormatDirectRegisters(bank);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    DecodePartNumber(text, static_cast<uint16_t>(size * 131));
    DecideFamily(text);
    return 0;
}
