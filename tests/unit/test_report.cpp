// Unit reports and yield: the PDF read back by pdftotext, the HTML by an XML
// reader with its chart's curve inline, the yield's counts and Pareto table.

#include "RecordSamples.h"
#include "StoreRig.h"
#include "chart/ChartExport.h"
#include "chart/ErrorMapChart.h"
#include "records/Yield.h"
#include "report/UnitReport.h"
#include "report/YieldChart.h"

#include <gtest/gtest.h>

#include <QXmlStreamReader>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Command(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

// A failed run whose error-map step carries the chart the runner draws.
RunRecord RunWithChart(const ScratchFolder& folder, const std::string& id, const std::string& serial)
{
    RunRecord run = SampleRun(id, serial, "2026-12-09T18:41:12+01:00", Outcome::Fail);
    ChartModel chart;
    SetUpErrorMapChart(chart);
    std::vector<int> curve;
    for (int i = 0; i < 128; ++i)
        curve.push_back(static_cast<int>(40 * std::sin(i / 10.0)));
    DrawErrorMapCurve(chart, curve, 2);
    std::string svgPath = folder.Path() + "/errmap-" + serial + ".svg";
    EXPECT_TRUE(SaveChartFile(chart, svgPath));
    run.steps[2].attachments[1].content = ReadFile(svgPath);
    return run;
}

} // namespace

TEST(UnitReport, PdfHoldsTheSerialEveryStepAndTheVerdictOnA4)
{
    ScratchFolder folder;
    std::vector<RunRecord> runs{RunWithChart(folder, "00000000-0000-4000-8000-0000000000a1", "2J4K7A"),
                                SampleRun("00000000-0000-4000-8000-0000000000a2", "2J4K7A",
                                          "2026-12-09T19:00:00+01:00")};
    std::string pdf = folder.Path() + "/unit.pdf";
    std::string error;
    ASSERT_TRUE(WriteUnitReportPdf(runs, pdf, error)) << error;
    std::string text = Command("pdftotext -layout '" + pdf + "' -");
    for (const char* expected : {"2J4K7A", "FAIL", "PASS", "identify", "Status at rest", "errmap", "zero",
                                 "temperature", "71.25 °C", "[10, 60] °C", "TV657 end of line, revision 3",
                                 "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08", "Mojca Žagar",
                                 "station-1", "2026-12-09T18:41:12+01:00"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " not in\n" << text;
    std::string info = Command("pdfinfo '" + pdf + "'");
    EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
    EXPECT_NE(info.find("Pages:           2"), std::string::npos) << "one run per page: " << info;
    EXPECT_FALSE(std::filesystem::exists(pdf + ".part" + std::to_string(getpid())));
    if (const char* keep = std::getenv("K417_KEEP_REPORT"))
        std::filesystem::copy_file(pdf, keep, std::filesystem::copy_options::overwrite_existing);
}

TEST(UnitReport, HtmlIsOneWellFormedFileWithTheCurveInline)
{
    ScratchFolder folder;
    RunRecord run = RunWithChart(folder, "00000000-0000-4000-8000-0000000000b1", "2J4K7B");
    run.steps[1].message = "temperature <71.25> & \"hot\""; // escaped, not markup
    std::string html = UnitReportHtml({run});
    QXmlStreamReader xml(QByteArray::fromStdString(html));
    int svgs = 0, paths = 0, redCells = 0;
    QString text;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            svgs += xml.name() == QLatin1String("svg");
            paths += xml.name() == QLatin1String("path") || xml.name() == QLatin1String("polyline");
            redCells += xml.attributes().value("class").toString() == "fail";
        }
        if (xml.isCharacters())
            text += xml.text();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
    EXPECT_EQ(svgs, 1);
    EXPECT_GT(paths, 0) << "the curve";
    EXPECT_GE(redCells, 2) << "the failed step and measurement in red";
    for (const char* expected : {"2J4K7B", "FAIL", "Status at rest", "temperature <71.25> & \"hot\"", "zero"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("src="), std::string::npos) << "self-contained";

    // A chart that could run code in the reader's browser stays out.
    for (const char* hostile : {"<svg><script>alert(1)</script></svg>", "<svg onload=\"alert(1)\"></svg>",
                                "<svg><a href=\"JavaScript:alert(1)\">x</a></svg>", "<svg><g>alert</svg>"}) {
        run.steps[2].attachments[1].content = hostile;
        EXPECT_EQ(InlineChartSvg(run.steps[2]), "") << hostile;
        EXPECT_EQ(UnitReportHtml({run}).find("alert"), std::string::npos);
    }
}

TEST(Yield, FirstPassCountsEachUnitsFirstRunOnly)
{
    auto run = [](std::string id, std::string unit, std::string station, std::int64_t day, Outcome outcome) {
        return YieldRun{std::move(id), std::move(unit), std::move(station), "plan", day * 86400000 + 43200000,
                        outcome};
    };
    YieldFacts facts;
    facts.runs = {run("r1", "A", "s1", 20000, Outcome::Fail), run("r2", "A", "s2", 20001, Outcome::Pass),
                  run("r3", "B", "s1", 20000, Outcome::Pass), run("r4", "C", "s2", 20001, Outcome::Error),
                  run("r5", "D", "s1", 20001, Outcome::Aborted), run("r6", "E", "s1", 20001, Outcome::Fail),
                  run("r7", "E", "s1", 20001, Outcome::Fail)};
    facts.failures = {{"r1", "status", "temperature"}, {"r6", "status", "temperature"},
                      {"r7", "identify", "part_number"}, {"r4", "calibrate", ""}, {"r5", "zero", ""}};
    YieldReport total = ComputeYield(facts, YieldGrouping::None);
    EXPECT_EQ(total.total.runs, 6) << "the aborted run says nothing about its unit";
    EXPECT_EQ(total.total.units, 4);
    EXPECT_EQ(total.total.firstPass, 1);  // B only
    EXPECT_EQ(total.total.finalPass, 2);  // A and B
    EXPECT_DOUBLE_EQ(total.total.FirstPassYield(), 25.0);
    EXPECT_DOUBLE_EQ(total.total.FinalYield(), 50.0);
    ASSERT_EQ(total.pareto.size(), 3u);
    EXPECT_EQ(total.failures, 4);
    EXPECT_EQ(total.pareto[0].step, "status");
    EXPECT_EQ(total.pareto[0].measurement, "temperature");
    EXPECT_EQ(total.pareto[0].count, 2);
    EXPECT_DOUBLE_EQ(total.pareto[0].share, 50.0);
    EXPECT_DOUBLE_EQ(total.pareto.back().cumulative, 100.0);

    YieldReport byStation = ComputeYield(facts, YieldGrouping::Station);
    ASSERT_EQ(byStation.groups.size(), 2u);
    EXPECT_EQ(byStation.groups[0].group, "s1");
    EXPECT_EQ(byStation.groups[0].firstUnits, 3); // A, B and E began on s1
    EXPECT_EQ(byStation.groups[0].firstPass, 1);
    EXPECT_EQ(byStation.groups[1].lastUnits, 2);  // A ended on s2, and C
    EXPECT_EQ(byStation.groups[1].finalPass, 1);

    YieldReport byDay = ComputeYield(facts, YieldGrouping::Day);
    ASSERT_EQ(byDay.groups.size(), 2u);
    EXPECT_EQ(byDay.groups[0].runs + byDay.groups[1].runs, 6);

    ChartModel chart;
    BuildParetoChart(chart, total);
    ASSERT_EQ(chart.Series().size(), 2u);
    EXPECT_EQ(chart.Series()[0].Count(), 12u);
}
