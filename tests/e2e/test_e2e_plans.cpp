// k417ctl test against simulated boxes, as separate processes: the example
// plans pass; a simulator fault fails each kind of step, with the steps
// after it skipped and the exit status right; a plan error names its line
// before anything is sent; SIGTERM ends a run ABORTED in the store; four
// stations write one store at once. The record read back from the store
// equals what --json printed.

#include "records/RecordStore.h"
#include "records/RunRecordJson.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Scratch(const std::string& name)
{
    return ::testing::TempDir() + "/e2e-plans-" + std::to_string(::getpid()) + "-" + name;
}

// k417ctl as its own process, stdin from /dev/null, its output in files.
class Station {
public:
    Station(const std::vector<std::string>& args, const std::string& name)
        : out_(Scratch(name + ".out")), err_(Scratch(name + ".err"))
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            std::vector<char*> argv;
            static std::string exe = K417CTL_EXE;
            argv.push_back(exe.data());
            std::vector<std::string> copy = args;
            for (std::string& a : copy)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
    }
    int Wait()
    {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    std::string Out() const { return ReadFile(out_); }
    std::string Err() const { return ReadFile(err_); }

private:
    pid_t pid_ = -1;
    std::string out_, err_;
};

struct Result {
    int status = -1;
    std::string out, err;
    nlohmann::json record;
};

class PlanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db = Scratch(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".sqlite");
        std::remove(db.c_str());
    }
    // A unit on the test motor: at rest, turned only while it calibrates.
    static SimOptions Unit(SimFamily family = SimFamily::Torvik)
    {
        SimOptions o;
        o.family = family;
        o.speed = 0;
        o.calibrationSpeed = 360;
        return o;
    }
    std::unique_ptr<Simulator> StartSim(const SimOptions& options)
    {
        auto sim = std::make_unique<Simulator>(options);
        EXPECT_TRUE(sim->Start());
        return sim;
    }
    Result Test(Simulator& sim, const std::string& plan, std::vector<std::string> extra = {"--yes"})
    {
        std::vector<std::string> args = {"--port", sim.PortPath(), "--json"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"test", plan, "--db", db, "--operator", "e2e"});
        Station station(args, "run");
        Result r;
        r.status = station.Wait();
        r.out = station.Out();
        r.err = station.Err();
        if (!r.out.empty())
            r.record = nlohmann::json::parse(r.out, nullptr, false);
        return r;
    }
    static std::vector<std::string> Outcomes(const nlohmann::json& record)
    {
        std::vector<std::string> list;
        if (record.is_object())
            for (const auto& step : record["steps"])
                list.push_back(step["outcome"].get<std::string>());
        return list;
    }
    // The record as the store gives it back, as JSON.
    nlohmann::json Stored(const std::string& runId)
    {
        StoreStatus status;
        auto store = OpenRecordStore(db, &status);
        EXPECT_TRUE(store) << status.error;
        if (!store)
            return {};
        const std::optional<RunRecord> run = store->Show(runId);
        return run ? ToJson(*run) : nlohmann::json();
    }

    std::string db;
    const std::string torvikPlan = std::string(EXAMPLES_DIR) + "/torvik-eol.toml";
};

TEST_F(PlanTest, EachExamplePlanPassesAndItsRecordReadsBackAsPrinted)
{
    const std::vector<std::pair<SimFamily, std::string>> plans = {
        {SimFamily::Torvik, "torvik-eol.toml"}, {SimFamily::Quenra, "quenra-eol.toml"}, {SimFamily::Linear, "linear-eol.toml"}};
    for (const auto& [family, file] : plans) {
        SCOPED_TRACE(file);
        auto sim = StartSim(Unit(family));
        const Result r = Test(*sim, std::string(EXAMPLES_DIR) + "/" + file);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_TRUE(r.record.is_object()) << r.out;
        EXPECT_EQ(r.record["outcome"], "PASS");
        for (const std::string& outcome : Outcomes(r.record))
            EXPECT_EQ(outcome, "PASS");
        EXPECT_EQ(r.record["operator"], "e2e");
        EXPECT_EQ(Stored(r.record["run_id"]), r.record);
        // The step lines went to stderr beside the JSON.
        EXPECT_NE(r.err.find("PASS    identify"), std::string::npos) << r.err;
    }
}

struct Failing {
    const char* step;      // the kind of step that must fail
    const char* outcome;   // FAIL or ERROR
    std::function<void(SimOptions&)> fault;
};

TEST_F(PlanTest, ASimulatorFaultFailsEachKindOfStepAndSkipsTheRest)
{
    const std::vector<Failing> cases = {
        {"identify", "FAIL", [](SimOptions& o) { o.partNumber = "TV658-18B16-000"; }},
        {"datasheet", "FAIL", [](SimOptions& o) { o.faults.badEdsChecksum = true; }},
        {"config", "ERROR", [](SimOptions& o) { o.faults.refuseBank = 0, o.faults.refuseAddress = 0x18; }},
        {"usermem", "ERROR", [](SimOptions& o) { o.faults.refuseBank = 24; }},
        {"errmap", "FAIL", [](SimOptions& o) { o.faults.badErrorMapChecksum = true; }},
        {"calibrate", "FAIL", [](SimOptions& o) { o.eccentricityUm = 200; }},
        {"status", "FAIL", [](SimOptions& o) { o.faults.temperatureC = 75; }},
        {"position", "FAIL", [](SimOptions& o) { o.faults.positionNoise = 20; }},
        {"zero", "ERROR", [](SimOptions& o) { o.faults.refuseBank = 0, o.faults.refuseAddress = 0; }},
        {"power_cycle", "FAIL", [](SimOptions& o) { o.faults.powerOnsLeft = 1; }},
    };
    for (const Failing& c : cases) {
        SCOPED_TRACE(c.step);
        SimOptions options = Unit();
        c.fault(options);
        auto sim = StartSim(options);
        const Result r = Test(*sim, torvikPlan);
        EXPECT_EQ(r.status, 1) << r.err;
        ASSERT_TRUE(r.record.is_object()) << r.out << r.err;
        EXPECT_EQ(r.record["outcome"], c.outcome);
        bool failed = false;
        for (const auto& step : r.record["steps"]) {
            const std::string kind = step["kind"];
            if (failed) {
                EXPECT_EQ(step["outcome"], "SKIPPED") << kind;
            } else if (kind == c.step) {
                failed = true;
                EXPECT_EQ(step["outcome"], c.outcome) << step.dump();
            } else {
                EXPECT_EQ(step["outcome"], "PASS") << step.dump();
            }
        }
        EXPECT_TRUE(failed);
        EXPECT_EQ(Stored(r.record["run_id"]), r.record);
    }
    // The position's other faults, and a signal too weak, on one unit.
    auto sim = StartSim(Unit());
    const std::string statusAndPosition = Scratch("status-position.toml");
    std::ofstream(statusAndPosition) << "[plan]\nname = \"p\"\nstop_on_fail = false\n"
                                        "[[step]]\nkind = \"status\"\nlamps_off = \"all\"\n"
                                        "[[step]]\nkind = \"position\"\ncount = 20\ninterval_ms = 0\n";
    SimFaults faults;
    faults.signalLevel = 150;
    faults.crcError = true;
    sim->SetFaults(faults);
    const Result r = Test(*sim, statusAndPosition);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Outcomes(r.record), (std::vector<std::string>{"FAIL", "FAIL"})) << r.out;
    EXPECT_NE(r.err.find("lamp Signal Low on (wants off) FAIL"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("crc_errors 20 (wants <= 0) FAIL"), std::string::npos) << r.err;
}

TEST_F(PlanTest, APromptWithoutAnOperatorEndsTheRunAborted)
{
    auto sim = StartSim(Unit());
    // No --yes, and nobody at stdin.
    const Result r = Test(*sim, torvikPlan, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.record["outcome"], "ABORTED");
    EXPECT_EQ(Outcomes(r.record).front(), "ABORTED");
    EXPECT_EQ(Outcomes(r.record).back(), "SKIPPED");
    EXPECT_NE(r.err.find("Mount the unit on the test motor"), std::string::npos);
}

TEST_F(PlanTest, APlanErrorNamesItsLineAndSendsNothing)
{
    auto sim = StartSim(Unit());
    const std::string plan = Scratch("bad.toml");
    std::ofstream(plan) << "[plan]\nname = \"bad\"\n\n[[step]]\nkind = \"position\"\ncount = 10\nmax_crc = 0\n";
    sim->ClearCommandLog();
    const Result r = Test(*sim, plan);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, plan + ":7: max_crc: unknown key for a position step (count, interval_ms, max_crc_errors, "
                            "max_error_bits, max_warning_bits, max_timeouts, max_noise_counts)\n");
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(sim->CommandLog().empty());
}

TEST_F(PlanTest, SigtermEndsTheRunAbortedAndTheStoreSaysSo)
{
    auto sim = StartSim(Unit());
    const std::string plan = Scratch("long.toml");
    std::ofstream(plan) << "[plan]\nname = \"long\"\n[[step]]\nkind = \"identify\"\n"
                           "[[step]]\nkind = \"position\"\ncount = 1000000\ninterval_ms = 1\n"
                           "[[step]]\nkind = \"zero\"\n";
    Station station({"--port", sim->PortPath(), "test", plan, "--db", db}, "sigterm");
    // Once the position step reads, the run is in the middle of it.
    ASSERT_TRUE(sim->WaitForCommand("4", 10000, 50));
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(), 1) << station.Err();
    const std::string out = station.Out();
    EXPECT_NE(out.find("PASS    identify"), std::string::npos) << out;
    EXPECT_NE(out.find("ABORTED position"), std::string::npos) << out;
    EXPECT_NE(out.find("SKIPPED zero"), std::string::npos) << out;
    EXPECT_EQ(out.rfind("ABORTED  long", std::string::npos), out.rfind('\n', out.size() - 2) + 1) << out;
    StoreStatus status;
    auto store = OpenRecordStore(db, &status);
    ASSERT_TRUE(store) << status.error;
    const std::vector<RunRecord> runs = store->List({});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].outcome, Outcome::Aborted);
    EXPECT_EQ(store->Show(runs[0].runId)->steps.size(), 3u);
}

TEST_F(PlanTest, FourStationsWriteOneStoreAndEveryRecordIsThereOnce)
{
    const std::string plan = Scratch("quick.toml");
    std::ofstream(plan) << "[plan]\nname = \"quick\"\n[[step]]\nkind = \"identify\"\n[[step]]\nkind = \"datasheet\"\n"
                           "[[step]]\nkind = \"position\"\ncount = 200\ninterval_ms = 0\n";
    std::vector<std::unique_ptr<Simulator>> sims;
    std::vector<std::unique_ptr<Station>> stations;
    for (int i = 0; i < 4; ++i)
        sims.push_back(StartSim(Unit()));
    constexpr int kRunsEach = 3;
    std::vector<std::string> printed;
    for (int round = 0; round < kRunsEach; ++round) {
        stations.clear();
        for (int i = 0; i < 4; ++i)
            stations.push_back(std::make_unique<Station>(
                std::vector<std::string>{"--port", sims[i]->PortPath(), "--json", "test", plan, "--db", db},
                "station" + std::to_string(i)));
        for (auto& s : stations) {
            EXPECT_EQ(s->Wait(), 0) << s->Err();
            printed.push_back(nlohmann::json::parse(s->Out())["run_id"]);
        }
    }
    StoreStatus status;
    auto store = OpenRecordStore(db, &status);
    ASSERT_TRUE(store) << status.error;
    std::vector<std::string> kept;
    for (const RunRecord& run : store->List({})) {
        kept.push_back(run.runId);
        EXPECT_EQ(run.outcome, Outcome::Pass);
        EXPECT_EQ(store->Show(run.runId)->steps.size(), 3u);
    }
    std::sort(kept.begin(), kept.end());
    std::sort(printed.begin(), printed.end());
    EXPECT_EQ(kept, printed);
    EXPECT_EQ(std::unique(kept.begin(), kept.end()), kept.end());
}

} // namespace

TEST_F(PlanTest, ARunThePlantCannotTakeIsKeptOnTheStationAndTheOperatorIsTold)
{
    // Nobody listens on port 1: every record goes to the station's spool.
    const std::string spool = Scratch("spool.sqlite");
    std::remove(spool.c_str());
    setenv("K417_SPOOL", spool.c_str(), 1);
    db = "postgresql://qa@127.0.0.1:1/k417?connect_timeout=1";
    const std::string plan = Scratch("short.toml");
    std::ofstream(plan) << "[plan]\nname = \"short\"\n[[step]]\nkind = \"identify\"\n"
                           "[[step]]\nkind = \"status\"\ntemperature = [10, 60]\n";
    for (double temperature : {25.0, 75.0}) {
        SCOPED_TRACE(temperature);
        SimOptions options = Unit();
        options.faults.temperatureC = temperature;
        auto sim = StartSim(options);
        const Result r = Test(*sim, plan);
        // The run and its exit status are the run's own: the record is kept.
        const bool passes = temperature < 60;
        EXPECT_EQ(r.status, passes ? 0 : 1) << r.err;
        ASSERT_TRUE(r.record.is_object()) << r.out;
        EXPECT_EQ(r.record["outcome"], passes ? "PASS" : "FAIL");
        const std::string told = std::string("k417ctl: ") + kSpooledMessage + "\n";
        const size_t at = r.err.find(told);
        EXPECT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(told, at + 1), std::string::npos) << "told once per run: " << r.err;
        EXPECT_EQ(r.err.find("not kept"), std::string::npos) << r.err;
        auto kept = OpenRecordStore(spool);
        ASSERT_TRUE(kept);
        const std::optional<RunRecord> run = kept->Show(r.record["run_id"]);
        ASSERT_TRUE(run);
        EXPECT_EQ(ToJson(*run), r.record);
    }
    unsetenv("K417_SPOOL");
}
