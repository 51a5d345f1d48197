// The shaft and what it reports: speed, angle, multiturn counting, the
// position frame, the signal level, the status word and the status block.
#include "sim/SimEncoder.h"
#include "sim/SimEncoderDetail.h"

#include "link/Position.h"

#include <algorithm>
#include <chrono>
#include <cmath>

using namespace sim;
using namespace sim::detail;

void SimEncoder::MoveShaft(Clock::time_point now)
{
    if (now > movedAt_) {
        double delta = speed_ * countsPerSpeedSecond_ * std::chrono::duration<double>(now - movedAt_).count() + fraction_;
        double whole = std::floor(delta);
        counts_ += static_cast<int64_t>(whole);
        fraction_ = delta - whole;
        movedAt_ = now;
    }
}

void SimEncoder::SetSpeed(double speed, Clock::time_point now)
{
    Advance(now);
    speed_ = speed;
}

void SimEncoder::SetShaftPosition(int64_t turns, uint32_t singleturn, Clock::time_point now)
{
    Advance(now);
    const int64_t period = int64_t{1} << info_.stLength;
    counts_ = turns * period + static_cast<int64_t>(singleturn % static_cast<uint64_t>(period));
    fraction_ = 0;
}

uint32_t SimEncoder::Offset() const
{
    return info_.maker ? GetBE(&ram_.banks[kConfigBank][0x00], 4) : 0;
}

uint64_t SimEncoder::ReportedCounts() const
{
    const int64_t period = int64_t{1} << info_.stLength;
    return static_cast<uint64_t>(counts_ - static_cast<int64_t>(Offset()) + ram_.multiturnBase * period);
}

SimPosition SimEncoder::ReportedPosition(Clock::time_point now)
{
    Advance(now);
    SimPosition pos;
    pos.mtLength = info_.mtLength;
    pos.stLength = info_.stLength;
    const int64_t period = int64_t{1} << info_.stLength;
    const int64_t v = static_cast<int64_t>(ReportedCounts());
    const int64_t turns = FloorDiv(v, period);
    pos.singleturn = static_cast<uint32_t>(v - turns * period);
    pos.multiturn = info_.mtLength ? static_cast<int64_t>(static_cast<uint64_t>(turns) &
                                                          ((uint64_t{1} << info_.mtLength) - 1))
                                   : 0;
    return pos;
}

double SimEncoder::Angle() const
{
    const int bits = info_.family == SimFamily::Linear ? 20 : info_.stLength;
    const int64_t period = int64_t{1} << bits;
    int64_t within = counts_ % period;
    if (within < 0)
        within += period;
    return (static_cast<double>(within) + fraction_) / static_cast<double>(period);
}

double SimEncoder::HealthyLevel() const
{
    return info_.family == SimFamily::Quenra ? 6100.0 : 2400.0;
}

double SimEncoder::SignalLevel(Clock::time_point now)
{
    Advance(now);
    const uint64_t tick = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                    now.time_since_epoch())
                                                    .count());
    // The ring runs slightly eccentric, so the air gap and with it the signal
    // level swing once per turn around their mean, with a little noise.
    const double mean = faults_.signalLevel ? faults_.signalLevel : HealthyLevel();
    const double depth = info_.family == SimFamily::Quenra ? 0.10 : 0.25;
    const double wobble = std::sin(2 * kPi * Angle());
    return std::clamp(mean * (1.0 + depth * wobble + 0.01 * Noise(tick * 3 + 2)), 0.0, 65535.0);
}

uint16_t SimEncoder::StatusWord(Clock::time_point now)
{
    Advance(now);
    uint16_t word = faults_.extraStatus;
    if (faults_.errorBit)
        word |= 0x0200;
    if (faults_.warningBit)
        word |= 0x0100;
    if (info_.maker) {
        // The signal level raises its own bits, at the limits the tool draws
        // (the Torvik status page: 19000 strongest, 200 warning, 70 error) for the Torvik
        // line, and around the ends of the Quenra status page's signal bar for Quenra.
        const double level = SignalLevel(now);
        if (info_.family == SimFamily::Quenra) {
            if (level > 11000)
                word |= 0x0280; // signal high, error
            else if (level > 9000)
                word |= 0x0180; // signal high, warning
            else if (level < 400)
                word |= 0x0240; // signal low, error
            else if (level < 1000)
                word |= 0x0140; // signal low, warning
            if (std::fabs(speed_) > 6000)
                word |= 0x0110; // faster than the datasheet's maximum speed
        } else {
            if (level >= 30000)
                word |= 0x4200; // the converter clips: external field
            if (level >= 19000)
                word |= 0x2100; // signal high, warning
            else if (level < 70)
                word |= 0x0220; // signal lost, error
            else if (level < 200)
                word |= 0x0140; // signal low, warning
        }
    }
    if ((ram_.persistentStatus | word) != ram_.persistentStatus) {
        // The encoder latches every status bit it raises until told to forget.
        ram_.persistentStatus |= word;
        nv_.persistentStatus |= word;
        RefreshChecksums(ram_);
        RefreshChecksums(nv_);
    }
    return word;
}

uint64_t SimEncoder::PositionFrame(Clock::time_point now)
{
    const uint16_t status = StatusWord(now);
    SimPosition pos = ReportedPosition(now);
    if (faults_.positionNoise > 0) {
        // Uniform noise of the standard deviation asked for.
        const int64_t period = int64_t{1} << pos.stLength;
        const auto offset = std::llround(Noise(++frames_ * 7919) * 1.7320508 * faults_.positionNoise);
        pos.singleturn = static_cast<uint32_t>(((static_cast<int64_t>(pos.singleturn) + offset) % period + period) % period);
    }
    const bool error = (status & 0x0200) != 0;
    const bool warning = (status & 0x0100) != 0;
    uint64_t frame = EncodePositionFrame(static_cast<uint64_t>(pos.multiturn), pos.singleturn, pos.mtLength,
                                         pos.stLength, error, warning);
    if (faults_.crcError)
        frame ^= uint64_t{1} << (56 - pos.mtLength - pos.stLength); // lowest CRC bit
    return frame;
}

void SimEncoder::FillStatusBlock(Clock::time_point now)
{
    statusBlock_.fill(0);
    if (!info_.maker)
        return;
    const uint16_t status = StatusWord(now);
    const double seconds = SecondsOn(now);
    const uint64_t tick = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                    now.time_since_epoch())
                                                    .count());
    // Warms up from 24 C towards 33 C after switching on.
    const double settled = faults_.temperatureC != 0 ? faults_.temperatureC
                                                     : 24.0 + 9.0 * (1.0 - std::exp(-seconds / 180.0));
    const double temperature = settled + 0.3 * Noise(tick * 3 + 1);
    const double level = SignalLevel(now);
    // The measured velocity wavers a little around the shaft's speed while it turns.
    const double velocity = speed_ * (1.0 + 0.004 * Noise(tick * 3));
    uint8_t* s = statusBlock_.data(); // s[0] is register 0x4A
    // Bit 6: the stored error map is no longer the factory's (a user map is in use).
    bool userMap = false;
    for (uint8_t b = info_.errorMapFirstBank; b < 16 && !userMap; ++b)
        userMap = nv_.banks[b] != factoryErrorMap_[b - 8];
    const uint8_t cal = static_cast<uint8_t>(calCounter_ | calFlags_ | (userMap ? kCalUserErrorMap : 0));
    if (info_.family == SimFamily::Quenra) {
        PutBE(&s[0], status, 2);
        PutBE(&s[2], static_cast<uint16_t>(static_cast<int16_t>(std::lround(temperature * 10))), 2);
        PutBE(&s[4], static_cast<uint16_t>(static_cast<int16_t>(std::lround(speed_ / 60.0 * 10.0))), 2);
        s[6] = cal;                                                  // 0x50
        PutBE(&s[7], static_cast<uint16_t>(std::lround(level)), 2); // 0x51-0x52
        s[9] = faults_.bbmStatus;                                    // 0x53
    } else {
        PutBE(&s[0], status, 2);
        PutBE(&s[2], static_cast<uint16_t>(static_cast<int16_t>(std::lround(temperature))), 2);
        PutBE(&s[4], static_cast<uint16_t>(std::lround(level)), 2);
        PutBE(&s[6], static_cast<uint16_t>(static_cast<int16_t>(std::lround(std::clamp(velocity, -32768.0, 32767.0)))),
              2);
        s[8] = cal; // 0x52
    }
}
