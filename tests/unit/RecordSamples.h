#pragma once
// Run records for the store tests and benchmarks: every field filled, text
// and numeric values, limits on one side only, attachments with bytes of
// every kind.

#include "records/RunRecord.h"
#include "records/RunRecordJson.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

// A run id of the test runs: a UUID numbered n.
inline std::string SampleRunId(int n)
{
    char text[40];
    std::snprintf(text, sizeof text, "6f1c2b3a-0000-4000-8000-%012d", n);
    return text;
}

// The record read back equals the one written, every field of it.
inline void ExpectSameRecord(const RunRecord& expected, const std::optional<RunRecord>& actual)
{
    ASSERT_TRUE(actual.has_value());
    EXPECT_EQ(ToJson(expected), ToJson(*actual));
}

inline Measurement SampleNumber(std::string name, double value, double low, double high, std::string unit,
                                Outcome outcome = Outcome::Pass)
{
    Measurement m;
    m.name = std::move(name);
    m.number = value;
    m.low = low;
    m.high = high;
    m.unit = std::move(unit);
    m.outcome = outcome;
    return m;
}

// A run of a four-step plan on unit `serial`; the status step fails when
// outcome is Fail.
inline RunRecord SampleRun(const std::string& runId, const std::string& serial, const std::string& started,
                           Outcome outcome = Outcome::Pass, const std::string& station = "station-1",
                           const std::string& plan = "TV657 end of line")
{
    RunRecord run;
    run.runId = runId;
    run.planName = plan;
    run.planRevision = "3";
    run.planSha256 = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
    run.station = station;
    run.operatorName = "Mojca Žagar";
    run.labelSerial = serial;
    run.unit = {"Torvik", "TV657-19-16", "0x00012345", serial, "EXT-" + serial, "9568"};
    run.started = started;
    run.ended = started.substr(0, 17) + "59.875+01:00";
    run.outcome = outcome;

    StepRecord identify;
    identify.index = 0;
    identify.kind = "identify";
    identify.name = "identify";
    identify.outcome = Outcome::Pass;
    identify.started = started;
    identify.ended = started;
    Measurement part;
    part.name = "part_number";
    part.text = "TV657-19-16";
    part.expected = "TV657*";
    identify.measurements.push_back(part);
    identify.measurements.push_back(SampleNumber("firmware_build", 9568, 9568, 1e300, ""));
    identify.measurements.back().high.reset();
    run.steps.push_back(identify);

    StepRecord status;
    status.index = 1;
    status.kind = "status";
    status.name = "Status at rest";
    status.outcome = outcome == Outcome::Fail ? Outcome::Fail : Outcome::Pass;
    status.message = outcome == Outcome::Fail ? "temperature 71.25 °C above 60" : "";
    status.started = started;
    status.ended = started;
    status.measurements.push_back(SampleNumber("temperature", outcome == Outcome::Fail ? 71.25 : 0.1 + 0.2, 10, 60,
                                               "°C", status.outcome));
    status.measurements.push_back(SampleNumber("signal_level", 1234.5678901234567, 800, 2000, ""));
    run.steps.push_back(status);

    StepRecord errmap;
    errmap.index = 2;
    errmap.kind = "errmap";
    errmap.name = "errmap";
    errmap.outcome = Outcome::Pass;
    errmap.started = started;
    errmap.ended = started;
    errmap.measurements.push_back(SampleNumber("peak_to_peak", -1.5e-7, 0, 200, "counts"));
    errmap.measurements.back().low.reset();
    errmap.attachments.push_back({"errmap.csv", "text/csv", "angle;error\r\n0;1\r\n"});
    errmap.attachments.push_back({"errmap.svg", "image/svg+xml", std::string("<svg>\0x</svg>", 13)});
    run.steps.push_back(errmap);

    StepRecord zero;
    zero.index = 3;
    zero.kind = "zero";
    zero.name = "zero";
    zero.outcome = Outcome::Skipped;
    run.steps.push_back(zero);
    return run;
}
