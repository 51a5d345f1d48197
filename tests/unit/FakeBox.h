#pragma once
// An in-process interface box with an encoder's registers behind it, for
// logic tests that need exact command logs and replies on demand: register
// reads and writes against a register image, the position command, and
// per-command overrides (silence, an error reply, a lost port).

#include "ReplyQueuePort.h"
#include "link/Link.h"

#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class FakeBox final : public ReplyQueuePort {
public:
    FakeBox() : ReplyQueuePort("fake") {}
    std::array<uint8_t, 64> fixed{};       // registers 0x40-0x7F
    std::map<int, TBiSS_bank> banks;       // bank area 0x00-0x3F of each bank
    std::string positionReply = "0000000000000000\r";
    std::vector<std::string> log;          // every command received
    // Returns a reply for a command to replace the normal one; "" means silence.
    std::function<std::optional<std::string>(const std::string& command)> override;
    int writeError = 0;                    // > 0: every write fails with this OS error,
    std::string writeErrorOnly;            //   or only the writes of this command when set

    int WriteAll(std::string_view bytes) override
    {
        const std::string command(bytes);
        if (writeError && (writeErrorOnly.empty() || command == writeErrorOnly))
            return writeError;
        log.push_back(command);
        if (override) {
            if (auto reply = override(command)) {
                pending_ += *reply;
                return 0;
            }
        }
        pending_ += Answer(command);
        return 0;
    }

    // Fixed-area register by its BiSS address (0x40-0x7F).
    uint8_t& Reg(int address) { return fixed[static_cast<size_t>(address - 0x40)]; }
    void SetText(int address, const std::string& text, int width)
    {
        for (int i = 0; i < width; ++i)
            Reg(address + i) = i < static_cast<int>(text.size()) ? static_cast<uint8_t>(text[static_cast<size_t>(i)]) : 0;
    }
    // Commands received since the last call.
    std::vector<std::string> TakeLog()
    {
        std::vector<std::string> out;
        out.swap(log);
        return out;
    }

private:
    std::string Answer(const std::string& c)
    {
        unsigned a = 0, b = 0;
        if (c == "4")
            return positionReply;
        if (std::sscanf(c.c_str(), "R%2u:%3u", &a, &b) == 2 && c.size() == 7) {
            std::string reply = "0:00:";
            for (unsigned i = 0; i < a; ++i) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02X", Read(b + i));
                reply += hex;
            }
            return reply + "\r";
        }
        if (std::sscanf(c.c_str(), "Ws%3u:%3u", &a, &b) == 2) {
            if (b >= 0x40)
                fixed[b - 0x40] = static_cast<uint8_t>(a);
            else
                banks[Reg(0x40)][b] = static_cast<uint8_t>(a);
            return "0\r";
        }
        return "?\r";
    }
    uint8_t Read(unsigned address)
    {
        if (address >= 0x40)
            return fixed[(address - 0x40) & 0x3F];
        return banks[Reg(0x40)][address];
    }
};

// The box's reply to "4" for a position word without error or warning bit.
inline std::string PositionReply(uint64_t multiturn, uint64_t singleturn, uint8_t mtLength, uint8_t stLength)
{
    char reply[24];
    std::snprintf(reply, sizeof reply, "%016llX\r",
                  static_cast<unsigned long long>(
                      EncodePositionFrame(multiturn, singleturn, mtLength, stLength, false, false)));
    return reply;
}

// A link whose port is a FakeBox; the box stays owned by the link.
inline FakeBox& AttachFakeBox(Link& link)
{
    auto box = std::make_unique<FakeBox>();
    FakeBox& ref = *box;
    link.ComHandle = std::move(box);
    return ref;
}
