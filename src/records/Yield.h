#pragma once
// Yield at a glance: of the units tested, how many passed their first run
// (first-pass yield) and their last (final yield), and which steps and
// measurements fail most (a Pareto table, most frequent first).
//
// A unit is its decoded serial, else its label serial. Runs still going and
// runs the operator aborted say nothing about a unit and are left out.

#include "RunRecord.h"

#include <cstdint>
#include <string>
#include <vector>

// What the yield needs of each ended run, as a store reads it in one pass.
struct YieldRun {
    std::string runId;
    std::string unit;
    std::string station;
    std::string plan;
    std::int64_t startedMs = 0;
    Outcome outcome = Outcome::Pass;
};

// A step that failed or could not measure, with one of its failed
// measurements (empty when none failed: an ERROR, or a FAIL of the step's own).
struct YieldFailure {
    std::string runId;
    std::string step;
    std::string measurement;
};

struct YieldFacts {
    std::vector<YieldRun> runs;
    std::vector<YieldFailure> failures;
};

enum class YieldGrouping { None, Day, Station, Plan };

struct YieldFigures {
    std::string group;   // the day (local date), station or plan; empty for the whole
    int runs = 0;
    int units = 0;       // units with a run in the group
    int firstUnits = 0;  // units whose first run is in the group
    int firstPass = 0;   // ... and passed it
    int lastUnits = 0;   // units whose last run is in the group
    int finalPass = 0;   // ... and passed it
    double FirstPassYield() const { return firstUnits ? 100.0 * firstPass / firstUnits : 0; }
    double FinalYield() const { return lastUnits ? 100.0 * finalPass / lastUnits : 0; }
};

struct ParetoRow {
    std::string step;
    std::string measurement; // empty: the step itself
    int count = 0;
    double share = 0;       // % of all failures
    double cumulative = 0;  // % of all failures up to this row
};

struct YieldReport {
    YieldFigures total;
    std::vector<YieldFigures> groups; // in order of the group's key
    std::vector<ParetoRow> pareto;    // most frequent first
    int failures = 0;
};

YieldReport ComputeYield(const YieldFacts& facts, YieldGrouping by);

// "day", "station", "plan" (or "" for none).
bool YieldGroupingFromText(const std::string& text, YieldGrouping& by);
