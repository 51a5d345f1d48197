#pragma once
// The BiSS-C single-cycle frame that the box returns for command "4".

#include <cstdint>
#include <string>

// Result codes of a position read beyond the transport results.
constexpr int kPosReplyHasColon = 97;
constexpr int kPosReplyNotHex = 98;
constexpr int kPosReplyBadLength = 99;
// A monitor tick that has not completed.
constexpr int kCycleIncomplete = 999;

// The field lengths the tool decodes: together they fill at most the 56 bits
// a frame word leaves for position data.
constexpr int kMaxMultiturnLength = 24;
constexpr int kMaxSingleturnLength = 32;
static_assert(kMaxMultiturnLength + kMaxSingleturnLength <= 56);

struct TEncoderPosition {
    std::string RxData;     // the reply; after the length check trimmed and upper case
    std::string RxBinDebug; // the 64-bit frame word as "0"/"1", most significant bit first
    int32_t MT_value = 0;
    uint32_t ST_value = 0;
    int64_t MTST_value = 0;
    int32_t ErrComm = 0;
    bool ErrTimeout = false;
    bool ErrCRC = false;
    bool ErrBit = false;
    bool WarnBit = false;
};

// Decodes the reply to "4" (as received, CR included) into position. The
// transport result must already be 0 and stored in ErrComm. Fields behind a
// failed step keep their previous values. mtLength + stLength is at most 56.
void DecodePositionReply(TEncoderPosition& position, uint8_t mtLength, uint8_t stLength);

// Builds the 64-bit frame word for the given fields: multiturn and singleturn
// bits, active-low error and warning bits, inverted CRC-6, left-aligned.
uint64_t EncodePositionFrame(uint64_t multiturn, uint64_t singleturn, uint8_t mtLength, uint8_t stLength, bool error,
                             bool warning);
