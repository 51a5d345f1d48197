#include "link/Position.h"

#include "util/Bits.h"

#include <array>
#include <string_view>

namespace {
// The value of each upper-case hex digit, -1 for any other character.
constexpr std::array<int8_t, 256> MakeHexValues()
{
    std::array<int8_t, 256> values{};
    for (unsigned c = 0; c < 256; ++c)
        values[c] = static_cast<int8_t>(c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1);
    return values;
}
constexpr std::array<int8_t, 256> kHexValues = MakeHexValues();

bool IsHexDigit(char c)
{
    return kHexValues[static_cast<unsigned char>(c)] >= 0;
}

int HexValue(char c)
{
    return kHexValues[static_cast<unsigned char>(c)];
}

uint64_t LowBits(uint64_t value, unsigned count)
{
    return count >= 64 ? value : value & ((uint64_t{1} << count) - 1);
}

// Trims blanks and control characters and upper-cases, in place.
void TrimUpperInPlace(std::string& text)
{
    size_t end = text.size();
    while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    size_t begin = 0;
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    text.erase(end);
    text.erase(0, begin);
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
}

// The value of text as hex digits into word; false, word untouched, at the
// first other character.
bool HexWord(std::string_view text, uint64_t& word)
{
    uint64_t value = 0;
    for (char c : text) {
        if (!IsHexDigit(c))
            return false;
        value = (value << 4) | static_cast<uint64_t>(HexValue(c));
    }
    word = value;
    return true;
}

// The reply as the box sends it: sixteen upper-case hex digits and the CR
// (or another blank or control character). Nothing in it is to be trimmed
// but that last character or upper-cased, and neither a time-out text nor a
// colon can hide in hex digits. Its word, or false for any other reply.
bool PlainReplyWord(const std::string& reply, uint64_t& word)
{
    return reply.size() == 17 && static_cast<unsigned char>(reply[16]) <= 32 &&
           HexWord(std::string_view(reply).substr(0, 16), word);
}

bool ContainsTimeout(const std::string& reply)
{
    static constexpr char kWord[] = "TIMEOUT";
    constexpr size_t kLen = sizeof kWord - 1;
    for (size_t i = 0; i + kLen <= reply.size(); ++i) {
        size_t k = 0;
        while (k < kLen) {
            char c = reply[i + k];
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            if (c != kWord[k])
                break;
            ++k;
        }
        if (k == kLen)
            return true;
    }
    return false;
}
} // namespace

void DecodePositionReply(TEncoderPosition& position, uint8_t mtLength, uint8_t stLength)
{
    std::string& data = position.RxData;
    uint64_t word = 0;
    if (PlainReplyWord(data, word)) {
        position.ErrTimeout = false;
        data.pop_back();
    } else {
        position.ErrTimeout = ContainsTimeout(data);
        if (position.ErrTimeout)
            return;
        if (data.size() != 17) {
            position.ErrComm = kPosReplyBadLength;
            return;
        }
        TrimUpperInPlace(data);
        if (data.empty() || !IsHexDigit(data[0])) {
            position.ErrComm = kPosReplyNotHex;
            return;
        }
        if (data.find(':') != std::string::npos) {
            position.ErrComm = kPosReplyHasColon;
            return;
        }
        // A reply with other characters among its digits reads as 0.
        HexWord(data, word);
    }
    FormatBitsInto(64, word, position.RxBinDebug);

    const unsigned m = mtLength;
    const unsigned s = stLength;
    const unsigned positionBits = m + s;
    const uint64_t frame = positionBits <= 56 ? word >> (56 - positionBits) : 0;
    const unsigned receivedCrc = static_cast<unsigned>(frame & 0x3F);
    const bool nE = (frame >> 7) & 1;
    const bool nW = (frame >> 6) & 1;
    const uint64_t bits = frame >> 8;
    const uint64_t crcInput = frame >> 6;
    const int groups = static_cast<int>((positionBits + 2 + 5) / 6);
    position.ErrCRC = Crc6(groups, crcInput) != (~receivedCrc & 0x3F);
    position.ErrBit = !nE;
    position.WarnBit = !nW;
    position.MTST_value = static_cast<int64_t>(bits);
    if (m > 0)
        position.MT_value = static_cast<int16_t>(static_cast<uint16_t>((s >= 64 ? 0 : bits >> s) & 0xFFFF));
    position.ST_value = static_cast<uint32_t>(LowBits(bits, s));
}

uint64_t EncodePositionFrame(uint64_t multiturn, uint64_t singleturn, uint8_t mtLength, uint8_t stLength, bool error,
                             bool warning)
{
    const unsigned m = mtLength;
    const unsigned s = stLength;
    const uint64_t bits = (LowBits(multiturn, m) << s) | LowBits(singleturn, s);
    const uint64_t crcInput = (bits << 2) | (error ? 0u : 2u) | (warning ? 0u : 1u);
    const int groups = static_cast<int>((m + s + 2 + 5) / 6);
    const uint64_t crc = ~static_cast<uint64_t>(Crc6(groups, crcInput)) & 0x3F;
    const uint64_t frame = (crcInput << 6) | crc;
    return frame << (56 - m - s);
}
