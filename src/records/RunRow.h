#pragma once
// What the stores share in reading a run row: its columns in one order
// (run id, plan name, revision, SHA-256, station, operator, label serial,
// family, part number, BiSS, decoded and extended serial, firmware, start,
// end, outcome), whatever the database.

#include "RunRecord.h"

#include <string>

// The outcome a stored text names; fallback for a text no outcome has.
inline Outcome StoredOutcome(const std::string& text, Outcome fallback)
{
    auto outcome = OutcomeFromText(text);
    return outcome ? *outcome : fallback;
}

// The run of a row; column(i) is the text of column i.
template <typename Column>
RunRecord RunFromColumns(const Column& column)
{
    RunRecord run;
    int i = 0;
    run.runId = column(i++);
    run.planName = column(i++);
    run.planRevision = column(i++);
    run.planSha256 = column(i++);
    run.station = column(i++);
    run.operatorName = column(i++);
    run.labelSerial = column(i++);
    run.unit.family = column(i++);
    run.unit.partNumber = column(i++);
    run.unit.bissSerial = column(i++);
    run.unit.decodedSerial = column(i++);
    run.unit.extendedSerial = column(i++);
    run.unit.firmware = column(i++);
    run.started = column(i++);
    run.ended = column(i++);
    run.outcome = StoredOutcome(column(i++), Outcome::Error);
    return run;
}
