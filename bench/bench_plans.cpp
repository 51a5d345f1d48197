// What running an end-of-line test plan costs beyond its transactions and
// waits, what keeping its record costs, and whether four stations side by
// side each keep the speed of one.
//
// 1. The plan runs on a session against the simulated encoder (at rest, its
//    shaft turned by the test motor while it calibrates), its record kept in
//    a SQLite store. The time spent in the waits the runner is given is counted, the time
//    spent inside the store is measured, and right after each run the very
//    same commands go to the box as bare transactions over the same port.
//    Target: the run at most 5 % above the transactions and waits, and the
//    record at most 20 ms in all.
// 2. k417ctl test runs the plan alone, then four at once, each on a box of
//    its own, into one store. Target: each of the four at 95 % of the speed
//    of one alone or better.
//
//   bench_plans [plan] [rounds]   (default the example Torvik plan, 3 rounds)

#include "SessionBench.h"
#include "link/PowerCycle.h"
#include "production/Runner.h"
#include "records/RecordStore.h"
#include "sim/Simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

SimOptions Unit()
{
    SimOptions o;
    o.speed = 0;
    o.calibrationSpeed = 60;
    return o;
}

// A store that measures the time spent in it.
class TimedStore final : public RecordStore {
public:
    explicit TimedStore(RecordStore& store) : store_(store) {}
    StoreStatus Begin(const RunRecord& run) override { return Timed([&] { return store_.Begin(run); }); }
    StoreStatus AddStep(const std::string& id, const StepRecord& step) override
    {
        return Timed([&] { return store_.AddStep(id, step); });
    }
    StoreStatus Finish(const RunRecord& run) override { return Timed([&] { return store_.Finish(run); }); }
    std::vector<RunRecord> List(const RunFilter& filter, StoreStatus* status) override
    {
        return store_.List(filter, status);
    }
    std::optional<RunRecord> Show(const std::string& id, StoreStatus* status) override { return store_.Show(id, status); }
    double spentMs = 0;

private:
    template <class F>
    StoreStatus Timed(F&& call)
    {
        const auto start = Clock::now();
        StoreStatus status = call();
        spentMs += Ms(Clock::now() - start);
        return status;
    }
    RecordStore& store_;
};

// Answers the prompts; with a share of the run per step when asked to.
class Unattended final : public RunObserver {
public:
    explicit Unattended(const double& waitedMs) : waitedMs_(waitedMs) {}
    bool Prompt(const std::string&) override { return true; }
    void StepStarted(const StepRecord&) override
    {
        started_ = Clock::now();
        waitedAtStart_ = waitedMs_;
    }
    void StepEnded(const StepRecord& step) override
    {
        if (verbose && step.outcome != Outcome::Skipped)
            std::printf("  %-14s %8.1f ms, waits %8.1f ms\n", step.name.c_str(), Ms(Clock::now() - started_),
                        waitedMs_ - waitedAtStart_);
    }
    bool verbose = false;

private:
    const double& waitedMs_;
    Clock::time_point started_;
    double waitedAtStart_ = 0;
public:
    void Notice(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

// k417ctl test on one box, as its own process; its run time in ms, or -1.
pid_t StartStation(const std::string& port, const std::string& plan, const std::string& db)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::execl(K417CTL_EXE, "k417ctl", "--port", port.c_str(), "--yes", "test", plan.c_str(), "--db", db.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

bool Finished(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
} // namespace

int main(int argc, char** argv)
{
    const std::string planFile = argc > 1 ? argv[1] : K417_EXAMPLES_DIR "/torvik-eol.toml";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const PlanParse plan = LoadPlan(planFile);
    if (!plan.ok()) {
        std::fprintf(stderr, "%s", plan.ErrorText().c_str());
        return 1;
    }
    char folder[] = "/tmp/bench-plans-XXXXXX";
    if (!::mkdtemp(folder))
        return 1;
    const std::string db = std::string(folder) + "/records.sqlite";
    StoreStatus opened;
    std::unique_ptr<RecordStore> store = OpenRecordStore(db, &opened);
    if (!store) {
        std::fprintf(stderr, "%s\n", opened.error.c_str());
        return 1;
    }

    // --- 1. One station, in this process ---------------------------------------
    Simulator sim(Unit());
    const std::unique_ptr<Session> connected = ConnectBenchSession(sim);
    if (!connected)
        return 1;
    Session& session = *connected;
    std::string error;

    double waitedMs = 0;
    // A wait counts as long as it lasted: the position step's reads are due
    // at a period, so its waits are what the period leaves of each interval.
    auto wait = [&waitedMs](int ms) {
        const auto start = Clock::now();
        SleepMs(ms);
        waitedMs += Ms(Clock::now() - start);
    };
    RunControl control;
    control.waits = ServiceWaits{wait, wait, {}};
    Unattended observer(waitedMs);
    observer.verbose = std::getenv("K417_BENCH_STEPS") != nullptr;
    TimedStore timed(*store);
    PlanRunner runner(session, &timed, observer, control);

    std::vector<double> runMs, bareMs, waitMs, storeMs;
    size_t transactions = 0;
    std::string reply;
    for (int round = 0; round < rounds; ++round) {
        sim.ClearCommandLog();
        waitedMs = 0;
        timed.spentMs = 0;
        const auto start = Clock::now();
        const RunRecord run = runner.Run(*plan.plan, {"bench", "", ""});
        runMs.push_back(Ms(Clock::now() - start));
        waitMs.push_back(waitedMs);
        storeMs.push_back(timed.spentMs);
        if (run.outcome != Outcome::Pass || !runner.Stored()) {
            std::fprintf(stderr, "the run did not pass: %s\n", std::string(OutcomeText(run.outcome)).c_str());
            return 1;
        }
        const std::vector<SimLogEntry> log = sim.CommandLog();
        transactions = log.size();
        const auto bare = Clock::now();
        for (const SimLogEntry& e : log)
            SerialTransact(session.GetLink().Port(), e.command, 0, reply);
        bareMs.push_back(Ms(Clock::now() - bare));
        // The replay left the encoder as the plan left it; the next round starts from its own state.
    }
    const double tool = Median(runMs), bare = Median(bareMs), waits = Median(waitMs), recording = Median(storeMs);
    const double ratio = tool / (bare + waits);
    std::printf("plan run (%zu transactions):                     %.1f ms\n", transactions, tool);
    std::printf("the same transactions, bare:                     %.1f ms\n", bare);
    std::printf("waits of the steps:                              %.1f ms\n", waits);
    std::printf("ratio run / (transactions + waits):              %.3f (target at most 1.05)\n", ratio);
    std::printf("recording the run in SQLite (run, %zu steps, end): %.2f ms (target at most 20)\n",
                plan.plan->steps.size(), recording);
    sim.Stop();

    // --- 2. Four stations side by side, as processes ----------------------------
    std::vector<std::unique_ptr<Simulator>> boxes;
    for (int i = 0; i < 4; ++i) {
        boxes.push_back(std::make_unique<Simulator>(Unit()));
        if (!boxes.back()->Start(&error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    auto start = Clock::now();
    if (!Finished(StartStation(boxes[0]->PortPath(), planFile, db))) {
        std::fprintf(stderr, "the station alone did not pass\n");
        return 1;
    }
    const double aloneMs = Ms(Clock::now() - start);
    std::vector<double> eachMs(4);
    std::vector<pid_t> pids;
    start = Clock::now();
    for (int i = 0; i < 4; ++i)
        pids.push_back(StartStation(boxes[static_cast<size_t>(i)]->PortPath(), planFile, db));
    bool passed = true;
    for (int i = 0; i < 4; ++i) {
        passed = Finished(pids[static_cast<size_t>(i)]) && passed;
        eachMs[static_cast<size_t>(i)] = Ms(Clock::now() - start);
    }
    if (!passed) {
        std::fprintf(stderr, "a station of the four did not pass\n");
        return 1;
    }
    const double slowest = *std::max_element(eachMs.begin(), eachMs.end());
    const double speed = aloneMs / slowest;
    std::printf("k417ctl test alone:                              %.0f ms\n", aloneMs);
    std::printf("four at once, the slowest:                       %.0f ms\n", slowest);
    std::printf("speed of each of four / one alone:               %.3f (target at least 0.95)\n", speed);
    for (auto& box : boxes)
        box->Stop();
    std::remove(db.c_str());
    return ratio <= 1.05 && recording <= 20 && speed >= 0.95 ? 0 : 2;
}
