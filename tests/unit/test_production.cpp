// End-of-line test plans: the plan file and its errors, the validators, and
// the runner on the session against the simulated box, with a store in memory.

#include "MemoryStore.h"
#include "cli/Cli.h"
#include "cli/Commands.h"
#include "production/Plan.h"
#include "production/Runner.h"
#include "production/Validators.h"
#include "sim/Simulator.h"
#include "util/Sha256.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

const char* kFullPlan = R"(# every kind once
[plan]
name = "TV657 end of line"
revision = "3"
family = "torvik"
stop_on_fail = true

[[step]]
kind = "identify"
part_number = "TV657*"
min_firmware = 9568

[[step]]
kind = "datasheet"
singleturn_bits = 18
multiturn_bits = 16

[[step]]
kind = "config"
set = { "0.18" = 45 }
expect = { "0.04" = 16 }

[[step]]
kind = "usermem"
file = "station.csv"

[[step]]
kind = "errmap"
max_peak_to_peak = 200

[[step]]
kind = "calibrate"
arc = 360
timeout = 10
max_eccentricity_um = 50
max_accuracy_after_deg = 0.02

[[step]]
kind = "status"
name = "Status at rest"
lamps_off = "all"
temperature = [10, 60]
signal_level = [800, 20000]
air_gap_um = [0, 3000]

[[step]]
kind = "position"
count = 1000
interval_ms = 1
max_crc_errors = 0
max_noise_counts = 4

[[step]]
kind = "zero"
max_after_counts = 2

[[step]]
kind = "power_cycle"
cycles = 10
off_ms = 500

[[step]]
kind = "prompt"
text = "Mount the unit on the test motor"
)";

TEST(PlanFile, ParsesEveryKindWithItsValuesAndFingerprint)
{
    const PlanParse parse = ParsePlan(kFullPlan, "plans/tv657.toml");
    ASSERT_TRUE(parse.ok()) << parse.ErrorText();
    const Plan& plan = *parse.plan;
    EXPECT_EQ(plan.name, "TV657 end of line");
    EXPECT_EQ(plan.revision, "3");
    EXPECT_EQ(plan.family, "torvik");
    EXPECT_TRUE(plan.stopOnFail);
    EXPECT_EQ(plan.sha256, Sha256Hex(kFullPlan));
    EXPECT_EQ(PlanRelativePath(plan, "station.csv"), "plans/station.csv");
    EXPECT_EQ(PlanRelativePath(plan, "/abs/station.csv"), "/abs/station.csv");
    ASSERT_EQ(plan.steps.size(), 11u);
    std::vector<std::string> kinds;
    for (const PlanStep& s : plan.steps)
        kinds.push_back(s.kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"identify", "datasheet", "config", "usermem", "errmap", "calibrate",
                                               "status", "position", "zero", "power_cycle", "prompt"}));
    EXPECT_EQ(plan.steps[0].name, "identify");
    EXPECT_EQ(plan.steps[0].line, 8);
    EXPECT_EQ(plan.steps[6].name, "Status at rest");
    EXPECT_EQ(plan.steps[2].Find("set")->registers, (std::vector<std::pair<std::string, long long>>{{"0.18", 45}}));
    EXPECT_EQ(plan.steps[6].Find("lamps_off")->text, "all");
    EXPECT_EQ(plan.steps[6].Find("temperature")->low, 10);
    EXPECT_EQ(plan.steps[6].Find("temperature")->high, 60);
    EXPECT_DOUBLE_EQ(plan.steps[5].Number("max_accuracy_after_deg", 0), 0.02);
    // A plan without stop_on_fail stops all the same; a revision may be a number.
    const PlanParse loose = ParsePlan("[plan]\nname = \"n\"\nrevision = 4\n[[step]]\nkind = \"zero\"\n", "p.toml");
    ASSERT_TRUE(loose.ok()) << loose.ErrorText();
    EXPECT_TRUE(loose.plan->stopOnFail);
    EXPECT_EQ(loose.plan->revision, "4");
}

struct BadPlan {
    const char* what;
    std::string text;
    int line;
    const char* key;
    const char* says;
};

TEST(PlanFile, EachMistakeIsNamedWithItsFileLineAndKey)
{
    const std::string head = "[plan]\nname = \"x\"\n\n[[step]]\n";
    const std::vector<BadPlan> cases = {
        {"unknown key of a kind", head + "kind = \"position\"\ncount = 10\nmax_crc = 0\n", 7, "max_crc", "unknown key"},
        {"unknown kind", head + "kind = \"flash\"\n", 5, "kind", "unknown kind \"flash\""},
        {"wrong type", head + "kind = \"position\"\ncount = \"many\"\n", 6, "count", "wants a whole number, not a text"},
        {"limit pair reversed", head + "kind = \"status\"\ntemperature = [60, 10]\n", 6, "temperature", "[low, high]"},
        {"limit pair of three", head + "kind = \"status\"\nsignal_level = [1, 2, 3]\n", 6, "signal_level", "pair"},
        {"unknown configuration field", head + "kind = \"config\"\nset = { \"0.99\" = 1 }\n", 6, "set.0.99",
         "no configuration field"},
        {"unknown lamp", head + "kind = \"status\"\nlamps_off = [\"Error\", \"Smoke\"]\n", 6, "lamps_off", "Smoke"},
        {"unknown plan key", "[plan]\nname = \"x\"\nowner = \"me\"\n[[step]]\nkind = \"zero\"\n", 3, "owner",
         "unknown key"},
        {"unknown family", "[plan]\nname = \"x\"\nfamily = \"vega\"\n[[step]]\nkind = \"zero\"\n", 3, "family",
         "no family"},
        {"stop rule not a boolean", "[plan]\nname = \"x\"\nstop_on_fail = 1\n[[step]]\nkind = \"zero\"\n", 3,
         "stop_on_fail", "true or false"},
        {"no kind", head + "name = \"nameless\"\n", 4, "kind", "no kind"},
        {"not TOML", head + "kind = \"zero\"\ncount = = 3\n", 6, "", "not valid TOML"},
        {"prompt without text", head + "kind = \"prompt\"\n", 4, "text", "needs the text"},
        {"negative limit", head + "kind = \"position\"\nmax_noise_counts = -1\n", 6, "max_noise_counts", "0 or more"},
        {"no reads", head + "kind = \"position\"\ncount = 0\n", 6, "count", "1 or more"},
        {"no cycles", head + "kind = \"power_cycle\"\ncycles = 0\n", 6, "cycles", "1 or more"},
    };
    for (const BadPlan& c : cases) {
        SCOPED_TRACE(c.what);
        const PlanParse parse = ParsePlan(c.text, "line.toml");
        ASSERT_FALSE(parse.ok());
        ASSERT_EQ(parse.errors.size(), 1u) << parse.ErrorText();
        const PlanError& e = parse.errors[0];
        EXPECT_EQ(e.file, "line.toml");
        EXPECT_EQ(e.line, c.line) << e.Text();
        EXPECT_EQ(e.key, c.key) << e.Text();
        EXPECT_NE(e.Text().find(c.says), std::string::npos) << e.Text();
        EXPECT_EQ(e.Text().rfind("line.toml:" + std::to_string(c.line) + ": ", 0), 0u) << e.Text();
    }
    // Several mistakes are all told at once.
    const PlanParse many = ParsePlan(head + "kind = \"position\"\ncount = \"x\"\nfoo = 1\n", "m.toml");
    EXPECT_EQ(many.errors.size(), 2u) << many.ErrorText();
}

TEST(PlanFile, LoadingNamesAMissingStepFileAndAnUnreadablePlan)
{
    const std::string dir = ::testing::TempDir();
    const std::string path = dir + "/load-plan.toml";
    std::remove((dir + "/no-such.csv").c_str());
    std::ofstream(path) << "[plan]\nname = \"x\"\n[[step]]\nkind = \"usermem\"\nfile = \"no-such.csv\"\n";
    PlanParse parse = LoadPlan(path);
    ASSERT_EQ(parse.errors.size(), 1u);
    EXPECT_EQ(parse.errors[0].line, 5);
    EXPECT_EQ(parse.errors[0].key, "file");
    std::ofstream(dir + "/no-such.csv") << "24;0;1\n";
    parse = LoadPlan(path);
    EXPECT_TRUE(parse.ok()) << parse.ErrorText();
    parse = LoadPlan(dir + "/absent.toml");
    ASSERT_EQ(parse.errors.size(), 1u);
    EXPECT_NE(parse.errors[0].Text().find("cannot be read"), std::string::npos);
}

TEST(Sha256, KnownDigestsAcrossBlockBoundaries)
{
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::string(1000, 'a')), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

TEST(Validators, LimitsGlobsAndTheRunOutcome)
{
    EXPECT_EQ(InRange("t", 10, 10, 60).outcome, Outcome::Pass);
    EXPECT_EQ(InRange("t", 60.5, 10, 60).outcome, Outcome::Fail);
    EXPECT_EQ(InRange("t", 9, 10, std::nullopt).outcome, Outcome::Fail);
    EXPECT_EQ(InRange("t", 1e9, std::nullopt, std::nullopt).outcome, Outcome::Pass);
    EXPECT_EQ(InRange("t", std::nan(""), std::nullopt, std::nullopt).outcome, Outcome::Fail);
    EXPECT_EQ(Equals("c", 45, 45).outcome, Outcome::Pass);
    EXPECT_EQ(Equals("c", 44, 45).outcome, Outcome::Fail);
    EXPECT_EQ(Holds("ok", false).text, "no");
    EXPECT_EQ(Holds("ok", false).outcome, Outcome::Fail);
    EXPECT_EQ(MeasurementText(InRange("temperature", 72, 10, 60, "°C")), "temperature 72 °C (wants [10, 60] °C) FAIL");
    EXPECT_EQ(MeasurementText(InRange("crc_errors", 0, std::nullopt, 0)), "crc_errors 0 (wants <= 0)");
    EXPECT_EQ(MeasurementText(Holds("usermem_match", true)), "usermem_match yes");

    struct Glob {
        const char* pattern;
        const char* text;
        bool match;
    };
    for (const Glob& g : std::vector<Glob>{{"TV657*", "TV657-18B16-000", true}, {"TV657*", "TV658-1", false},
                                           {"*", "", true}, {"TV?5?-*", "TV657-18", true}, {"TV?5?-*", "TV65-18", false},
                                           {"QN[12]20*", "QN220-12", true}, {"QN[13]20*", "QN220-12", false},
                                           {"*-000", "TV657-18B16-000", true}, {"*-000", "TV657-000-1", false},
                                           {"a*b*c", "axxbyybzc", true}, {"TV657", "TV657-1", false}})
        EXPECT_EQ(GlobMatch(g.pattern, g.text), g.match) << g.pattern << " " << g.text;

    auto steps = [](std::vector<Outcome> outcomes) {
        std::vector<StepRecord> list;
        for (Outcome o : outcomes) {
            list.emplace_back();
            list.back().outcome = o;
        }
        return list;
    };
    EXPECT_EQ(RunOutcome(steps({Outcome::Pass, Outcome::Pass})), Outcome::Pass);
    EXPECT_EQ(RunOutcome(steps({Outcome::Pass, Outcome::Fail, Outcome::Skipped})), Outcome::Fail);
    EXPECT_EQ(RunOutcome(steps({Outcome::Fail, Outcome::Error})), Outcome::Error);
    EXPECT_EQ(RunOutcome(steps({Outcome::Error, Outcome::Aborted})), Outcome::Aborted);
}

// --- The runner on the session, against the simulated box ----------------------

class Operator final : public RunObserver {
public:
    bool Prompt(const std::string& text) override
    {
        prompts.push_back(text);
        return answer;
    }
    void StepStarted(const StepRecord& step) override { events.push_back("start " + step.kind); }
    void StepEnded(const StepRecord& step) override
    {
        events.push_back(std::string(OutcomeText(step.outcome)) + " " + step.kind);
    }
    void Notice(const std::string& text) override { notices.push_back(text); }
    void Finished(const RunRecord& run) override { events.push_back("finished " + std::string(OutcomeText(run.outcome))); }
    bool answer = true;
    std::vector<std::string> prompts, events, notices;
};

class RunnerTest : public ::testing::Test {
protected:
    void Start(SimOptions options = {})
    {
        options.speed = 0;
        sim = std::make_unique<Simulator>(options);
        ASSERT_TRUE(sim->Start());
        cli.ports = {sim->PortPath()};
        context = std::make_unique<CliContext>(cli, std::vector<std::string>{}, out, err);
        ASSERT_TRUE(context->ConnectIdentified()) << err.str();
    }
    RunRecord Run(const std::string& steps, RunIdentity identity = {}, bool stopOnFail = true)
    {
        const PlanParse parse = ParsePlan("[plan]\nname = \"unit test\"\nrevision = \"1\"\nstop_on_fail = " +
                                              std::string(stopOnFail ? "true" : "false") + "\n" + steps,
                                          "unit.toml");
        EXPECT_TRUE(parse.ok()) << parse.ErrorText();
        RunControl control;
        control.waits = CliWaits();
        control.stopRequested = [this] { return stop(); };
        PlanRunner runner(context->GetSession(), &store, op, control);
        RunRecord run = runner.Run(*parse.plan, identity);
        stored = runner.Stored();
        return run;
    }
    static std::vector<std::string> Outcomes(const RunRecord& run)
    {
        std::vector<std::string> list;
        for (const StepRecord& s : run.steps)
            list.push_back(std::string(OutcomeText(s.outcome)));
        return list;
    }
    static const Measurement* Find(const StepRecord& step, const std::string& name)
    {
        for (const Measurement& m : step.measurements)
            if (m.name == name)
                return &m;
        return nullptr;
    }

    std::unique_ptr<Simulator> sim;
    CliOptions cli;
    std::ostringstream out, err;
    std::unique_ptr<CliContext> context;
    MemoryStore store;
    Operator op;
    std::function<bool()> stop = [] { return false; };
    bool stored = false;
};

const char* kPassingSteps = R"(
[[step]]
kind = "identify"
part_number = "TV657*"
[[step]]
kind = "datasheet"
singleturn_bits = 18
[[step]]
kind = "config"
set = { "0.18" = 45 }
expect = { "0.04" = 4 }
[[step]]
kind = "status"
lamps_off = "all"
temperature = [-20, 90]
[[step]]
kind = "position"
count = 50
interval_ms = 0
max_noise_counts = 4
[[step]]
kind = "zero"
max_after_counts = 2
[[step]]
kind = "prompt"
text = "Label the unit"
)";

TEST_F(RunnerTest, APassingRunIsJudgedStoredAndToldStepByStep)
{
    Start();
    const RunRecord run = Run(kPassingSteps, {"Ana", "", "station-7"});
    EXPECT_EQ(run.outcome, Outcome::Pass) << (run.steps.empty() ? "" : run.steps.back().message);
    for (const StepRecord& s : run.steps)
        EXPECT_EQ(s.outcome, Outcome::Pass) << s.kind << ": " << s.message;
    EXPECT_TRUE(stored);
    EXPECT_EQ(run.runId.size(), 36u);
    EXPECT_EQ(run.runId[14], '4');
    EXPECT_EQ(run.station, "station-7");
    EXPECT_EQ(run.unit.family, "Torvik");
    EXPECT_EQ(run.unit.partNumber, "TV657-18B16-000");
    EXPECT_FALSE(run.unit.decodedSerial.empty());
    // ISO 8601 with the offset: 2026-12-09T18:41:12.345+01:00
    ASSERT_EQ(run.started.size(), 29u) << run.started;
    EXPECT_EQ(run.started[10], 'T');
    EXPECT_EQ(run.started[26], ':');
    EXPECT_EQ(op.prompts, std::vector<std::string>{"Label the unit"});
    EXPECT_EQ(op.events.front(), "start identify");
    EXPECT_EQ(op.events.back(), "finished PASS");
    // The store got the run when it started, each step as it ended, and its end.
    ASSERT_EQ(store.calls.size(), 9u);
    EXPECT_EQ(store.calls.front(), "begin");
    EXPECT_EQ(store.calls.back(), "finish");
    const std::optional<RunRecord> kept = store.Show(run.runId);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->outcome, Outcome::Pass);
    EXPECT_EQ(kept->steps.size(), 7u);
    // What the steps measured.
    EXPECT_EQ(Find(run.steps[2], "config 0.18")->number, 45);
    EXPECT_EQ(Find(run.steps[4], "noise_counts")->number, 0);
    EXPECT_EQ(Find(run.steps[4], "crc_errors")->outcome, Outcome::Pass);
    EXPECT_LE(*Find(run.steps[5], "after_zero_counts")->number, 2);
    // The configuration really is in the encoder's stored bank.
    EXPECT_EQ(sim->StoredBankImage(0)[0x18], 45);
}

TEST_F(RunnerTest, AFailStopsThePlanAndTheRestIsSkippedUnlessThePlanGoesOn)
{
    SimOptions options;
    options.faults.signalLevel = 150; // below the warning level: "Signal Low" lights
    Start(options);
    const std::string steps = R"(
[[step]]
kind = "status"
lamps_off = ["Signal Low", "Signal Lost"]
[[step]]
kind = "position"
count = 5
interval_ms = 0
[[step]]
kind = "prompt"
text = "never asked"
)";
    RunRecord run = Run(steps);
    EXPECT_EQ(run.outcome, Outcome::Fail);
    EXPECT_EQ(Outcomes(run), (std::vector<std::string>{"FAIL", "SKIPPED", "SKIPPED"}));
    EXPECT_NE(run.steps[0].message.find("lamp Signal Low on (wants off) FAIL"), std::string::npos) << run.steps[0].message;
    EXPECT_TRUE(op.prompts.empty());
    EXPECT_TRUE(run.steps[1].measurements.empty());

    // The same plan without the stop rule runs every step.
    op.answer = true;
    run = Run(steps, {}, false);
    EXPECT_EQ(run.outcome, Outcome::Fail);
    EXPECT_EQ(run.steps[0].outcome, Outcome::Fail);
    EXPECT_NE(run.steps[1].outcome, Outcome::Skipped);
    EXPECT_EQ(run.steps[2].outcome, Outcome::Pass);
}

TEST_F(RunnerTest, AStepThatCannotMeasureIsAnErrorAndOutranksAFail)
{
    Start();
    const std::string steps = R"(
[[step]]
kind = "identify"
part_number = "QN*"
[[step]]
kind = "position"
count = 3
interval_ms = 0
)";
    RunRecord run = Run(steps, {}, false);
    EXPECT_EQ(Outcomes(run), (std::vector<std::string>{"FAIL", "PASS"}));
    SimFaults faults;
    faults.positionTimeout = true;
    sim->SetFaults(faults);
    run = Run(steps, {}, false);
    EXPECT_EQ(Outcomes(run), (std::vector<std::string>{"FAIL", "ERROR"}));
    EXPECT_EQ(run.outcome, Outcome::Error);
    EXPECT_NE(run.steps[1].message.find("No position word came through (3 time-outs"), std::string::npos)
        << run.steps[1].message;
}

TEST_F(RunnerTest, TheLabelSerialMustBeTheEncodersDecodedSerial)
{
    Start();
    const std::string decoded = [&] {
        return context->GetSession().GetLink().EncoderSignature.Zolvan_SerialDecoded;
    }();
    ASSERT_EQ(decoded.size(), 6u);
    RunIdentity identity;
    identity.labelSerial = decoded;
    EXPECT_EQ(Run("[[step]]\nkind = \"identify\"\n", identity).outcome, Outcome::Pass);
    identity.labelSerial = "ZZZZZZ";
    const RunRecord run = Run("[[step]]\nkind = \"identify\"\n", identity);
    EXPECT_EQ(run.outcome, Outcome::Fail);
    EXPECT_EQ(run.steps[0].message, "label serial ZZZZZZ, encoder serial " + decoded);
}

TEST_F(RunnerTest, StoppingOrDecliningAPromptAbortsTheRun)
{
    Start();
    int reads = 0;
    stop = [&] { return ++reads > 20; };
    RunRecord run = Run("[[step]]\nkind = \"position\"\ncount = 1000\ninterval_ms = 0\n[[step]]\nkind = \"zero\"\n");
    EXPECT_EQ(run.outcome, Outcome::Aborted);
    EXPECT_EQ(Outcomes(run), (std::vector<std::string>{"ABORTED", "SKIPPED"}));
    EXPECT_EQ(store.Show(run.runId)->outcome, Outcome::Aborted);

    stop = [] { return false; };
    op.answer = false;
    run = Run("[[step]]\nkind = \"prompt\"\ntext = \"Ready?\"\n[[step]]\nkind = \"zero\"\n");
    EXPECT_EQ(Outcomes(run), (std::vector<std::string>{"ABORTED", "SKIPPED"}));
    EXPECT_EQ(run.outcome, Outcome::Aborted);
}

TEST_F(RunnerTest, AStoreThatRefusesIsToldAndTheRunIsNotCountedAsKept)
{
    Start();
    store.refuse = true;
    const RunRecord run = Run("[[step]]\nkind = \"identify\"\n");
    EXPECT_EQ(run.outcome, Outcome::Pass);
    EXPECT_FALSE(stored);
    EXPECT_EQ(op.notices.size(), 3u);
}

} // namespace
