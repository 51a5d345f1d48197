// k417ctl's recording and diagnostics: the Test page's position recording
// and the Debug page's snapshot with its derived figures.

#include "cli/Commands.h"

#include "encoder/Diagnostics.h"
#include "monitor/Recording.h"

#include <ostream>

namespace {

int Record(CliContext& c, std::vector<std::string>& args)
{
    long long count = 0, interval = 50;
    std::string error;
    if (!TakeNumberOption(args, "--count", 1, 1000000000, count, error) ||
        !TakeNumberOption(args, "--interval", 0, 10000, interval, error))
        return UsageError(c, error);
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return UsageError(c, "record takes FILE, --interval MS and --count N");
    if (!c.ConnectIdentified())
        return Unreachable(c);
    Session& s = c.GetSession();
    Recorder& recorder = s.Recording();
    const RecordingStart start = recorder.Start(RecordingKind::Position, count, s.GetLink().EncoderSignature, args[0]);
    if (!start.ok) {
        c.PrintStatus(start.errorText);
        return kExitFailed;
    }
    int result = kExitOk;
    std::optional<RecordingEnd> end;
    for (bool first = true; recorder.Running() && !CliStopRequested(); first = false) {
        if (!first && interval > 0)
            c.Wait(static_cast<int>(interval));
        s.MonitorTick();
        recorder.FlushIfDue();
        if (s.Monitor().LastReport().portLost)
            break;
    }
    end = recorder.TakeEnd();
    const std::optional<std::string> stopError = recorder.Stop();
    if (end && end->reason == RecordingEnd::Reason::WriteFailed) {
        c.PrintStatus(end->errorText);
        result = kExitFailed;
    } else if (stopError) {
        c.PrintStatus(*stopError);
        result = kExitFailed;
    }
    JsonObject json;
    json.Add("file", start.fileName).Add("rows", static_cast<int64_t>(recorder.Rows()))
        .Add("elapsed", ElapsedText(recorder.ElapsedMs()));
    c.Print(json, std::to_string(recorder.Rows()) + " rows in " + ElapsedText(recorder.ElapsedMs()) + " to " +
                      start.fileName + "\n");
    return result;
}

int Diag(CliContext& c, std::vector<std::string>& args)
{
    if (!args.empty())
        return UsageError(c, "diag takes no arguments");
    if (!c.ConnectIdentified())
        return Unreachable(c);
    Session& s = c.GetSession();
    DebugReadout& debug = s.Debug();
    // The debug banks open only after the unlock, as the Debug page's button does it.
    DebugRead read = debug.ReadNow(s.GetLink());
    if (read == DebugRead::Refused) {
        const EncoderOutcome unlock = debug.Unlock(s.GetLink());
        if (!unlock.ok) {
            c.PrintStatus(unlock.statusText);
            return kExitFailed;
        }
        read = debug.ReadNow(s.GetLink());
    }
    if (read != DebugRead::Read) {
        c.PrintStatus(read == DebugRead::Refused ? "Error\r\nThe encoder keeps its debug bank locked"
                                                 : "Error\r\n" + s.GetLink().LastErrorText);
        return kExitFailed;
    }
    const DebugSnapshot& snap = debug.State().Snapshot();
    const DebugView& view = debug.State().View();
    std::vector<int64_t> samples(std::begin(snap.samples), std::end(snap.samples));
    std::vector<int64_t> bars(view.bars.begin(), view.bars.end());
    JsonObject json;
    json.Add("samples", samples).Add("codeA", snap.codeA).Add("codeB", snap.codeB)
        .Add("cycleTime", static_cast<int64_t>(snap.cycleTime)).Add("resetCount", static_cast<int64_t>(snap.resetCount))
        .Add("decoding", view.decodingText).Add("cycle", view.cycleText.value_or("")).Add("spectrum", bars)
        .Add("tilt", view.tiltText);
    std::string text = "Samples:     ";
    for (size_t i = 0; i < samples.size(); ++i)
        text += (i ? " " : "") + std::to_string(samples[i]);
    text += "\nCode words:  " + snap.codeA + " " + snap.codeB + "\n" + view.decodingText + "\n";
    if (view.cycleText)
        text += *view.cycleText + "\n";
    text += view.resetText + "\nSpectrum:    " + std::to_string(view.bars[0]) + " " + std::to_string(view.bars[1]) +
            " " + std::to_string(view.bars[2]) + "\n" + view.tiltText + "\n";
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.replace(at, 2, "\n");
    c.Print(json, text);
    return kExitOk;
}

} // namespace

void AddMonitorSubcommands(std::vector<Subcommand>& list)
{
    list.push_back({"record", "FILE [--interval MS] [--count N]", "the position recording, one row per reading", Record});
    list.push_back({"diag", "", "a diagnostics snapshot with its spectrum, cycle time and tilt", Diag});
}
