// k417ctl records: the runs a store keeps, listed, shown, sent from the
// station's spool, summed up as yield, exported and reported.

#include "cli/RecordsCommands.h"

#include "chart/ChartExport.h"
#include "cli/Commands.h"
#include "records/RecordText.h"
#include "records/RecordTime.h"
#include "records/RunRecordJson.h"
#include "report/UnitReport.h"
#include "report/YieldChart.h"
#include "util/AtomicFile.h"
#include "util/Text.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <set>

bool TakeTextOption(std::vector<std::string>& args, const std::string& name, std::string& value, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i + 2));
            return true;
        }
        if (StartsWith(args[i], name + "=")) {
            value = args[i].substr(name.size() + 1);
            args.erase(args.begin() + static_cast<long>(i));
            return true;
        }
    }
    return true;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name)
{
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end())
        return false;
    args.erase(it);
    return true;
}

std::unique_ptr<RecordStore> OpenCliStore(CliContext& c, std::vector<std::string>& args, int& result)
{
    std::string location, error;
    if (!TakeTextOption(args, "--db", location, error)) {
        result = UsageError(c, error);
        return nullptr;
    }
    if (location.empty())
        location = c.Options().db;
    if (location.empty())
        location = DefaultStoreLocation();
    StoreStatus status;
    auto store = OpenRecordStore(location, &status);
    if (!store) {
        c.Err() << "k417ctl: " << status.error << "\n";
        result = kExitFailed;
    }
    return store;
}

namespace {

// What records commands share: the store, the output form, the filters.
struct RecordsArgs {
    std::unique_ptr<RecordStore> store;
    bool json = false;
    RunFilter filter;
};

// Takes the filter options out of args; false (result set) on a wrong one.
bool TakeFilter(CliContext& c, std::vector<std::string>& args, RunFilter& filter, int& result)
{
    std::string error, outcome;
    long long limit = 0;
    if (!TakeTextOption(args, "--serial", filter.serial, error) ||
        !TakeTextOption(args, "--part", filter.partNumber, error) ||
        !TakeTextOption(args, "--plan", filter.plan, error) ||
        !TakeTextOption(args, "--station", filter.station, error) ||
        !TakeTextOption(args, "--since", filter.since, error) ||
        !TakeTextOption(args, "--until", filter.until, error) ||
        !TakeTextOption(args, "--outcome", outcome, error) ||
        !TakeNumberOption(args, "--limit", 0, 1000000000, limit, error)) {
        result = UsageError(c, error);
        return false;
    }
    filter.limit = static_cast<int>(limit);
    if (!outcome.empty()) {
        filter.outcome = OutcomeFromText(outcome);
        if (!filter.outcome) {
            result = UsageError(c, "--outcome takes PASS, FAIL, ERROR, ABORTED or RUNNING, not \"" + outcome + "\"");
            return false;
        }
    }
    for (const auto& [name, value] : {std::pair{"--since", filter.since}, std::pair{"--until", filter.until}})
        if (!value.empty() && !IsoTimeToMs(value)) {
            result = UsageError(c, std::string(name) + " takes a date (2026-12-09) or date-time "
                                                       "(2026-12-09T14:00, optionally with +01:00), not \"" +
                                       value + "\"");
            return false;
        }
    return true;
}

// The options every records subcommand takes: --db and --json.
bool TakeCommon(CliContext& c, std::vector<std::string>& args, RecordsArgs& r, int& result)
{
    r.json = TakeFlag(args, "--json") || c.Json();
    r.store = OpenCliStore(c, args, result);
    return r.store != nullptr;
}

bool OnlyPositional(CliContext& c, const std::vector<std::string>& args, size_t count, const char* usage, int& result)
{
    for (const std::string& a : args)
        if (a.size() > 1 && a[0] == '-') {
            result = UsageError(c, "unknown option " + a);
            return false;
        }
    if (args.size() != count) {
        result = UsageError(c, std::string("usage: k417ctl records ") + usage);
        return false;
    }
    return true;
}

// Filters, --db, --json and exactly count positional arguments.
bool TakeFilteredArgs(CliContext& c, std::vector<std::string>& args, RecordsArgs& r, size_t count, const char* usage,
                      int& result)
{
    return TakeFilter(c, args, r.filter, result) && TakeCommon(c, args, r, result) &&
           OnlyPositional(c, args, count, usage, result);
}

// A failed read: the reason on stderr, exit 1.
int StoreFailed(CliContext& c, const StoreStatus& status)
{
    c.Err() << "k417ctl: " << status.error << "\n";
    return kExitFailed;
}

std::string Padded(std::string text, size_t width)
{
    // Width in characters, not bytes: "°" and "Ž" take one column.
    size_t columns = 0;
    for (unsigned char ch : text)
        columns += (ch & 0xC0) != 0x80;
    if (columns < width)
        text.append(width - columns, ' ');
    return text;
}

int List(CliContext& c, std::vector<std::string>& args)
{
    RecordsArgs r;
    int result = kExitOk;
    if (!TakeFilteredArgs(c, args, r, 0, "list [filters]", result))
        return result;
    StoreStatus status;
    std::vector<RunRecord> runs = r.store->List(r.filter, &status);
    if (!status && runs.empty())
        return StoreFailed(c, status);
    std::vector<std::string> spooledIds = r.store->SpooledRunIds();
    std::set<std::string> spooled(spooledIds.begin(), spooledIds.end());
    for (const RunRecord& run : runs) {
        bool kept = spooled.count(run.runId) > 0;
        if (r.json) {
            nlohmann::json json = ToJson(run);
            json.erase("steps");
            json["spooled"] = kept;
            c.Out() << JsonLine(json) << "\n";
        } else {
            c.Out() << run.runId << "  " << Padded(run.started, 29) << "  " << Padded(std::string(OutcomeText(run.outcome)), 7)
                    << "  " << Padded(UnitSerial(run), 8) << "  " << Padded(run.unit.partNumber, 14) << "  "
                    << run.planName << " rev " << run.planRevision << "  " << run.station
                    << (kept ? std::string("  (") + kSpooledMessage + ")" : std::string()) << "\n";
        }
    }
    if (!status) {
        // Part of the list could not be read (the plant's server): what was
        // there is printed, the gap is said, and the exit status tells.
        return StoreFailed(c, status);
    }
    return kExitOk;
}

void PrintRunText(std::ostream& out, const RunRecord& run, bool spooled)
{
    out << "Run       " << run.runId << (spooled ? std::string("  (") + kSpooledMessage + ")" : std::string()) << "\n"
        << "Outcome   " << OutcomeText(run.outcome) << "\n"
        << "Plan      " << run.planName << ", revision " << run.planRevision << ", SHA-256 " << run.planSha256 << "\n"
        << "Station   " << run.station << ", operator " << run.operatorName << "\n"
        << "Unit      " << run.unit.family << " " << run.unit.partNumber << ", serial " << run.unit.decodedSerial
        << " (label " << run.labelSerial << ", BiSS " << run.unit.bissSerial << ", extended "
        << run.unit.extendedSerial << "), firmware " << run.unit.firmware << "\n"
        << "Started   " << run.started << "\n"
        << "Ended     " << run.ended << "\n";
    for (const StepRecord& step : run.steps) {
        out << "  " << Padded(std::string(OutcomeText(step.outcome)), 8) << step.name
            << (step.name != step.kind ? " (" + step.kind + ")" : std::string())
            << (step.message.empty() ? std::string() : ": " + step.message) << "\n";
        for (const Measurement& m : step.measurements)
            out << "            " << Padded(m.name, 22) << Padded(MeasurementValueText(m), 18)
                << Padded(MeasurementLimitsText(m), 22) << OutcomeText(m.outcome) << "\n";
        for (const Attachment& a : step.attachments)
            out << "            attachment " << a.name << " (" << a.mediaType << ", " << a.content.size()
                << " bytes)\n";
    }
}

int Show(CliContext& c, std::vector<std::string>& args)
{
    RecordsArgs r;
    int result = kExitOk;
    if (!TakeCommon(c, args, r, result) || !OnlyPositional(c, args, 1, "show RUN", result))
        return result;
    StoreStatus status;
    auto run = r.store->Show(args[0], &status);
    if (!status)
        return StoreFailed(c, status);
    if (!run) {
        c.Err() << "k417ctl: no run " << args[0] << " in " << r.store->Location() << "\n";
        return kExitFailed;
    }
    std::vector<std::string> spooled = r.store->SpooledRunIds();
    bool kept = std::find(spooled.begin(), spooled.end(), run->runId) != spooled.end();
    if (r.json)
        c.Out() << JsonLine(ToJson(*run)) << "\n";
    else
        PrintRunText(c.Out(), *run, kept);
    return kExitOk;
}

int Sync(CliContext& c, std::vector<std::string>& args)
{
    RecordsArgs r;
    int result = kExitOk;
    if (!TakeCommon(c, args, r, result) || !OnlyPositional(c, args, 0, "sync", result))
        return result;
    SyncResult sync = r.store->Sync();
    if (r.json)
        c.Out() << JsonLine({{"sent", sync.sent}, {"left", sync.left}, {"ok", sync.status.ok},
                             {"error", sync.status.error}})
                << "\n";
    else
        c.Out() << sync.sent << " runs sent, " << sync.left << " kept on this station\n";
    if (!sync.status)
        return StoreFailed(c, sync.status);
    return kExitOk;
}

std::string Percent(double value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.1f %%", value);
    return text;
}

nlohmann::json FiguresJson(const YieldFigures& f)
{
    nlohmann::json json{{"runs", f.runs},
                        {"units", f.units},
                        {"first_pass_units", f.firstPass},
                        {"first_run_units", f.firstUnits},
                        {"first_pass_yield", f.FirstPassYield()},
                        {"final_pass_units", f.finalPass},
                        {"last_run_units", f.lastUnits},
                        {"final_yield", f.FinalYield()}};
    if (!f.group.empty())
        json["group"] = f.group;
    return json;
}

int Yield(CliContext& c, std::vector<std::string>& args)
{
    RecordsArgs r;
    int result = kExitOk;
    std::string by, chartFile, error;
    if (!TakeTextOption(args, "--by", by, error) || !TakeTextOption(args, "--chart", chartFile, error))
        return UsageError(c, error);
    YieldGrouping grouping = YieldGrouping::None;
    if (!YieldGroupingFromText(by, grouping))
        return UsageError(c, "--by takes day, station or plan, not \"" + by + "\"");
    if (!chartFile.empty() && !ChartImageFormatOf(chartFile))
        return UsageError(c, "--chart takes a file whose name ends in .png, .bmp, .svg, .emf or .wmf");
    if (!TakeFilteredArgs(c, args, r, 0,
                          "yield [--plan NAME] [--since DATE] [--until DATE] [--by day|station|plan] [--chart FILE]",
                          result))
        return result;
    StoreStatus status;
    YieldFacts facts = r.store->CollectYieldFacts(r.filter, &status);
    if (!status && facts.runs.empty())
        return StoreFailed(c, status);
    YieldReport report = ComputeYield(facts, grouping);
    if (r.json) {
        nlohmann::json json = FiguresJson(report.total);
        json["failures"] = report.failures;
        json["groups"] = nlohmann::json::array();
        for (const YieldFigures& g : report.groups)
            json["groups"].push_back(FiguresJson(g));
        json["pareto"] = nlohmann::json::array();
        for (const ParetoRow& row : report.pareto)
            json["pareto"].push_back({{"step", row.step},
                                      {"measurement", row.measurement},
                                      {"count", row.count},
                                      {"share", row.share},
                                      {"cumulative", row.cumulative}});
        c.Out() << JsonLine(json) << "\n";
    } else {
        const YieldFigures& t = report.total;
        std::ostream& out = c.Out();
        out << "units " << t.units << ", runs " << t.runs << "\n"
            << "first-pass yield " << Percent(t.FirstPassYield()) << " (" << t.firstPass << " of " << t.firstUnits
            << " units passed their first run)\n"
            << "final yield      " << Percent(t.FinalYield()) << " (" << t.finalPass << " of " << t.lastUnits
            << " units passed their last run)\n";
        if (!report.groups.empty()) {
            char header[96];
            std::snprintf(header, sizeof header, "%6s %6s  %10s %8s", "units", "runs", "first-pass", "final");
            out << "\n" << Padded(by, 24) << "  " << header << "\n";
            for (const YieldFigures& g : report.groups) {
                char line[96];
                std::snprintf(line, sizeof line, "%6d %6d  %10s %8s", g.units, g.runs, Percent(g.FirstPassYield()).c_str(),
                              Percent(g.FinalYield()).c_str());
                out << Padded(g.group, 24) << "  " << line << "\n";
            }
        }
        if (!report.pareto.empty()) {
            out << "\nfailures, most frequent first (" << report.failures << ")\n"
                << "   #  count   share    cum.  step / measurement\n";
            for (size_t i = 0; i < report.pareto.size(); ++i) {
                const ParetoRow& row = report.pareto[i];
                char line[64];
                std::snprintf(line, sizeof line, "%4zu %6d %7s %7s  ", i + 1, row.count, Percent(row.share).c_str(),
                              Percent(row.cumulative).c_str());
                out << line << row.step << (row.measurement.empty() ? "" : " / " + row.measurement) << "\n";
            }
        }
    }
    if (!chartFile.empty()) {
        ChartModel chart;
        BuildParetoChart(chart, report);
        if (!SaveChartFile(chart, chartFile)) {
            c.Err() << "k417ctl: cannot write " << chartFile << "\n";
            return kExitFailed;
        }
    }
    return status ? kExitOk : StoreFailed(c, status);
}

// A CSV field: quoted when it holds the separator, a quote or a line break.
std::string CsvField(const std::string& text)
{
    if (text.find_first_of(";\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char ch : text)
        quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return quoted + "\"";
}

std::string OptionalNumber(const std::optional<double>& value)
{
    return value ? RecordNumberText(*value) : std::string();
}

int Export(CliContext& c, std::vector<std::string>& args)
{
    RecordsArgs r;
    int result = kExitOk;
    if (!TakeFilteredArgs(c, args, r, 1, "export FILE.csv [filters]", result))
        return result;
    StoreStatus status;
    std::vector<RunRecord> runs = r.store->List(r.filter, &status);
    if (!status)
        return StoreFailed(c, status);
    // Oldest first, as a spreadsheet reads a history.
    std::reverse(runs.begin(), runs.end());
    std::ostringstream csv;
    csv << "run_id;started;ended;station;operator;plan;plan_revision;plan_sha256;label_serial;decoded_serial;"
           "biss_serial;part_number;firmware;run_outcome;step_index;step;step_kind;step_outcome;measurement;value;"
           "low;high;expected;unit;measurement_outcome\r\n";
    size_t rows = 0;
    for (const RunRecord& listed : runs) {
        auto run = r.store->Show(listed.runId, &status);
        if (!status)
            return StoreFailed(c, status);
        if (!run)
            continue;
        std::string head;
        for (const std::string& field :
             {run->runId, run->started, run->ended, run->station, run->operatorName, run->planName, run->planRevision,
              run->planSha256, run->labelSerial, run->unit.decodedSerial, run->unit.bissSerial, run->unit.partNumber,
              run->unit.firmware, std::string(OutcomeText(run->outcome))})
            head += CsvField(field) + ";";
        for (const StepRecord& step : run->steps)
            for (const Measurement& m : step.measurements) {
                csv << head;
                bool firstField = true;
                for (const std::string& field :
                     {std::to_string(step.index), step.name, step.kind, std::string(OutcomeText(step.outcome)), m.name,
                      m.number ? RecordNumberText(*m.number) : m.text, OptionalNumber(m.low), OptionalNumber(m.high),
                      m.expected, m.unit, std::string(OutcomeText(m.outcome))}) {
                    csv << (firstField ? "" : ";") << CsvField(field);
                    firstField = false;
                }
                csv << "\r\n";
                ++rows;
            }
    }
    const std::string error = WriteWholeFile(args[0], csv.str());
    if (!error.empty()) {
        c.Err() << "k417ctl: " << error << "\n";
        return kExitFailed;
    }
    if (r.json)
        c.Out() << JsonLine({{"file", args[0]}, {"runs", runs.size()}, {"rows", rows}}) << "\n";
    else
        c.Out() << rows << " measurements of " << runs.size() << " runs to " << args[0] << "\n";
    return kExitOk;
}

int Report(CliContext& c, std::vector<std::string>& args)
{
    RecordsArgs r;
    int result = kExitOk;
    std::string html, pdf, error;
    bool all = TakeFlag(args, "--all");
    if (!TakeTextOption(args, "--html", html, error) || !TakeTextOption(args, "--pdf", pdf, error))
        return UsageError(c, error);
    if (html.empty() == pdf.empty())
        return UsageError(c, "report takes RUN or SERIAL and one of --html FILE or --pdf FILE");
    if (!TakeCommon(c, args, r, result) || !OnlyPositional(c, args, 1, "report RUN|SERIAL [--all] --html FILE | --pdf FILE", result))
        return result;
    // A run id, else a serial: its latest run, or all its runs oldest first.
    StoreStatus status;
    std::vector<RunRecord> runs;
    if (auto run = r.store->Show(args[0], &status))
        runs.push_back(*run);
    if (runs.empty()) {
        RunFilter filter;
        filter.serial = args[0];
        filter.limit = all ? 0 : 1;
        std::vector<RunRecord> listed = r.store->List(filter, &status);
        if (!status)
            return StoreFailed(c, status);
        std::reverse(listed.begin(), listed.end());
        for (const RunRecord& l : listed)
            if (auto run = r.store->Show(l.runId, &status))
                runs.push_back(*run);
    }
    if (runs.empty()) {
        c.Err() << "k417ctl: no run or serial " << args[0] << " in " << r.store->Location() << "\n";
        return kExitFailed;
    }
    bool written = html.empty() ? WriteUnitReportPdf(runs, pdf, error) : WriteUnitReportHtml(runs, html, error);
    if (!written) {
        c.Err() << "k417ctl: " << error << "\n";
        return kExitFailed;
    }
    const std::string& file = html.empty() ? pdf : html;
    if (r.json)
        c.Out() << JsonLine({{"file", file}, {"runs", runs.size()}}) << "\n";
    else
        c.Out() << "report of " << runs.size() << (runs.size() == 1 ? " run" : " runs") << " to " << file << "\n";
    return kExitOk;
}

struct RecordsAction {
    const char* name;
    int (*run)(CliContext& c, std::vector<std::string>& args);
};

constexpr RecordsAction kActions[] = {
    {"list", List},
    {"show", Show},
    {"sync", Sync},
    {"yield", Yield},
    {"export", Export},
    {"report", Report},
};

int Records(CliContext& c, std::vector<std::string>& args)
{
    if (!args.empty())
        for (const RecordsAction& action : kActions)
            if (args[0] == action.name) {
                args.erase(args.begin());
                return action.run(c, args);
            }
    return UsageError(c, "records takes list, show RUN, sync, yield, export FILE.csv or report RUN|SERIAL "
                         "(and --db PATH|URI)");
}

} // namespace

void AddRecordsSubcommands(std::vector<Subcommand>& list)
{
    list.push_back({"records",
                    "list|show RUN|sync|yield|export FILE.csv|report RUN|SERIAL [--db PATH|URI] [FILTERS]",
                    "run records: list, show, send the spool, yield, CSV export, unit report (HTML, PDF)\n"
                    "    FILTERS: --serial S --part P --outcome O --plan NAME --station ST --since DATE --until DATE\n"
                    "             --limit N; yield: --by day|station|plan --chart FILE; report: --all --html|--pdf FILE",
                    Records});
}
