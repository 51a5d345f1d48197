#include "production/Validators.h"

#include "records/RecordText.h"

#include <cmath>
#include <cstdio>

Measurement InRange(std::string name, double value, std::optional<double> low, std::optional<double> high,
                    std::string unit)
{
    Measurement m;
    m.name = std::move(name);
    m.number = value;
    m.low = low;
    m.high = high;
    m.unit = std::move(unit);
    const bool ok = std::isfinite(value) && (!low || value >= *low) && (!high || value <= *high);
    m.outcome = ok ? Outcome::Pass : Outcome::Fail;
    return m;
}

Measurement Equals(std::string name, double value, double expected, std::string unit)
{
    return InRange(std::move(name), value, expected, expected, std::move(unit));
}

Measurement TextEquals(std::string name, std::string text, std::string expected)
{
    Measurement m;
    m.name = std::move(name);
    m.outcome = text == expected ? Outcome::Pass : Outcome::Fail;
    m.text = std::move(text);
    m.expected = std::move(expected);
    return m;
}

Measurement TextMatches(std::string name, std::string text, std::string pattern)
{
    Measurement m;
    m.name = std::move(name);
    m.outcome = GlobMatch(pattern, text) ? Outcome::Pass : Outcome::Fail;
    m.text = std::move(text);
    m.expected = std::move(pattern);
    return m;
}

Measurement Holds(std::string name, bool yes)
{
    return TextEquals(std::move(name), yes ? "yes" : "no", "yes");
}

Measurement Recorded(std::string name, double value, std::string unit)
{
    return InRange(std::move(name), value, std::nullopt, std::nullopt, std::move(unit));
}

namespace {
// The length of the pattern's token at p when it matches c ("?", "[set]" or
// the character itself), else 0.
size_t MatchOne(std::string_view pattern, size_t p, char c)
{
    if (pattern[p] == '?')
        return 1;
    if (pattern[p] == '[') {
        const size_t close = pattern.find(']', p + 2);
        if (close != std::string_view::npos)
            return pattern.substr(p + 1, close - p - 1).find(c) != std::string_view::npos ? close - p + 1 : 0;
    }
    return pattern[p] == c ? 1 : 0;
}
} // namespace

bool GlobMatch(std::string_view pattern, std::string_view text)
{
    // One backtrack point, at the last '*', is enough.
    size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
            continue;
        }
        if (p < pattern.size()) {
            if (const size_t length = MatchOne(pattern, p, text[t])) {
                p += length;
                ++t;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        p = starP + 1;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

Outcome Judge(const std::vector<Measurement>& measurements)
{
    for (const Measurement& m : measurements)
        if (m.outcome != Outcome::Pass)
            return Outcome::Fail;
    return Outcome::Pass;
}

Outcome RunOutcome(const std::vector<StepRecord>& steps)
{
    bool error = false, fail = false;
    for (const StepRecord& s : steps) {
        if (s.outcome == Outcome::Aborted)
            return Outcome::Aborted;
        error = error || s.outcome == Outcome::Error;
        fail = fail || s.outcome == Outcome::Fail;
    }
    return error ? Outcome::Error : fail ? Outcome::Fail : Outcome::Pass;
}

std::string MeasurementText(const Measurement& m)
{
    std::string text = m.name + " " + MeasurementValueText(m);
    // The limits unless they only repeat the value (a text that is as expected).
    if (m.number && m.low && m.high && *m.low == *m.high) {
        text += " (wants " + RecordNumberText(*m.low) + (m.unit.empty() ? "" : " " + m.unit) + ")";
    } else if (m.number || m.expected != m.text) {
        const std::string limits = MeasurementLimitsText(m);
        if (!limits.empty())
            text += " (wants " + limits + ")";
    }
    if (m.outcome != Outcome::Pass)
        text += " " + std::string(OutcomeText(m.outcome));
    return text;
}

std::string StepSummary(const StepRecord& step)
{
    std::string text;
    int lampsOff = 0;
    for (const Measurement& m : step.measurements) {
        if (m.outcome == Outcome::Pass && m.name.rfind("lamp ", 0) == 0) {
            ++lampsOff;
            continue;
        }
        text += (text.empty() ? "" : ", ") + MeasurementText(m);
    }
    if (lampsOff)
        text += (text.empty() ? "" : ", ") + std::to_string(lampsOff) + " lamps off";
    return text;
}

std::string RunReason(const RunRecord& run)
{
    if (run.outcome == Outcome::Pass)
        return {};
    for (const StepRecord& s : run.steps)
        if (s.outcome != Outcome::Pass && s.outcome != Outcome::Skipped)
            return s.name + (s.message.empty() ? std::string() : ": " + s.message);
    return {};
}
