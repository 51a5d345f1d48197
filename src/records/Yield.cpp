#include "Yield.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>

namespace {
std::string LocalDay(std::int64_t ms)
{
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

std::string GroupOf(const YieldRun& run, YieldGrouping by)
{
    switch (by) {
    case YieldGrouping::Day:
        return LocalDay(run.startedMs);
    case YieldGrouping::Station:
        return run.station;
    case YieldGrouping::Plan:
        return run.plan;
    case YieldGrouping::None:
        break;
    }
    return {};
}

bool Counted(Outcome outcome)
{
    return outcome == Outcome::Pass || outcome == Outcome::Fail || outcome == Outcome::Error;
}
} // namespace

bool YieldGroupingFromText(const std::string& text, YieldGrouping& by)
{
    static const std::map<std::string, YieldGrouping> names{
        {"", YieldGrouping::None}, {"day", YieldGrouping::Day}, {"station", YieldGrouping::Station},
        {"plan", YieldGrouping::Plan}};
    auto it = names.find(text);
    if (it == names.end())
        return false;
    by = it->second;
    return true;
}

YieldReport ComputeYield(const YieldFacts& facts, YieldGrouping by)
{
    // Each unit's runs in the order they started.
    std::vector<const YieldRun*> runs;
    for (const YieldRun& run : facts.runs)
        if (Counted(run.outcome))
            runs.push_back(&run);
    std::sort(runs.begin(), runs.end(), [](const YieldRun* a, const YieldRun* b) {
        if (a->unit != b->unit)
            return a->unit < b->unit;
        return a->startedMs != b->startedMs ? a->startedMs < b->startedMs : a->runId < b->runId;
    });

    YieldReport report;
    std::map<std::string, YieldFigures> groups;
    std::map<std::string, std::set<std::string>> unitsOf;
    std::set<std::string> counted;
    for (size_t i = 0; i < runs.size(); ++i) {
        const YieldRun& run = *runs[i];
        bool first = i == 0 || runs[i - 1]->unit != run.unit;
        bool last = i + 1 == runs.size() || runs[i + 1]->unit != run.unit;
        bool pass = run.outcome == Outcome::Pass;
        counted.insert(run.runId);
        for (YieldFigures* figures : {&report.total, by == YieldGrouping::None ? nullptr : &groups[GroupOf(run, by)]}) {
            if (!figures)
                continue;
            ++figures->runs;
            figures->firstUnits += first;
            figures->firstPass += first && pass;
            figures->lastUnits += last;
            figures->finalPass += last && pass;
        }
        if (by != YieldGrouping::None)
            unitsOf[GroupOf(run, by)].insert(run.unit);
        report.total.units += first;
    }
    for (auto& [key, figures] : groups) {
        figures.group = key;
        figures.units = static_cast<int>(unitsOf[key].size());
        report.groups.push_back(figures);
    }

    std::map<std::pair<std::string, std::string>, int> counts;
    for (const YieldFailure& failure : facts.failures)
        if (counted.count(failure.runId)) {
            ++counts[{failure.step, failure.measurement}];
            ++report.failures;
        }
    for (const auto& [key, count] : counts)
        report.pareto.push_back({key.first, key.second, count, 0, 0});
    std::stable_sort(report.pareto.begin(), report.pareto.end(),
                     [](const ParetoRow& a, const ParetoRow& b) { return a.count > b.count; });
    int sum = 0;
    for (ParetoRow& row : report.pareto) {
        sum += row.count;
        row.share = 100.0 * row.count / report.failures;
        row.cumulative = 100.0 * sum / report.failures;
    }
    return report;
}
