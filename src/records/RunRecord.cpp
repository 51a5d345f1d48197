#include "RunRecord.h"

#include <array>
#include <cctype>
#include <utility>

namespace {
constexpr std::array<std::pair<Outcome, std::string_view>, 6> kOutcomeTexts{{
    {Outcome::Pass, "PASS"},
    {Outcome::Fail, "FAIL"},
    {Outcome::Error, "ERROR"},
    {Outcome::Skipped, "SKIPPED"},
    {Outcome::Aborted, "ABORTED"},
    {Outcome::Running, "RUNNING"},
}};
} // namespace

std::string_view OutcomeText(Outcome outcome)
{
    for (const auto& [value, text] : kOutcomeTexts)
        if (value == outcome)
            return text;
    return "ERROR";
}

std::optional<Outcome> OutcomeFromText(std::string_view text)
{
    for (const auto& [value, name] : kOutcomeTexts) {
        if (name.size() != text.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(text[i])) == name[i];
        if (same)
            return value;
    }
    return std::nullopt;
}
