#pragma once
// The position word as the window shows it: raw reply, bits, multiturn and
// singleturn values, error lamps, the position log with its jump test, and the
// position scaled into user units.

#include "biss/EncoderIdentity.h"
#include "link/Position.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Ranges of the position page's spin edits.
namespace PositionLimits {
constexpr int kMultiturnLengthMax = kMaxMultiturnLength;
constexpr int kSingleturnLengthMax = kMaxSingleturnLength;
constexpr long long kNominatorMin = -10000000;
constexpr long long kNominatorMax = 10000000;
constexpr long long kDenominatorMin = 1;
constexpr long long kDenominatorMax = 10000000;
// A singleturn step larger than this between two clean words is a jump.
constexpr int64_t kSingleturnJump = 2000;
} // namespace PositionLimits

// 2 to the power of a field length, in 64 bits so that singleturn lengths 31
// and 32 neither overflow nor turn negative.
inline int64_t CountRange(int length)
{
    return length <= 0 ? 1 : int64_t{1} << (length > 62 ? 62 : length);
}

// User units per count, as a 32-bit float. A denominator of 0 (typed while
// editing) counts as 1 instead of dividing by zero.
float UnitResolution(long long nominator, long long denominator);

// The scale the position display works with.
struct PositionScale {
    int64_t mtMaxCount = 2; // EncoderMTmaxCount: 2^multiturn length
    int64_t stMaxCount = 2; // EncoderSTmaxCount: 2^singleturn length
    float resolution = 1.0f; // EncoderResolution: user units per count
};

// The position scale: field lengths, nominator / denominator and the unit
// name. The position page's handlers and the session's identification and
// datasheet steps change it; the monitor cycle reads it. The field lengths
// are the link's, so decoding and display stay in step.
class PositionUnits {
public:
    PositionUnits(uint8_t& mtLength, uint8_t& stLength) : mtLength_(mtLength), stLength_(stLength) {}

    const PositionScale& Scale() const { return scale_; }
    long long Nominator() const { return nominator_; }
    long long Denominator() const { return denominator_; }
    const std::string& Unit() const { return unit_; }
    int MultiturnLength() const { return mtLength_; }
    int SingleturnLength() const { return stLength_; }

    // After discovery of an interface box.
    void ResetResolution() { scale_.resolution = 1.0f; }

    // Nominator or denominator changed.
    void ScaleChanged(long long nominator, long long denominator);
    void SetUnit(std::string unit) { unit_ = std::move(unit); }
    // Multiturn length changed.
    void MultiturnLengthChanged(int length);
    // Singleturn length changed. For rotary families one count is a fraction
    // of a turn: returns the denominator the page must take over (clamped to
    // its range), after which the scale handler runs. None for linear encoders.
    std::optional<long long> SingleturnLengthChanged(int length, EncoderFamily family);

    // The identification's family scale. A rotary family's denominator is
    // the count range of the singleturn length, as the datasheet read sets it.
    void SetFamilyScale(long long nominator, long long denominator, std::string unit, EncoderFamily family);
    // The datasheet's field lengths, limited to what the page's fields take
    // (so multiturn + singleturn is at most 56 bits), then the scale follows
    // as for lengths typed by the user.
    void SetFieldLengths(int multiturn, int singleturn, EncoderFamily family);

private:
    uint8_t& mtLength_;
    uint8_t& stLength_;
    PositionScale scale_;
    long long nominator_ = 360;
    long long denominator_ = 1;
    std::string unit_ = "deg";
};

// Position remembered at the end of the last clean tick: the reference of the
// jump test. 64-bit so that singleturn values of 2^31 and more stay positive.
struct RememberedPosition {
    int64_t mt = 0; // TestMtOld
    int64_t st = 0; // TestStOld
};

// What the window shows for one position word.
struct PositionTexts {
    std::string multiturn;  // lblPosMT: empty without multiturn bits
    std::string singleturn; // lblPosST
    std::string errorText;  // "Error bit ", "Warning bit ", "CRC error ", jumps; also the recording's error column
    std::string logLine;    // the line for the position log, empty when none
    std::string unitText;   // lblPosUnit
    bool errorLamp = false;
    bool warningLamp = false;
    bool crcLamp = false;
    float counts = 0;       // EncoderPosition_cnt
    float units = 0;        // EncoderPosition_unit
};

// Fills out (reusing its storage) for the decoded position word. With the log
// on, the jump test compares with remembered and a non-empty error text gives a log line.
void ComputePositionDisplay(const TEncoderPosition& position, const PositionScale& scale,
                            const RememberedPosition& remembered, bool logOn, std::string_view unitName,
                            PositionTexts& out);

// The unit position text: 8 significant digits, 3 decimals, a blank, the unit.
std::string UnitPositionText(float units, std::string_view unitName);
