#pragma once
// The interface box: frames the commands that arrive without terminator by
// their fixed-width grammar, executes them against the encoder and builds the
// replies, each ending in CR. Transport faults shape the replies here too, so
// everything the tool sees comes from one place. Not thread-safe; the
// Simulator serialises every call.

#include "sim/SimEncoder.h"
#include "sim/SimOptions.h"

#include <array>
#include <chrono>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// One command as framed, and what goes back.
struct SimExchange {
    std::string command;
    std::string reply;    // empty: nothing is sent
    int delayMs = 0;      // wait this long before sending the reply
    size_t splitAt = 0;   // when inside the reply: send this many bytes first,
    int splitGapMs = 0;   // then the rest this much later
    bool unplug = false;  // the cable is pulled instead of answering
};

class SimBox {
public:
    using Clock = std::chrono::steady_clock;

    explicit SimBox(const SimOptions& options, Clock::time_point now = Clock::now());

    // Takes received bytes and appends one exchange per complete command (or
    // per run of bytes that cannot be a command, answered "Error").
    void Feed(std::string_view bytes, Clock::time_point now, std::vector<SimExchange>& out);
    // Whether the start of a command is waiting for the rest of it.
    bool HasPartial() const { return !pending_.empty(); }
    // Gives up on a command that stays incomplete: answered "Error".
    void ExpirePartial(Clock::time_point now, std::vector<SimExchange>& out);

    // The reply to one complete command, before transport faults.
    std::string Execute(std::string_view command, Clock::time_point now);

    void SetFaults(const SimFaults& faults, Clock::time_point now);
    const SimFaults& Faults() const { return faults_; }

    // The USB cable: pulling it switches everything off; plugging it in
    // starts the box afresh with the encoder supplied as at start.
    void Unplugged(Clock::time_point now);
    void Plugged(Clock::time_point now);

    SimEncoder& Encoder() { return encoder_; }
    const SimEncoder& Encoder() const { return encoder_; }
    bool EncoderPowerOn() const { return powerOn_; }
    void SetEncoderPower(bool on, Clock::time_point now);

private:
    std::string ReadRegisters(unsigned count, unsigned address, Clock::time_point now);
    std::string WriteRegister(unsigned value, unsigned address, Clock::time_point now);
    std::string LoadBuffer(unsigned index, unsigned value);
    std::string WriteBuffer(unsigned count, unsigned address, Clock::time_point now);
    std::string Readout(char command, Clock::time_point now);
    // Whether the encoder answers this register command (powered, not busy,
    // and not stopped by the answersLeft fault).
    bool AnswersRegisters(Clock::time_point now);
    void Shape(SimExchange& exchange);
    // Applies one transport fault; kind indexes the faults random replies meet.
    void ApplyFault(int kind, SimExchange& exchange) const;

    SimOptions options_;
    SimFaults faults_;
    SimEncoder encoder_;
    std::string pending_;
    bool powerOn_ = false;
    unsigned dataLength_ = 8;
    unsigned clock_ = 4;
    std::array<uint8_t, 64> buffer_{};
    uint64_t loaded_ = 0; // buffer entries loaded since the last buffered write
    Clock::time_point startedAt_{};
    int answersLeft_ = -1;
    int hitsLeft_ = -1;
    int startAfter_ = 0;
    int unplugAfter_ = -1;
    std::mt19937 random_{1};
};
