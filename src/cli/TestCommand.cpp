// k417ctl test: a unit through an end-of-line test plan, one line per step
// as it ends, the run's outcome last, the record kept in the store.

#include "cli/Commands.h"
#include "cli/RecordsCommands.h"

#include "production/Plan.h"
#include "production/Runner.h"
#include "production/Validators.h"
#include "records/RunRecordJson.h"
#include "util/Text.h"

#include <cerrno>
#include <ostream>
#include <poll.h>
#include <unistd.h>

namespace {

// The operator's side of the run on a terminal.
class CliRunObserver final : public RunObserver {
public:
    explicit CliRunObserver(CliContext& c) : c_(c) {}

    void StepEnded(const StepRecord& step) override
    {
        std::string line = std::string(OutcomeText(step.outcome));
        line.resize(8, ' ');
        std::string name = step.name;
        if (name.size() < 14)
            name.resize(14, ' ');
        line += name;
        line += StepSummary(step);
        // The reason, unless the measurements on the line already tell it.
        if (!step.message.empty() && step.outcome != Outcome::Pass && line.find(step.message) == std::string::npos)
            line += "\n        " + step.message;
        // With --json the record alone goes to stdout.
        (c_.Json() ? c_.Err() : c_.Out()) << line << '\n' << std::flush;
    }

    bool Prompt(const std::string& text) override
    {
        c_.Err() << text << '\n';
        if (c_.Options().yes)
            return true;
        c_.Err() << "Press Enter to go on (Ctrl+C stops the run)\n" << std::flush;
        return ReadLine();
    }

    void Notice(const std::string& text) override { c_.Err() << "k417ctl: " << text << '\n'; }

private:
    // A line from stdin, waiting while no stop was asked for. False at the
    // end of the input or when the run is stopped.
    bool ReadLine()
    {
        for (;;) {
            if (CliStopRequested())
                return false;
            pollfd in{STDIN_FILENO, POLLIN, 0};
            const int ready = ::poll(&in, 1, 100);
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready <= 0)
                continue;
            char ch = 0;
            const ssize_t got = ::read(STDIN_FILENO, &ch, 1);
            if (got <= 0)
                return false;
            if (ch == '\n')
                return true;
        }
    }

    CliContext& c_;
};

int Test(CliContext& c, std::vector<std::string>& args)
{
    std::string serial, operatorName, error;
    if (!TakeTextOption(args, "--serial", serial, error) || !TakeTextOption(args, "--operator", operatorName, error))
        return UsageError(c, error);
    // The plan and the store first: a mistake in either costs no traffic.
    int result = kExitOk;
    std::unique_ptr<RecordStore> store;
    std::string planFile;
    for (const std::string& a : args)
        if (StartsWith(a, "-") && a != "--db" && !StartsWith(a, "--db="))
            return UsageError(c, "test: unknown option " + a);
    {
        std::vector<std::string> rest = args;
        std::string db;
        if (!TakeTextOption(rest, "--db", db, error))
            return UsageError(c, error);
        if (rest.size() != 1)
            return UsageError(c, "test takes one PLAN file, --serial S, --operator NAME and --db PATH");
        planFile = rest[0];
    }
    const PlanParse plan = LoadPlan(planFile);
    if (!plan.ok()) {
        c.Err() << plan.ErrorText();
        return kExitUsage;
    }
    store = OpenCliStore(c, args, result);
    if (!store)
        return result;
    if (!c.ConnectIdentified())
        return Unreachable(c);

    CliRunObserver observer(c);
    RunControl control;
    control.waits = CliWaits();
    control.stopRequested = [] { return CliStopRequested().load(); };
    PlanRunner runner(c.GetSession(), store.get(), observer, control);
    RunIdentity identity;
    identity.labelSerial = TrimControl(serial);
    identity.operatorName = operatorName;
    if (identity.operatorName.empty())
        for (const char* name : {"K417_OPERATOR", "USER", "LOGNAME"})
            if (const char* value = std::getenv(name); value && *value) {
                identity.operatorName = value;
                break;
            }
    const RunRecord run = runner.Run(*plan.plan, identity);

    if (c.Json()) {
        c.Out() << JsonLine(ToJson(run)) << '\n';
    } else {
        const std::string reason = RunReason(run);
        c.Out() << OutcomeText(run.outcome) << "  " << run.planName
                << (run.planRevision.empty() ? "" : " rev " + run.planRevision) << "  " << run.unit.partNumber << " "
                << run.unit.decodedSerial << "  run " << run.runId << (reason.empty() ? "" : "  at " + reason)
                << '\n';
    }
    c.Out().flush();
    if (!runner.Stored()) {
        c.Err() << "k417ctl: the record was not kept in full\n";
        return kExitFailed;
    }
    return run.outcome == Outcome::Pass ? kExitOk : kExitFailed;
}

} // namespace

void AddTestSubcommand(std::vector<Subcommand>& list)
{
    list.push_back({"test", "PLAN [--serial S] [--operator NAME] [--db PATH|URI]",
                    "a unit through an end-of-line test plan, one line per step, the record kept", Test});
}
