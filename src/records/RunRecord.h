#pragma once
// The record of one unit's run through an end-of-line test plan: who and
// what was tested, where, when, and every step with its measurements. It is
// the one thing the record store keeps, `k417ctl --json` prints and the unit
// report draws. Plain data, no behaviour beyond the outcome texts.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Running: the run row exists but the run has not ended (yet). A store that
// finds such a run left over from an earlier program shows it as Aborted.
enum class Outcome { Pass, Fail, Error, Skipped, Aborted, Running };

// "PASS", "FAIL", "ERROR", "SKIPPED", "ABORTED", "RUNNING".
std::string_view OutcomeText(Outcome outcome);
// The outcome of one of those texts (any case); empty for anything else.
std::optional<Outcome> OutcomeFromText(std::string_view text);

// One value taken by a step, judged against its limits.
struct Measurement {
    std::string name;             // a fixed name: "temperature", "lamp Error", "config 0.18", ...
    std::optional<double> number; // a numeric value; empty for a text value
    std::string text;             // a text value (part number, a yes/no), empty for a number
    std::optional<double> low;    // inclusive limits of a number, where it has them
    std::optional<double> high;
    std::string expected;         // an equality or glob limit of a text value
    std::string unit;             // "°C", "µm", "counts", ... or empty
    Outcome outcome = Outcome::Pass; // Pass or Fail
};

// A file kept with a step: the error map's CSV, its chart as SVG.
struct Attachment {
    std::string name;      // "errmap.csv", "errmap.svg"
    std::string mediaType; // "text/csv", "image/svg+xml"
    std::string content;
};

struct StepRecord {
    int index = 0;            // 0-based position in the plan
    std::string kind;         // "identify", "datasheet", ...
    std::string name;         // the plan's name for it, or the kind
    Outcome outcome = Outcome::Skipped;
    std::string message;      // why it failed or could not measure; empty on PASS
    std::string started;      // ISO 8601 with the UTC offset; empty when skipped
    std::string ended;
    std::vector<Measurement> measurements;
    std::vector<Attachment> attachments;
};

// What the identification found on the unit.
struct UnitIdentity {
    std::string family;         // "Torvik", "Quenra", "Linear", "" when not identified
    std::string partNumber;
    std::string bissSerial;     // the slave's serial number registers
    std::string decodedSerial;  // the maker's 6-character serial
    std::string extendedSerial;
    std::string firmware;       // firmware build as text
};

struct RunRecord {
    std::string runId;         // UUID, lower-case, with hyphens
    std::string planName;
    std::string planRevision;
    std::string planSha256;    // of the plan file's bytes, lower-case hex
    std::string station;       // host name
    std::string operatorName;
    std::string labelSerial;   // the serial the operator typed or scanned
    UnitIdentity unit;
    std::string started;       // ISO 8601 with the UTC offset
    std::string ended;         // empty while running
    Outcome outcome = Outcome::Running;
    std::vector<StepRecord> steps;
};
