#pragma once
// A run record as JSON: what `k417ctl --json` prints and what a record read
// back from any store must equal. The conversion is exact both ways: a
// record made from the JSON of a record equals it.

#include "RunRecord.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

nlohmann::json ToJson(const RunRecord& run);
nlohmann::json ToJson(const StepRecord& step);
nlohmann::json ToJson(const Measurement& measurement);

// The record of such JSON; empty with the reason in error when a field is
// missing or of the wrong type.
std::optional<RunRecord> RunRecordFromJson(const nlohmann::json& json, std::string* error = nullptr);

// JSON text of one line that never throws: bytes that are not UTF-8 (an
// attachment read from a damaged file) are replaced.
std::string JsonLine(const nlohmann::json& json);
