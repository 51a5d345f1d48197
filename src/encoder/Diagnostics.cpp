#include "encoder/Diagnostics.h"

#include "biss/FirmwareGates.h"
#include "util/Bits.h"
#include "util/LineFit.h"
#include "util/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {
// Number texts with one decimal and every integer digit grouped.
constexpr int kAllDigits = 18;
constexpr float kWindowAlpha = 0.9f;
constexpr long double kPi = std::numbers::pi_v<long double>;

int AnalysedSamples(int codeLength)
{
    return codeLength == 8 || codeLength == 9 ? 48 : 49;
}

void AddFit(const DebugSamples& envelope, long double& slope, long double& intercept, ChartLine& line)
{
    TRealPointArray points(kDebugSampleCount - 1);
    for (int s = 1; s < kDebugSampleCount; ++s)
        points[static_cast<size_t>(s - 1)] = {static_cast<long double>(s), static_cast<long double>(envelope[static_cast<size_t>(s)])};
    long double correlation = 0;
    FitLine(points, slope, intercept, correlation);
    line = {2, static_cast<float>(slope + intercept), 53, static_cast<float>(52 * slope + intercept)};
}
} // namespace

DecodingSpacing SpacingFor(int codeLength)
{
    switch (codeLength) {
    case 5: return {10, 12};
    case 6: return {8, 10};
    case 7: return {7, 8};
    case 8: return {6, 7};
    case 9: return {6, 6};
    default: return {0, 0};
    }
}

float TukeyWindow(int n, int count, float alpha)
{
    const long double a = alpha;
    const long double d = count - 1;
    const long double x = n;
    if (a < 0.01L)
        return 1;
    if (x < a * d / 2)
        return static_cast<float>((std::cos(kPi * (2 * x / a / d - 1)) + 1) / 2);
    if (x > (1 - a / 2) * d)
        return static_cast<float>((std::cos(kPi * (2 * x / a / d - 2 / a + 1)) + 1) / 2);
    return 1;
}

SpectrumWindow WindowFor(int codeLength)
{
    SpectrumWindow w;
    w.codeLength = codeLength;
    w.samples = AnalysedSamples(codeLength);
    for (int n = 1; n <= w.samples; ++n)
        w.values[static_cast<size_t>(n)] = TukeyWindow(n, w.samples + 2, kWindowAlpha);
    return w;
}

std::array<int, 3> SpectrumBars(const DebugSamples& samples, const SpectrumWindow& window)
{
    std::array<int, 3> bars{};
    const int n = window.samples;
    for (int b = 0; b < 3; ++b) {
        const int k = window.codeLength - 1 + b;
        double s = 0, c = 0;
        for (int j = 1; j <= n; ++j) {
            const double theta = 2 * std::numbers::pi * k * (j - 1) / n;
            const double v = samples[static_cast<size_t>(j)] * static_cast<double>(window.values[static_cast<size_t>(j)]);
            s += std::sin(theta) * v;
            c += std::cos(theta) * v;
        }
        bars[static_cast<size_t>(b)] = static_cast<int>(std::nearbyint(std::sqrt(s * s + c * c) / 4));
    }
    return bars;
}

void Envelope::Add(const DebugSamples& samples)
{
    for (size_t i = 0; i < samples.size(); ++i) {
        max[i] = std::max(max[i], samples[i]);
        min[i] = std::min(min[i], samples[i]);
    }
}

EnvelopeFits FitEnvelope(const Envelope& envelope)
{
    EnvelopeFits f;
    AddFit(envelope.max, f.maxSlope, f.maxIntercept, f.maxLine);
    AddFit(envelope.min, f.minSlope, f.minIntercept, f.minLine);
    f.tilt = (f.maxSlope - f.minSlope) * 100;
    return f;
}

TiltLevel TiltLevelOf(long double tilt)
{
    const long double size = std::fabs(tilt);
    if (size < 10)
        return TiltLevel::Good;
    return size < 20 ? TiltLevel::Marginal : TiltLevel::Bad;
}

std::string TiltText(long double tilt)
{
    return "Sensor tilt = " + FormatNumberText(tilt, kAllDigits, 1);
}

uint16_t CycleHistory::Add(uint16_t cycleTime)
{
    std::copy_backward(samples_.begin(), samples_.end() - 1, samples_.end());
    samples_[0] = cycleTime;
    return *std::min_element(samples_.begin(), samples_.end());
}

std::optional<std::string> CycleReportText(uint16_t shortest, int clockMhz)
{
    if (shortest == 0)
        return std::nullopt;
    const double micros = std::nearbyint(static_cast<double>(shortest) / clockMhz);
    const long double kilohertz = 1000.0L * clockMhz / shortest;
    char us[32];
    std::snprintf(us, sizeof us, "%.0f", micros);
    return "Encoder cycle time:\r\n" + std::to_string(shortest) + "\r\n = " + us + " \xC2\xB5s\r\n = " +
           FormatNumberText(kilohertz, kAllDigits, 1) + " kHz";
}

std::string CodeLabelText(const std::string& codeA, const std::string& codeB, int spacer)
{
    const std::string blanks(static_cast<size_t>(std::max(spacer, 0)), ' ');
    std::string text;
    for (char bit : codeA)
        text += bit + blanks;
    text += "\r\n";
    for (char bit : codeB)
        text += bit + blanks;
    return text;
}

DebugRead Diagnostics::Read(Link& link, const EncoderIdentity& identity)
{
    if (!link.ReadRegisters(BankSelectRegister, 1))
        return DebugRead::Failed;
    if (link.RxBank[0] != DebugBank) {
        switch (SelectCheckedBank(link, DebugBank)) {
        case BankSelection::Failed:
            return DebugRead::Failed;
        case BankSelection::Refused:
            return DebugRead::Refused;
        case BankSelection::Selected:
            break;
        }
    }
    if (!link.ReadRegisters(0, 64))
        return DebugRead::Failed;
    Decode(link.RxBank, FirmwareGate::DebugBankHasDecodingIndex(link.EncoderSignature.Zolvan_FWverComm), identity);
    return DebugRead::Read;
}

void Diagnostics::Decode(const TBiSS_bank& bank, bool decodingLayout, const EncoderIdentity& identity)
{
    const int length = identity.EncDolzinaKode;
    const DecodingSpacing spacing = SpacingFor(length);
    for (size_t i = 0; i < snapshot_.samples.size(); ++i)
        snapshot_.samples[i] = static_cast<int8_t>(bank[i]);
    const DebugSamples& mis = snapshot_.samples;

    view_.decodingLayout = decodingLayout;
    const uint16_t codeA = static_cast<uint16_t>(BigEndianValue(&bank[DebugRegister::kCodeA], 2));
    const uint16_t codeB = static_cast<uint16_t>(BigEndianValue(&bank[DebugRegister::kCodeB], 2));
    if (decodingLayout) {
        snapshot_.decodingIndex = bank[DebugRegister::kDecodingIndex];
        view_.decodingText = "Decoding: " + std::to_string(snapshot_.decodingIndex);
        view_.decodingPoints.clear();
        for (int j = 1; j <= length; ++j) {
            const int idx = (j - 1) * spacing.step + snapshot_.decodingIndex;
            if (idx >= 1 && idx <= kDebugSampleCount)
                view_.decodingPoints.push_back({idx, mis[static_cast<size_t>(idx - 1)]});
        }
        snapshot_.cycleTime = static_cast<uint16_t>(BigEndianValue(&bank[DebugRegister::kCycleTime], 2));
        snapshot_.resetCount = bank[DebugRegister::kResetCounter];
    } else {
        const auto speed = static_cast<int16_t>(BigEndianValue(&bank[DebugRegister::kCycleTime], 2));
        view_.decodingText = "Speed: " + std::to_string(speed);
        snapshot_.cycleTime = static_cast<uint16_t>(BigEndianValue(&bank[DebugRegister::kSpeedCycleTime], 2));
        snapshot_.resetCount = bank[DebugRegister::kSpeedResetCounter];
    }

    envelope_.Add(mis);
    snapshot_.codeA = FormatBits(length, codeA);
    snapshot_.codeB = FormatBits(length, codeB);
    view_.codeText = CodeLabelText(snapshot_.codeA, snapshot_.codeB, spacing.spacer);
    view_.cycleText = CycleReportText(cycles_.Add(snapshot_.cycleTime), identity.EncClockMhz);
    view_.resetText = "Sensor reset counter: " + std::to_string(snapshot_.resetCount);

    UpdateWindow(length);
    view_.bars = SpectrumBars(mis, window_);
    view_.fits = FitEnvelope(envelope_);
    view_.tiltText = TiltText(view_.fits.tilt);
    view_.tiltLevel = TiltLevelOf(view_.fits.tilt);
}

void Diagnostics::ResetForConnection()
{
    envelope_.Clear();
    cycles_.Reset();
}

void Diagnostics::UpdateWindow(int codeLength)
{
    if (window_.codeLength != codeLength)
        window_ = WindowFor(codeLength);
}

std::string HardFaultPageText(uint8_t bank, const TBiSS_bank& registers)
{
    std::string text = "Page " + std::to_string(bank) + "\r\n";
    for (size_t r = 0; r < 16; ++r) {
        char line[16];
        std::snprintf(line, sizeof line, "%02X%02X%02X%02X\r\n", registers[4 * r], registers[4 * r + 1],
                      registers[4 * r + 2], registers[4 * r + 3]);
        text += line;
    }
    return text;
}

HardFaultDump ReadHardFaultDump(Link& link)
{
    HardFaultDump dump;
    std::string text;
    for (uint8_t bank : {HardFaultBank0, HardFaultBank1}) {
        switch (SelectCheckedBank(link, bank)) {
        case BankSelection::Failed:
            return dump;
        case BankSelection::Refused:
            dump.result = DebugRead::Refused;
            return dump;
        case BankSelection::Selected:
            break;
        }
        if (!link.ReadRegisters(0, 64))
            return dump;
        text += HardFaultPageText(bank, link.RxBank);
    }
    dump.result = DebugRead::Read;
    dump.text = std::move(text);
    return dump;
}
