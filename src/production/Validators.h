#pragma once
// The one place where a value taken by a step is judged against its limits:
// ranges, upper and lower bounds, equality and glob patterns. Each returns
// the measurement with its value, limits, unit and PASS or FAIL.

#include "records/RunRecord.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Inclusive limits; a missing one does not limit. Not a number fails.
Measurement InRange(std::string name, double value, std::optional<double> low, std::optional<double> high,
                    std::string unit = {});
// The value must equal expected.
Measurement Equals(std::string name, double value, double expected, std::string unit = {});
// A text that must equal expected (case matters).
Measurement TextEquals(std::string name, std::string text, std::string expected);
// A text that must match a glob pattern: * any run, ? one character, [abc] one of a set.
Measurement TextMatches(std::string name, std::string text, std::string pattern);
// A yes/no finding that must be yes ("yes"/"no" as its text).
Measurement Holds(std::string name, bool yes);
// A value shown with no limit: always PASS.
Measurement Recorded(std::string name, double value, std::string unit = {});

bool GlobMatch(std::string_view pattern, std::string_view text);
// PASS when every measurement passed, else FAIL.
Outcome Judge(const std::vector<Measurement>& measurements);
// The run's outcome from its steps: ERROR before FAIL before PASS; ABORTED
// when any step was aborted.
Outcome RunOutcome(const std::vector<StepRecord>& steps);
// A measurement as a step line shows it: "temperature 72 °C (wants [10, 60] °C) FAIL".
std::string MeasurementText(const Measurement& m);
// The measurements of a step that matter to the operator: every one that
// missed its limits, and every other one but the lamps that are off
// (counted: "14 lamps off").
std::string StepSummary(const StepRecord& step);
// Why a run did not pass: the first step that did not and its reason
// ("status: temperature 72 °C (wants [10, 60] °C) FAIL"); empty for a PASS.
std::string RunReason(const RunRecord& run);
