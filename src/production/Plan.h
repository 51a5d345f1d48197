#pragma once
// An end-of-line test plan: the TOML file an engineer writes, parsed into
// its name, revision, fingerprint, family, stop rule and steps. Parsing is
// pure (text in, a plan or errors out); each error names the file, the line
// and the key, so the engineer finds it before a unit is touched.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What a step's parameter holds. A kind declares each of its keys with one.
enum class ParamType {
    Integer,        // 10
    Number,         // 10 or 0.02
    Text,           // "TV657*"
    Range,          // [low, high], numbers, low <= high
    TextOrList,     // "all" or ["Error", "Signal Lost"]
    RegisterValues  // { "0.18" = 45 }: configuration fields and whole numbers
};

struct ParamValue {
    ParamType type = ParamType::Integer;
    int line = 0;
    double number = 0;                 // Integer, Number
    std::string text;                  // Text; TextOrList given as one text
    std::vector<std::string> list;     // TextOrList given as a list
    double low = 0, high = 0;          // Range
    std::vector<std::pair<std::string, long long>> registers; // RegisterValues, in the file's key order
};

struct PlanStep {
    int index = 0;      // 0-based
    int line = 0;       // of its [[step]] header
    std::string kind;
    std::string name;   // the plan's name for it, or the kind
    std::map<std::string, ParamValue> params;

    bool Has(const std::string& key) const { return params.count(key) != 0; }
    const ParamValue* Find(const std::string& key) const;
    double Number(const std::string& key, double fallback) const;
    std::optional<double> OptionalNumber(const std::string& key) const;
    std::string Text(const std::string& key, const std::string& fallback = {}) const;
};

struct Plan {
    std::string file;       // as it was named
    std::string directory;  // the folder of the file; step files are relative to it ("" for the current one)
    std::string name;
    std::string revision;
    std::string sha256;     // of the file's bytes
    std::string family;     // "torvik", "quenra", "linear" or empty
    bool stopOnFail = true;
    std::vector<PlanStep> steps;
};

struct PlanError {
    std::string file;
    int line = 0;           // 0: the file as a whole
    std::string key;        // the key at fault, empty when none
    std::string message;
    // "plan.toml:12: max_crc_errors: wants an integer, not a text"
    std::string Text() const;
};

struct PlanParse {
    std::optional<Plan> plan;         // set when there are no errors
    std::vector<PlanError> errors;
    bool ok() const { return plan.has_value(); }
    // Every error, one to a line.
    std::string ErrorText() const;
};

// Parses a plan's text; fileName names it in errors and places the step files.
PlanParse ParsePlan(std::string_view text, const std::string& fileName);
// Reads and parses a plan file; a file that cannot be read is an error too.
// Files a step names (user memory) must exist.
PlanParse LoadPlan(const std::string& fileName);

// A step file's path: relative names are taken from the plan's folder.
std::string PlanRelativePath(const Plan& plan, const std::string& name);
