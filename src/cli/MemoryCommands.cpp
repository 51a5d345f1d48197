// k417ctl's register banks, user memory and error map: the window's pages
// "BiSS Banks", "User mem" and "Error Map", with the same files.

#include "cli/Commands.h"

#include "biss/BankBrowser.h"
#include "chart/ChartExport.h"
#include "chart/ErrorMapChart.h"
#include "encoder/ErrorMap.h"
#include "encoder/UserMemory.h"
#include "link/PowerCycle.h"
#include "session/ServiceActions.h"
#include "util/CsvFile.h"
#include "util/NumberText.h"


#include <algorithm>
#include <chrono>
#include <ostream>

namespace {

// Progress of long actions, with -v.
ProgressText Progress(CliContext& c)
{
    return [&c](const std::string& text) {
        if (c.Options().verbose)
            c.Err() << text << '\n';
    };
}

bool TakeFlag(std::vector<std::string>& args, const std::string& flag)
{
    for (auto it = args.begin(); it != args.end(); ++it)
        if (*it == flag) {
            args.erase(it);
            return true;
        }
    return false;
}

bool Number(const std::string& text, long long minimum, long long maximum, long long& value)
{
    return ParseCliNumber(text, value) && value >= minimum && value <= maximum;
}

// --- bank -------------------------------------------------------------------

int Bank(CliContext& c, std::vector<std::string>& args)
{
    long long bank = 0;
    if (args.size() != 1 || !Number(args[0], 0, 255, bank))
        return UsageError(c, "bank takes a bank number (0-255)");
    if (!c.ConnectEncoder())
        return Unreachable(c);
    const BankReadOutcome out = ReadRegisterBank(c.GetSession().GetLink(), static_cast<uint8_t>(bank));
    if (!out.ok || !out.rows) {
        c.PrintStatus("Error\r\n" + c.GetSession().GetLink().LastErrorText);
        return kExitFailed;
    }
    std::vector<int64_t> values;
    std::string text = (out.description ? *out.description : std::string()) + "\n";
    for (const BankRow& row : *out.rows) {
        values.push_back(std::stoll(row[2]));
        text += row[0] + "  " + row[1] + "  " + row[2] + "\n";
    }
    JsonObject json;
    json.Add("bank", out.description ? *out.description : std::string()).Add("values", values);
    c.Print(json, text);
    return kExitOk;
}

// --- usermem ----------------------------------------------------------------



bool UserBanks(CliContext& c, UserBankRange& range)
{
    if (!c.ConnectIdentified())
        return false;
    range = UserBanksOf(c.GetSession().GetLink());
    if (!range.Declared()) {
        c.PrintStatus("Error\r\nThe encoder's datasheet declares no user memory");
        return false;
    }
    return true;
}

int UserMemorySave(CliContext& c, const std::string& file)
{
    UserBankRange range;
    if (!UserBanks(c, range))
        return Unreachable(c);
    Link& link = c.GetSession().GetLink();
    const UserMemorySaveOutcome out =
        SaveUserMemoryFile(link, range, link.EncoderSignature, file, Progress(c));
    UsePointAsDecimalSeparator();
    if (!out.fileError.empty()) {
        c.PrintStatus(out.fileError);
        return kExitFailed;
    }
    if (!out.ReadOk()) {
        c.PrintStatus(kUserMemoryReadErrorsText + out.errorText);
        c.PrintStatus(out.statusText);
        return kExitFailed;
    }
    JsonObject json;
    json.Add("file", file).Add("firstBank", static_cast<int>(range.first)).Add("lastBank", static_cast<int>(range.last));
    c.Print(json, "Saved user banks " + std::to_string(range.first) + "-" + std::to_string(range.last) + " to " + file + "\n");
    return kExitOk;
}

int UserMemoryLoad(CliContext& c, const std::string& file)
{
    // The file first: a file that cannot be read costs no traffic.
    CsvLineReader csv;
    if (!csv.Open(file)) {
        c.PrintStatus(csv.ErrorText());
        return kExitFailed;
    }
    UserBankRange range;
    if (!UserBanks(c, range))
        return Unreachable(c);
    const UserMemoryLoadOutcome out = LoadUserMemoryLines(c.GetSession().GetLink(), range, csv, Progress(c), SleepMs);
    UsePointAsDecimalSeparator();
    // The report lists the file's two header lines too, as the window shows
    // it; a file saved by the tool is no failure for that.
    const bool onlyHeaderSkipped = std::all_of(out.skippedLines.begin(), out.skippedLines.end(),
                                               [&out](size_t line) { return out.toolHeader && line <= 2; });
    JsonObject json;
    json.Add("file", file).Add("writtenBanks", out.writtenBanks).Add("errors", out.errorText);
    c.Print(json, "Written banks: " + out.writtenBanks + "\n");
    if (!out.errorText.empty())
        c.PrintStatus(kUserMemoryLoadErrorsText + out.errorText);
    if (!out.trafficOk)
        c.PrintStatus(out.statusText);
    return onlyHeaderSkipped && out.trafficOk ? kExitOk : kExitFailed;
}

int UserMemoryGetSet(CliContext& c, std::vector<std::string>& args, bool set)
{
    const bool noVerify = TakeFlag(args, "--no-verify");
    long long bank = 0, address = 0, value = 0;
    if (args.size() != (set ? 3u : 2u) || !Number(args[0], 0, 255, bank) || !Number(args[1], 0, 63, address) ||
        (set && !Number(args[2], 0, 255, value)))
        return UsageError(c, set ? "usermem set takes BANK ADDR (0-63) VALUE (0-255)" : "usermem get takes BANK ADDR (0-63)");
    UserBankRange range;
    if (!UserBanks(c, range))
        return Unreachable(c);
    if (!range.Contains(bank)) {
        c.PrintStatus("Error\r\nBank " + std::to_string(bank) + " is not a user bank (" + std::to_string(range.first) +
                      "-" + std::to_string(range.last) + ")");
        return kExitFailed;
    }
    Link& link = c.GetSession().GetLink();
    if (!set) {
        const UserRegisterRead read = ReadUserRegister(link, static_cast<uint8_t>(bank), static_cast<uint8_t>(address));
        if (!read.outcome.ok) {
            c.PrintStatus(read.outcome.statusText);
            return kExitFailed;
        }
        JsonObject json;
        json.Add("bank", static_cast<int64_t>(bank)).Add("address", static_cast<int64_t>(address)).Add("value", static_cast<int64_t>(read.value));
        c.Print(json, std::to_string(read.value) + "\n");
        return kExitOk;
    }
    // The window warns when the encoder is write protected, and writes all the same.
    CliPrompts prompts(c);
    ServiceActions actions(c.GetSession(), prompts, CliWaits());
    actions.Read(ConfigPage::Other);
    actions.WarnIfWriteProtected(false);
    const UserRegisterWrite write = WriteUserRegister(link, static_cast<uint8_t>(bank), static_cast<uint8_t>(address),
                                                      static_cast<uint8_t>(value), !noVerify, SleepMs);
    if (!write.outcome.ok) {
        c.PrintStatus(write.outcome.statusText);
        return kExitFailed;
    }
    JsonObject json;
    json.Add("written", true).Add("verify", VerifyText(write.verify));
    c.Print(json, std::string("Write OK, ") + VerifyText(write.verify) + "\n");
    return write.verify == VerifyResult::Fail ? kExitFailed : kExitOk;
}

int UserMemoryTest(CliContext& c)
{
    if (!c.Options().yes) {
        c.PrintStatus(kUserMemoryTestQuestion);
        c.Err() << "k417ctl: not confirmed; give --yes to answer Yes\n";
        return kExitFailed;
    }
    UserBankRange range;
    if (!UserBanks(c, range))
        return Unreachable(c);
    if (const std::optional<std::string> problem = UserMemoryTestRangeProblem(range)) {
        c.PrintStatus(*problem);
        return kExitFailed;
    }
    UserMemoryTestHooks hooks;
    const int steps = UserMemoryTestSteps(range);
    hooks.show = [&c, steps](int position, const std::string& text) {
        if (position >= 0)
            c.Err() << "[" << position << "/" << steps << "] ";
        c.Err() << text << '\n';
    };
    hooks.serve = [] { return !CliStopRequested(); };
    hooks.block = SleepMs;
    const auto seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const UserMemoryTestOutcome out = RunUserMemoryTest(c.GetSession().GetLink(), c.GetSession(), range, seed, hooks);
    JsonObject json;
    json.Add("passed", out.ending == UserMemoryTestOutcome::Ending::Passed).Add("result", out.resultText);
    c.Print(json, out.resultText + "\n");
    if (out.ending == UserMemoryTestOutcome::Ending::Failed)
        c.PrintStatus(out.statusText);
    return out.ending == UserMemoryTestOutcome::Ending::Passed ? kExitOk : kExitFailed;
}

int UserMemory(CliContext& c, std::vector<std::string>& args)
{
    if (args.empty())
        return UsageError(c, "usermem takes save FILE, load FILE, get BANK ADDR, set BANK ADDR VALUE [--no-verify] or test");
    const std::string verb = args[0];
    args.erase(args.begin());
    if ((verb == "save" || verb == "load") && args.size() != 1)
        return UsageError(c, "usermem " + verb + " takes a FILE");
    if (verb == "save")
        return UserMemorySave(c, args[0]);
    if (verb == "load")
        return UserMemoryLoad(c, args[0]);
    if (verb == "get" || verb == "set")
        return UserMemoryGetSet(c, args, verb == "set");
    if (verb == "test" && args.empty())
        return UserMemoryTest(c);
    return UsageError(c, "usermem: unknown \"" + verb + "\"");
}

// --- errmap -----------------------------------------------------------------

int ErrorMapRead(CliContext& c, std::vector<std::string>& args)
{
    std::string chartFile;
    for (size_t i = 0; i < args.size(); ++i)
        if (args[i] == "--chart" && i + 1 < args.size()) {
            chartFile = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
            break;
        }
    if (!args.empty())
        return UsageError(c, "errmap read takes only --chart FILE");
    if (!chartFile.empty() && !ChartImageFormatOf(chartFile))
        return UsageError(c, "--chart: the file's extension names the format: png, bmp, svg, emf or wmf");
    if (!c.ConnectIdentified())
        return Unreachable(c);
    Link& link = c.GetSession().GetLink();
    const ErrorMapReadOutcome out = ReadErrorMap(link, ErrorMapPageCount(link.EncoderSignature), Progress(c));
    if (!out.ok) {
        c.PrintStatus(out.statusText);
        return kExitFailed;
    }
    std::vector<int64_t> curve(out.curve.begin(), out.curve.end());
    JsonObject json;
    json.Add("pages", out.pageCount).Add("curve", curve).Add("checksums", out.checksumText).Add("checksumsOk", out.ChecksumsOk());
    std::string text;
    for (size_t i = 0; i < out.curve.size(); ++i)
        text += std::to_string(i) + ";" + std::to_string(out.curve[i]) + "\n";
    std::string report = out.checksumText;
    for (char& ch : report)
        if (ch == '\r')
            ch = ' ';
    c.Print(json, text + report + "\n");
    if (!chartFile.empty()) {
        ChartModel chart;
        SetUpErrorMapChart(chart);
        DrawErrorMapCurve(chart, out.curve, out.pageCount);
        if (!SaveChartFile(chart, chartFile)) {
            c.PrintStatus("Error\r\nThe chart could not be saved to " + chartFile);
            return kExitFailed;
        }
    }
    return out.ChecksumsOk() ? kExitOk : kExitFailed;
}

int ErrorMapSave(CliContext& c, const std::string& file)
{
    if (!c.ConnectIdentified())
        return Unreachable(c);
    Link& link = c.GetSession().GetLink();
    const int pageCount = ErrorMapPageCount(link.EncoderSignature);
    const ErrorMapReadOutcome out = ReadErrorMap(link, pageCount, Progress(c));
    if (!out.ok) {
        c.PrintStatus(out.statusText);
        return kExitFailed;
    }
    // As the window: a map whose stored checksums differ is not saved, and no file is made.
    if (!out.ChecksumsOk()) {
        c.PrintStatus(kErrorMapReadErrorText);
        return kExitFailed;
    }
    const std::string error = WriteErrorMapFile(file, link.EncoderSignature, out.pages, pageCount);
    UsePointAsDecimalSeparator();
    if (!error.empty()) {
        c.PrintStatus(error);
        return kExitFailed;
    }
    JsonObject json;
    json.Add("file", file).Add("pages", pageCount);
    c.Print(json, "Saved the error map (" + std::to_string(pageCount) + " pages) to " + file + "\n");
    return kExitOk;
}

int ErrorMapLoad(CliContext& c, const std::string& file)
{
    CsvLineReader csv;
    if (!csv.Open(file)) {
        c.PrintStatus(csv.ErrorText());
        return kExitFailed;
    }
    if (!c.ConnectIdentified())
        return Unreachable(c);
    Link& link = c.GetSession().GetLink();
    const int pageCount = ErrorMapPageCount(link.EncoderSignature);
    const ErrorMapFile map = ParseErrorMapFile(csv, pageCount, Progress(c));
    UsePointAsDecimalSeparator();
    // As the window: a file with errors or too few lines writes nothing.
    if (!map.errorText.empty()) {
        c.PrintStatus(kErrorMapErrorsText + map.errorText);
        return kExitFailed;
    }
    if (!map.Complete(pageCount)) {
        c.PrintStatus(kErrorMapLineCountText);
        return kExitFailed;
    }
    const ErrorMapWriteOutcome out = WriteErrorMap(link, map.pages, pageCount, Progress(c), SleepMs);
    JsonObject json;
    json.Add("file", file).Add("writtenBanks", out.writtenBanks).Add("ok", out.ok);
    c.Print(json, "Written banks: " + out.writtenBanks + "\n");
    if (!out.ok || !out.errorText.empty()) {
        c.PrintStatus(kErrorMapErrorsText + out.errorText);
        if (!out.statusText.empty())
            c.PrintStatus(out.statusText);
        return kExitFailed;
    }
    return kExitOk;
}

int ErrorMap(CliContext& c, std::vector<std::string>& args)
{
    if (args.empty())
        return UsageError(c, "errmap takes read [--chart FILE], save FILE or load FILE");
    const std::string verb = args[0];
    args.erase(args.begin());
    if (verb == "read")
        return ErrorMapRead(c, args);
    if ((verb == "save" || verb == "load") && args.size() == 1)
        return verb == "save" ? ErrorMapSave(c, args[0]) : ErrorMapLoad(c, args[0]);
    return UsageError(c, "errmap takes read [--chart FILE], save FILE or load FILE");
}

} // namespace

void AddMemorySubcommands(std::vector<Subcommand>& list)
{
    list.push_back({"bank", "B", "a register bank read back with its kind, then its 64 registers", Bank});
    list.push_back({"usermem", "save FILE | load FILE | get BANK ADDR | set BANK ADDR VALUE [--no-verify] | test",
                    "the user memory: files, single registers, the destructive test (needs --yes)", UserMemory});
    list.push_back({"errmap", "read [--chart FILE] | save FILE | load FILE",
                    "the error map: points and checksums, its chart, its file", ErrorMap});
}
