#pragma once
// The unit report a quality engineer hands a customer: for each run, the
// unit's identity, the plan with its revision and hash, the station, the
// operator and the times, every step with its measurements, limits and
// outcome (failures in red), the error map's chart, and the verdict, large.
//
// As HTML: one self-contained file, the charts inline as SVG. As PDF: A4
// through QPdfWriter, each run from a new page, charts as vectors and the
// text selectable. Both are written to a temporary file and renamed into
// place.

#include "records/RunRecord.h"

#include <string>
#include <vector>

std::string UnitReportHtml(const std::vector<RunRecord>& runs);
bool WriteUnitReportHtml(const std::vector<RunRecord>& runs, const std::string& fileName, std::string& error);
bool WriteUnitReportPdf(const std::vector<RunRecord>& runs, const std::string& fileName, std::string& error);
// PDF for a file name ending in ".pdf" (any case), else HTML.
bool WriteUnitReport(const std::vector<RunRecord>& runs, const std::string& fileName, std::string& error);

// The SVG a step attached as a chart (the error map's), without its XML
// prologue, ready to be put inline; empty when the step has none, or when
// it holds anything that could run in a browser (scripts, event handlers,
// foreign objects, entities) or is not well-formed.
std::string InlineChartSvg(const StepRecord& step);
