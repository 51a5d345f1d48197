#include "RecordText.h"

#include <cstdio>

std::string UnitSerial(const RunRecord& run)
{
    return run.unit.decodedSerial.empty() ? run.labelSerial : run.unit.decodedSerial;
}

std::string RecordNumberText(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string MeasurementValueText(const Measurement& m)
{
    if (!m.number)
        return m.text;
    std::string text = RecordNumberText(*m.number);
    if (!m.unit.empty())
        text += " " + m.unit;
    return text;
}

std::string MeasurementLimitsText(const Measurement& m)
{
    std::string text;
    if (m.low && m.high)
        text = "[" + RecordNumberText(*m.low) + ", " + RecordNumberText(*m.high) + "]";
    else if (m.low)
        text = ">= " + RecordNumberText(*m.low);
    else if (m.high)
        text = "<= " + RecordNumberText(*m.high);
    if (!text.empty() && !m.unit.empty())
        text += " " + m.unit;
    if (!m.expected.empty())
        text += (text.empty() ? "" : " ") + m.expected;
    return text;
}
