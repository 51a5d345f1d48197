// The position reply decoder with any reply and any field lengths the tool
// decodes. The reply with its hex letters in lower case must decode alike
// (a reply refused before it is upper-cased keeps its own case): the reply
// as the box sends it takes a short way through the decoder, the same reply
// in lower case the general one.

#include "link/Position.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    TEncoderPosition position;
    position.RxData.assign(reinterpret_cast<const char*>(data + 2), size - 2);
    TEncoderPosition lower = position;
    for (char& c : lower.RxData)
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    const auto mt = static_cast<uint8_t>(data[0] % (kMaxMultiturnLength + 1));
    const auto st = static_cast<uint8_t>(data[1] % (kMaxSingleturnLength + 1));
    DecodePositionReply(position, mt, st);
    DecodePositionReply(lower, mt, st);
    for (char& c : lower.RxData)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    for (char& c : position.RxData)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    const bool same = position.RxData == lower.RxData && position.RxBinDebug == lower.RxBinDebug &&
                      position.MT_value == lower.MT_value && position.ST_value == lower.ST_value &&
                      position.MTST_value == lower.MTST_value && position.ErrComm == lower.ErrComm &&
                      position.ErrTimeout == lower.ErrTimeout && position.ErrCRC == lower.ErrCRC &&
                      position.ErrBit == lower.ErrBit && position.WarnBit == lower.WarnBit;
    if (!same)
        std::abort();
    return 0;
}
