// The position reply decoder with any reply and any field lengths the tool
// decodes.

#include "link/Position.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    TEncoderPosition position;
    position.RxData.assign(reinterpret_cast<const char*>(data + 2), size - 2);
    const auto mt = static_cast<uint8_t>(data[0] % (kMaxMultiturnLength + 1));
    const auto st = static_cast<uint8_t>(data[1] % (kMaxSingleturnLength + 1));
    DecodePositionReply(position, mt, st);
    return 0;
}
