#pragma once
// How a record's values read for people: k417ctl, the CSV export and the
// unit report share these texts.

#include "RunRecord.h"

#include <string>

// The unit's serial as people name it: the decoded serial, else the label's.
std::string UnitSerial(const RunRecord& run);
// A number as the record keeps it, shortest exact-enough form ("71.25", "1e-07").
std::string RecordNumberText(double value);
// The value with its unit: "71.25 °C", "TV657-19-16".
std::string MeasurementValueText(const Measurement& m);
// The limits: "[10, 60] °C", ">= 9568", "<= 200", "TV657*", or "" without any.
std::string MeasurementLimitsText(const Measurement& m);
