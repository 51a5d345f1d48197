// The register operations of the link with any replies: reads of any count
// and address, single and buffered writes, and the encoder signature read.

#include "FuzzPort.h"
#include "link/Link.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    Link link;
    link.ComHandle = std::make_unique<FuzzPort>(data + 3, size - 3);
    const auto count = static_cast<uint8_t>(data[0] % 64 + 1);
    const auto address = static_cast<uint8_t>(data[1] % 128);
    switch (data[2] % 4) {
    case 0:
        link.ReadRegisters(address, count);
        break;
    case 1:
        link.WriteRegister(address, data[1]);
        break;
    case 2:
        link.WriteRegisterBuffer(address, count);
        break;
    default:
        link.AltFwVersionAddress = data[1] & 1;
        link.ReadEncoderSignature();
        break;
    }
    return 0;
}
