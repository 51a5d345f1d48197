// The debug snapshot bank: the sensor array's samples over the code ring, the
// code words read from them, the cycle time and the count of sensor resets.
#include "sim/SimEncoder.h"
#include "sim/SimEncoderDetail.h"

#include <algorithm>
#include <cmath>

using namespace sim;
using namespace sim::detail;

namespace {
// Samples per code bit on the sensor array. For rings of 5 to 8 bits this is
// the decoding step of the Debug page, so its decoding points sit on
// the bits; a 9-bit ring lays its nine bits over the 48 samples that the
// spectrum takes, so that its strongest bin is the code length like for the
// others (the page's step of 6 for it is only roughly right).
double SamplePitch(int codeLength)
{
    switch (codeLength) {
    case 5: return 10;
    case 6: return 8;
    case 7: return 7;
    case 8: return 6;
    default: return 48.0 / 9.0;
    }
}

// One period of the sensor pattern over a code bit, phase 0-1: a sine with
// flattened crests, as a magnetic code track gives it.
double Pattern(double phase)
{
    return std::tanh(2.0 * std::sin(2 * kPi * phase)) / std::tanh(2.0);
}
} // namespace

void SimEncoder::FillDebugBank(Clock::time_point now)
{
    Bank& d = ram_.banks[kDebugBank];
    d.fill(0);
    const int length = info_.codeLength;
    const double pitch = SamplePitch(length);
    const size_t ringSize = codeRing_.size();
    // The sample noise follows the number of snapshots taken, not the clock, so
    // the same reads give the same samples on every run.
    const uint64_t tick = ++debugSnapshots_;
    // Where the sensor sits on the code ring: code position p and how far into its bit.
    const double ring = Angle() * static_cast<double>(ringSize);
    const size_t p = static_cast<size_t>(ring) % ringSize;
    const double frac = ring - std::floor(ring);
    auto bit = [&](size_t k) { return codeRing_[(p + k) % ringSize]; };
    // Each code bit spans one period of the sensor pattern: a full wave for a
    // 1, a weak one for a 0, so that the pattern's period stands out in the
    // spectrum and the samples at the wave crests read the bits. The amplitude
    // drifts across the array as far as the sensor is tilted: the Debug page's
    // tilt figure is 100 times the difference of the slopes of the upper and
    // lower envelope, so each envelope leans by tilt / 200 per sample.
    // The waves are about 48 high at the healthy signal level and grow with the
    // square root of the level; the converter clips them at its ends.
    const double slope = sensorTilt_ / 200.0;
    // The waves follow the mean signal level; the once-per-turn swing of the
    // eccentric ring is left out so that the envelopes over a turn keep the
    // tilt's slope instead of the few angles where the swing peaks.
    (void)now;
    const double meanLevel = faults_.signalLevel ? faults_.signalLevel : HealthyLevel();
    const double strength = 48.0 * std::sqrt(meanLevel / HealthyLevel());
    for (int i = 0; i < 53; ++i) {
        const double x = i + frac * pitch;
        const size_t k = static_cast<size_t>(x / pitch);
        const double phase = (x - static_cast<double>(k) * pitch) / pitch;
        const double amplitude = strength + slope * (i - 26);
        const double v = (bit(k) ? 1.0 : 0.35) * amplitude * Pattern(phase) +
                         1.5 * Noise(tick * 64 + static_cast<uint64_t>(i));
        d[static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<int8_t>(std::clamp(std::lround(v), -128L, 127L)));
    }
    // The sample nearest to a quarter into a bit (its crest) is where decoding starts.
    double crest = pitch * (0.25 - frac);
    crest -= std::floor(crest / pitch) * pitch;
    int first = static_cast<int>(std::lround(crest));
    if (first >= static_cast<int>(std::ceil(pitch - 1e-9)))
        first = 0; // rounded up onto the next crest: the one half a sample before sample 0 is as near
    // The code word is read from the bit under the first decoding sample on.
    const size_t firstBit = static_cast<size_t>((first + frac * pitch) / pitch);
    auto word = [&](size_t from) {
        uint16_t code = 0;
        for (int j = 0; j < length; ++j)
            code = static_cast<uint16_t>(code << 1 | bit(from + static_cast<size_t>(j)));
        return code;
    };
    const uint16_t codeA = word(firstBit);
    // A sensor error: the second reading disagrees.
    const uint16_t codeB = (StatusWord(now) & 0x0800) ? word(firstBit + 1) : codeA;
    // A cycle takes 10 to 10.5 us, counted in periods of the encoder's clock.
    const uint16_t cycle = static_cast<uint16_t>(clockMhz_ * 10 + Mix(tick * 7 + 5) % (clockMhz_ / 2 + 1));
    PutBE(&d[0x36], codeA, 2);
    PutBE(&d[0x38], codeB, 2);
    if (info_.fwComm >= 8) {
        d[0x35] = static_cast<uint8_t>(first + 1);
        PutBE(&d[0x3A], cycle, 2);
        d[0x3C] = sensorResets_;
    } else {
        PutBE(&d[0x3A], static_cast<uint16_t>(static_cast<int16_t>(std::lround(std::clamp(speed_, -32768.0, 32767.0)))),
              2);
        PutBE(&d[0x3C], cycle, 2);
        d[0x3E] = sensorResets_;
    }
}
