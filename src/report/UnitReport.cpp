#include "report/UnitReport.h"

#include "chart/ChartExport.h"
#include "records/RecordText.h"
#include "util/AtomicFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <cctype>

namespace {

constexpr const char* kPassColour = "#1a7f37";
constexpr const char* kFailColour = "#c62828";

bool Failed(Outcome outcome)
{
    return outcome == Outcome::Fail || outcome == Outcome::Error || outcome == Outcome::Aborted;
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += ch;
        }
    }
    return out;
}

// The identity and circumstances of a run, as label and value pairs.
std::vector<std::pair<std::string, std::string>> RunFacts(const RunRecord& run)
{
    return {{"Serial", UnitSerial(run)},
            {"Label serial", run.labelSerial},
            {"Part number", run.unit.partNumber},
            {"Family", run.unit.family},
            {"BiSS serial", run.unit.bissSerial},
            {"Extended serial", run.unit.extendedSerial},
            {"Firmware", run.unit.firmware},
            {"Plan", run.planName + ", revision " + run.planRevision},
            {"Plan SHA-256", run.planSha256},
            {"Station", run.station},
            {"Operator", run.operatorName},
            {"Started", run.started},
            {"Ended", run.ended},
            {"Run", run.runId}};
}

const Attachment* ChartAttachment(const StepRecord& step)
{
    for (const Attachment& a : step.attachments)
        if (a.mediaType == "image/svg+xml")
            return &a;
    return nullptr;
}

} // namespace

// Script, a frame, foreign content, an entity or an event handler attribute
// (" onload=") in a lower-case SVG text.
bool HoldsActiveContent(const std::string& lower)
{
    for (const char* tag : {"<script", "<foreignobject", "<iframe", "javascript:", "<!entity"})
        if (lower.find(tag) != std::string::npos)
            return true;
    const auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f'; };
    for (size_t at = lower.find("on"); at != std::string::npos; at = lower.find("on", at + 1)) {
        if (at == 0 || !blank(lower[at - 1]))
            continue;
        size_t end = at + 2;
        while (end < lower.size() && lower[end] >= 'a' && lower[end] <= 'z')
            ++end;
        if (end == at + 2)
            continue;
        while (end < lower.size() && blank(lower[end]))
            ++end;
        if (end < lower.size() && lower[end] == '=')
            return true;
    }
    return false;
}

std::string InlineChartSvg(const StepRecord& step)
{
    const Attachment* chart = ChartAttachment(step);
    if (!chart)
        return {};
    size_t start = chart->content.find("<svg");
    if (start == std::string::npos)
        return {};
    std::string svg = chart->content.substr(start);
    // A record from a shared database is not trusted to be only a picture:
    // an SVG that could run code in the reader's browser is left out.
    std::string lower = svg;
    for (char& ch : lower)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (HoldsActiveContent(lower))
        return {};
    // Nor one that is not well-formed: it would break the page around it.
    QXmlStreamReader xml(QByteArray::fromStdString(svg));
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        return {};
    return svg;
}

std::string UnitReportHtml(const std::vector<RunRecord>& runs)
{
    std::string html = "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>Unit test report";
    if (!runs.empty())
        html += " " + Escape(UnitSerial(runs.front()));
    html += "</title>\n<style>\n"
            "body{font-family:'DejaVu Sans',Arial,sans-serif;font-size:10pt;margin:2em}\n"
            "section{page-break-after:always;margin-bottom:3em}\n"
            ".verdict{font-size:36pt;font-weight:bold}\n"
            ".pass{color:" + std::string(kPassColour) + "}\n.fail{color:" + kFailColour + "}\n"
            "table{border-collapse:collapse;margin:0.5em 0}\n"
            "td,th{border:1px solid #bbb;padding:2px 6px;text-align:left;vertical-align:top}\n"
            "th{background:#eee}\n"
            ".facts td:first-child{font-weight:bold;border:none}\n.facts td{border:none}\n"
            "</style>\n</head>\n<body>\n";
    for (const RunRecord& run : runs) {
        const char* verdictClass = Failed(run.outcome) ? "fail" : "pass";
        html += "<section>\n<h1>Unit test report: " + Escape(UnitSerial(run)) + "</h1>\n";
        html += "<p class=\"verdict " + std::string(verdictClass) + "\">" + std::string(OutcomeText(run.outcome)) +
                "</p>\n<table class=\"facts\">\n";
        for (const auto& [label, value] : RunFacts(run))
            html += "<tr><td>" + Escape(label) + "</td><td>" + Escape(value) + "</td></tr>\n";
        html += "</table>\n<h2>Steps</h2>\n<table class=\"steps\">\n"
                "<tr><th>#</th><th>Step</th><th>Outcome</th><th>Measurement</th><th>Value</th><th>Limits</th>"
                "<th>Result</th></tr>\n";
        for (const StepRecord& step : run.steps) {
            std::string stepClass = Failed(step.outcome) ? " class=\"fail\"" : "";
            size_t rows = std::max<size_t>(step.measurements.size(), 1);
            html += "<tr" + stepClass + "><td rowspan=\"" + std::to_string(rows) + "\">" +
                    std::to_string(step.index + 1) + "</td><td rowspan=\"" + std::to_string(rows) + "\">" +
                    Escape(step.name) + (step.message.empty() ? "" : "<br/><small>" + Escape(step.message) + "</small>") +
                    "</td><td rowspan=\"" + std::to_string(rows) + "\">" + std::string(OutcomeText(step.outcome)) +
                    "</td>";
            if (step.measurements.empty())
                html += "<td></td><td></td><td></td><td></td></tr>\n";
            for (size_t i = 0; i < step.measurements.size(); ++i) {
                const Measurement& m = step.measurements[i];
                if (i > 0)
                    html += "<tr>";
                std::string cls = Failed(m.outcome) ? " class=\"fail\"" : "";
                html += "<td" + cls + ">" + Escape(m.name) + "</td><td" + cls + ">" + Escape(MeasurementValueText(m)) +
                        "</td><td" + cls + ">" + Escape(MeasurementLimitsText(m)) + "</td><td" + cls + ">" +
                        std::string(OutcomeText(m.outcome)) + "</td></tr>\n";
            }
        }
        html += "</table>\n";
        for (const StepRecord& step : run.steps) {
            std::string svg = InlineChartSvg(step);
            if (!svg.empty())
                html += "<h2>" + Escape(step.name) + "</h2>\n<figure>\n" + svg + "\n</figure>\n";
        }
        html += "</section>\n";
    }
    html += "</body>\n</html>\n";
    return html;
}

bool WriteUnitReportHtml(const std::vector<RunRecord>& runs, const std::string& fileName, std::string& error)
{
    error = WriteWholeFile(fileName, UnitReportHtml(runs));
    return error.empty();
}

namespace {

// Lays text out down A4 pages, starting a new page when the next line would
// not fit.
class PdfPages {
public:
    PdfPages(QPdfWriter& writer, QPainter& painter) : writer_(writer), painter_(painter)
    {
        width_ = painter.viewport().width();
        height_ = painter.viewport().height();
    }
    double Width() const { return width_; }
    // Makes room for h; a new page when it does not fit.
    void Room(double h)
    {
        if (y_ + h > height_ && y_ > 0)
            NewPage();
    }
    void NewPage()
    {
        writer_.newPage();
        y_ = 0;
    }
    // One line of cells at the given x offsets; returns its height.
    void Line(const std::vector<std::pair<double, QString>>& cells, const QFont& font, QColor colour)
    {
        painter_.setFont(font);
        QFontMetricsF metrics(font, &writer_);
        double h = metrics.height() * 1.25;
        Room(h);
        painter_.setPen(colour);
        for (size_t i = 0; i < cells.size(); ++i) {
            double right = i + 1 < cells.size() ? cells[i + 1].first - 6 : width_;
            QString text = metrics.elidedText(cells[i].second, Qt::ElideRight, right - cells[i].first);
            painter_.drawText(QPointF(cells[i].first, y_ + metrics.ascent()), text);
        }
        y_ += h;
    }
    void Space(double h) { y_ += h; }
    // An SVG chart under its title, the full width, as vectors; nothing for
    // an SVG that does not read.
    void Chart(const QString& title, const QFont& font, const std::string& svg)
    {
        QSvgRenderer renderer(QByteArray::fromStdString(svg));
        if (!renderer.isValid())
            return;
        Space(width_ * 0.02);
        Line({{0, title}}, font, Qt::black);
        QSizeF size = renderer.defaultSize();
        double w = width_;
        double h = size.width() > 0 ? w * size.height() / size.width() : w * 0.6;
        Room(h);
        renderer.render(&painter_, QRectF(0, y_, w, h));
        y_ += h;
    }

private:
    QPdfWriter& writer_;
    QPainter& painter_;
    double width_ = 0, height_ = 0, y_ = 0;
};

} // namespace

bool WriteUnitReportPdf(const std::vector<RunRecord>& runs, const std::string& fileName, std::string& error)
{
    EnsureFontsWithoutWindow();
    // The whole document is drawn in memory, then written as the whole file.
    QByteArray bytes;
    const bool drawn = [&] {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            QPdfWriter writer(&buffer);
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
            writer.setResolution(300);
            writer.setTitle(QString::fromStdString(runs.empty() ? "Unit test report"
                                                                : "Unit test report " + UnitSerial(runs.front())));
            writer.setCreator("k417");
            QPainter painter;
            if (!painter.begin(&writer)) {
                error = "cannot create " + fileName;
                return false;
            }
            PdfPages pages(writer, painter);
            QFont body("DejaVu Sans"), bold("DejaVu Sans"), heading("DejaVu Sans"), verdict("DejaVu Sans");
            body.setPointSizeF(8.5);
            bold.setPointSizeF(8.5);
            bold.setBold(true);
            heading.setPointSizeF(14);
            heading.setBold(true);
            verdict.setPointSizeF(36);
            verdict.setBold(true);
            const QColor black(Qt::black), red(kFailColour), green(kPassColour);
            double w = pages.Width();
            for (size_t r = 0; r < runs.size(); ++r) {
                const RunRecord& run = runs[r];
                if (r > 0)
                    pages.NewPage();
                pages.Line({{0, QString::fromStdString("Unit test report: " + UnitSerial(run))}}, heading, black);
                pages.Line({{0, QString::fromUtf8(OutcomeText(run.outcome).data(),
                                                   static_cast<int>(OutcomeText(run.outcome).size()))}},
                           verdict, Failed(run.outcome) ? red : green);
                for (const auto& [label, value] : RunFacts(run))
                    pages.Line({{0, QString::fromStdString(label)}, {w * 0.2, QString::fromStdString(value)}}, body,
                               black);
                pages.Space(w * 0.02);
                const std::vector<double> columns{0, w * 0.04, w * 0.27, w * 0.37, w * 0.6, w * 0.75, w * 0.92};
                auto row = [&](const std::vector<std::string>& texts) {
                    std::vector<std::pair<double, QString>> cells;
                    for (size_t i = 0; i < texts.size(); ++i)
                        cells.push_back({columns[i], QString::fromStdString(texts[i])});
                    return cells;
                };
                pages.Line(row({"#", "Step", "Outcome", "Measurement", "Value", "Limits", "Result"}), bold, black);
                for (const StepRecord& step : run.steps) {
                    QColor stepColour = Failed(step.outcome) ? red : black;
                    std::vector<std::string> first{std::to_string(step.index + 1), step.name,
                                                   std::string(OutcomeText(step.outcome))};
                    if (step.measurements.empty())
                        pages.Line(row(first), body, stepColour);
                    for (size_t i = 0; i < step.measurements.size(); ++i) {
                        const Measurement& m = step.measurements[i];
                        std::vector<std::string> texts =
                            i == 0 ? first : std::vector<std::string>{"", "", ""};
                        texts.insert(texts.end(), {m.name, MeasurementValueText(m), MeasurementLimitsText(m),
                                                   std::string(OutcomeText(m.outcome))});
                        pages.Line(row(texts), body, Failed(m.outcome) || (i == 0 && Failed(step.outcome)) ? red : black);
                    }
                    if (!step.message.empty())
                        pages.Line({{columns[1], QString::fromStdString(step.message)}}, body, stepColour);
                }
                for (const StepRecord& step : run.steps) {
                    std::string svg = InlineChartSvg(step);
                    if (svg.empty())
                        continue;
                    pages.Chart(QString::fromStdString(step.name), bold, svg);
                }
            }
            if (!painter.end()) {
                error = "cannot write " + fileName;
                return false;
            }
            return true;
        }();
    if (!drawn)
        return false;
    error = WriteWholeFile(fileName, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    return error.empty();
}

bool WriteUnitReport(const std::vector<RunRecord>& runs, const std::string& fileName, std::string& error)
{
    std::string extension = fileName.size() >= 4 ? fileName.substr(fileName.size() - 4) : std::string();
    for (char& ch : extension)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return extension == ".pdf" ? WriteUnitReportPdf(runs, fileName, error) : WriteUnitReportHtml(runs, fileName, error);
}
