#pragma once
// What the sensor of a Torvik encoder sees: the debug snapshot the encoder
// leaves in its debug bank (0xDF) - 53 signal samples, the code words it
// decoded from them, its cycle time and sensor reset counter - and what the
// Debug page derives from it: the min/max envelope over time, a three-bin
// windowed Fourier magnitude around the code length, straight-line fits of
// both envelopes and from them the sensor tilt with its traffic light. Also
// the hard-fault record of banks 0xE0-0xE1 as hexadecimal text. The debug
// and hard-fault banks answer only after the unlock (UnlockDebugBanks).

#include "biss/EncoderIdentity.h"
#include "encoder/EncoderCommands.h"
#include "link/Link.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr int kDebugSampleCount = 53;
using DebugSamples = std::array<int8_t, kDebugSampleCount>;

// Register layout of the debug bank. From firmware comm version 8 on the
// decoding layout (with the decoding index), before it the speed layout.
namespace DebugRegister {
constexpr uint8_t kDecodingIndex = 0x35;
constexpr uint8_t kCodeA = 0x36;
constexpr uint8_t kCodeB = 0x38;
constexpr uint8_t kCycleTime = 0x3A;     // decoding layout; speed in the speed layout
constexpr uint8_t kResetCounter = 0x3C;  // decoding layout
constexpr uint8_t kSpeedCycleTime = 0x3C;
constexpr uint8_t kSpeedResetCounter = 0x3E;
} // namespace DebugRegister

// Decoding points lie step samples apart; the code label puts spacer blanks
// after each bit so that it stands roughly above its point.
struct DecodingSpacing {
    int step = 0;
    int spacer = 0;
};
DecodingSpacing SpacingFor(int codeLength);

// The tapered-cosine (Tukey) window value at n of count, computed in extended precision.
float TukeyWindow(int n, int count, float alpha);

// The spectrum's analysis window for a code length: 48 samples for code
// lengths 8 and 9, else 49; values[1..samples] are used.
struct SpectrumWindow {
    int codeLength = -1;
    int samples = 0;
    std::array<float, 50> values{};
};
SpectrumWindow WindowFor(int codeLength);

// The three spectrum bars: the magnitudes of bins L-1, L and L+1 of the
// windowed transform of samples 1..N, divided by 4, rounded (halves to even).
std::array<int, 3> SpectrumBars(const DebugSamples& samples, const SpectrumWindow& window);

// The running minimum and maximum per sample since the last clear.
struct Envelope {
    DebugSamples max{};
    DebugSamples min{};

    Envelope() { Clear(); }
    void Clear()
    {
        max.fill(-128);
        min.fill(127);
    }
    void Add(const DebugSamples& samples);
};

// A straight line of the chart, between two points.
struct ChartLine {
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// Straight-line fits of both envelopes over samples 1..52 (sample 0 left
// out), drawn one unit to the right as the chart places sample s at s + 1.
// A flat envelope fits as slope 0 and intercept 0.
struct EnvelopeFits {
    long double maxSlope = 0, maxIntercept = 0;
    long double minSlope = 0, minIntercept = 0;
    ChartLine maxLine, minLine;
    long double tilt = 0; // (max slope - min slope) x 100
};
EnvelopeFits FitEnvelope(const Envelope& envelope);

// The tilt's traffic light, from the unrounded value.
enum class TiltLevel { Good, Marginal, Bad };
TiltLevel TiltLevelOf(long double tilt);
// "Sensor tilt = 4.0"
std::string TiltText(long double tilt);

// The last ten cycle times, newest first; 0xFFFF (unknown) after each connection.
class CycleHistory {
public:
    CycleHistory() { Reset(); }
    void Reset() { samples_.fill(0xFFFF); }
    // Takes a new reading; returns the shortest of the last ten.
    uint16_t Add(uint16_t cycleTime);

private:
    std::array<uint16_t, 10> samples_{};
};
// The cycle report for the shortest cycle m (in encoder clocks):
// "Encoder cycle time:\r\n720\r\n = 10 µs\r\n = 100.0 kHz". None for 0.
std::optional<std::string> CycleReportText(uint16_t shortest, int clockMhz);

// The two code words as the chart's code label shows them: each bit of A,
// then of B, followed by the spacer.
std::string CodeLabelText(const std::string& codeA, const std::string& codeB, int spacer);

// The last snapshot, as the debug recording writes it.
struct DebugSnapshot {
    DebugSamples samples{};   // Torvikdbg_MIS
    std::string codeA;        // Torvikdbg_k1: code word A as EncDolzinaKode bits
    std::string codeB;        // Torvikdbg_k2
    uint16_t cycleTime = 0;   // Torvikdbg_CycleTime
    uint16_t resetCount = 0;  // Torvikdbg_ResetCnt
    uint8_t decodingIndex = 0; // Torvikdbg_IzbranDekod (decoding layout only)
};

struct DecodingPoint {
    int x = 0;
    int y = 0;
};

// What one read shows on the page.
struct DebugView {
    bool decodingLayout = false;
    std::string decodingText;              // lblTorvikdbg_dekod: "Decoding: 3" or "Speed: -12"
    std::vector<DecodingPoint> decodingPoints; // seriesDekodiranje (decoding layout; the speed layout keeps the last)
    std::string codeText;                  // lblKodaNaGrafu
    std::optional<std::string> cycleText;  // lblTorvikdbg_cycle; none keeps the label's text
    std::string resetText;                 // lblSensorResetCounter
    std::array<int, 3> bars{};             // shLevo, shCenter, shDesno
    EnvelopeFits fits;
    std::string tiltText;                  // lblTorvikdbg_NaklonSenzorja
    TiltLevel tiltLevel = TiltLevel::Good;
};

enum class DebugRead {
    Failed,  // a register access failed: the status line tells why
    Refused, // the encoder did not take the bank (not unlocked): nothing changes
    Read
};

// The debug read and what it keeps between reads: snapshot, envelope and
// cycle history.
class Diagnostics {
public:
    // Bank 0xDF is selected when register 0x40 does not read it back already,
    // so a read costs two transactions while nothing else selects another bank.
    DebugRead Read(Link& link, const EncoderIdentity& identity);

    // The envelope starts again (the "Clear" button; every connection).
    void ClearEnvelope() { envelope_.Clear(); }
    // A new connection: envelope and cycle history start again.
    void ResetForConnection();
    // The window follows the code length (every page switch and every read).
    void UpdateWindow(int codeLength);

    const DebugSnapshot& Snapshot() const { return snapshot_; }
    const Envelope& EnvelopeNow() const { return envelope_; }
    const DebugView& View() const { return view_; }

private:
    void Decode(const TBiSS_bank& bank, bool decodingLayout, const EncoderIdentity& identity);

    DebugSnapshot snapshot_;
    Envelope envelope_;
    CycleHistory cycles_;
    SpectrumWindow window_;
    DebugView view_;
};

// The hard-fault record: "Page 224", 16 lines of four bytes in hex, "Page
// 225", 16 lines; each line ends with "\r\n".
struct HardFaultDump {
    DebugRead result = DebugRead::Failed;
    std::string text;
};
// Both banks are read before anything is shown: a bank the encoder refuses
// ends the dump without text.
HardFaultDump ReadHardFaultDump(Link& link);
// The text of one bank: "Page <bank>\r\n" and its 16 lines.
std::string HardFaultPageText(uint8_t bank, const TBiSS_bank& registers);
