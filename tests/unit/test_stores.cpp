// Every store kind, SQLite and PostgreSQL alike: a run reads back as it was
// recorded, filters, idempotent sends, runs of programs that died, and
// several stations writing at once.

#include "RecordSamples.h"
#include "StoreRig.h"
#include "records/RecordStore.h"
#include "records/RunRecordJson.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
// Writes a run as a runner does: the run row, each step, the end.
void Record(RecordStore& store, RunRecord run)
{
    RunRecord begun = run;
    begun.steps.clear();
    begun.ended.clear();
    begun.outcome = Outcome::Running;
    ASSERT_TRUE(store.Begin(begun));
    for (const StepRecord& step : run.steps)
        ASSERT_TRUE(store.AddStep(run.runId, step));
    run.steps.clear();
    ASSERT_TRUE(store.Finish(run));
}
} // namespace

class Stores : public testing::TestWithParam<StoreKind> {
protected:
    std::unique_ptr<RecordStore> Open()
    {
        StoreStatus status;
        auto store = OpenRecordStore(location_, &status);
        EXPECT_TRUE(store) << status.error;
        return store;
    }
    ScratchFolder folder_;
    std::string location_ = NewStoreLocation(GetParam(), folder_);
};

TEST_P(Stores, ARunReadsBackAsItWasRecorded)
{
    auto store = Open();
    ASSERT_TRUE(store);
    RunRecord run = SampleRun(SampleRunId(1), "2J4K7A", "2026-12-09T18:41:12.125+01:00", Outcome::Fail);
    RunRecord begun = run;
    begun.steps.clear();
    begun.ended.clear();
    begun.outcome = Outcome::Running;
    ASSERT_TRUE(store->Begin(begun));
    ExpectSameRecord(begun, store->Show(run.runId));
    Record(*store, run);
    ExpectSameRecord(run, store->Show(run.runId));
    // Another program opening the store sees the same.
    ExpectSameRecord(run, Open()->Show(run.runId));
    StoreStatus status;
    EXPECT_FALSE(store->Show(SampleRunId(99), &status));
    EXPECT_TRUE(status) << status.error;
}

TEST_P(Stores, ListFiltersAndOrdersNewestFirst)
{
    auto store = Open();
    ASSERT_TRUE(store);
    Record(*store, SampleRun(SampleRunId(1), "AAA001", "2026-12-07T10:00:00+01:00", Outcome::Pass, "st-1", "A"));
    Record(*store, SampleRun(SampleRunId(2), "AAA002", "2026-12-08T10:00:00+01:00", Outcome::Fail, "st-2", "A"));
    Record(*store, SampleRun(SampleRunId(3), "AAA001", "2026-12-09T10:00:00+01:00", Outcome::Pass, "st-1", "B"));
    // Same instant as run 2, another offset: ordered by the instant.
    Record(*store, SampleRun(SampleRunId(4), "AAA003", "2026-12-08T11:30:00+02:30", Outcome::Error, "st-2", "B"));
    auto ids = [&](const RunFilter& filter) {
        std::vector<std::string> list;
        StoreStatus status;
        for (const RunRecord& run : store->List(filter, &status))
            list.push_back(run.runId.substr(run.runId.size() - 1));
        EXPECT_TRUE(status) << status.error;
        return list;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(ids({}), (V{"3", "2", "4", "1"}));
    RunFilter f;
    f.serial = "AAA001";
    EXPECT_EQ(ids(f), (V{"3", "1"}));
    f = {};
    f.serial = "EXT-AAA002"; // the extended serial finds it too
    EXPECT_EQ(ids(f), (V{"2"}));
    f = {};
    f.outcome = Outcome::Pass;
    f.plan = "A";
    EXPECT_EQ(ids(f), (V{"1"}));
    f = {};
    f.station = "st-2";
    f.limit = 1;
    EXPECT_EQ(ids(f), (V{"2"}));
    f = {};
    f.since = "2026-12-08T09:00:00Z";
    f.until = "2026-12-09T09:00:00Z"; // run 3's start: the end is exclusive
    EXPECT_EQ(ids(f), (V{"2", "4"}));
    f.until = "2026-12-09T09:00:00.001Z";
    EXPECT_EQ(ids(f), (V{"3", "2", "4"}));
    f.until = "2026-12-08T09:00:00Z";
    EXPECT_TRUE(ids(f).empty());
    f = {};
    f.partNumber = "TV657-19-16";
    EXPECT_EQ(ids(f).size(), 4u);
    f.partNumber = "TV999";
    EXPECT_TRUE(ids(f).empty());
    // Listed runs come without their steps.
    EXPECT_TRUE(store->List({}).front().steps.empty());
    StoreStatus status;
    f = {};
    f.since = "last week";
    store->List(f, &status);
    EXPECT_FALSE(status);
}

TEST_P(Stores, SendingAWholeRunTwiceKeepsItOnce)
{
    auto store = Open();
    ASSERT_TRUE(store);
    RunRecord run = SampleRun(SampleRunId(7), "2J4K7A", "2026-12-09T18:41:12+01:00");
    // What an interrupted earlier send left: the run row and one step.
    RunRecord partial = run;
    partial.steps.resize(1);
    partial.outcome = Outcome::Running;
    ASSERT_TRUE(store->Put(partial));
    ASSERT_TRUE(store->Put(run));
    ASSERT_TRUE(store->Put(run));
    ExpectSameRecord(run, store->Show(run.runId));
    EXPECT_EQ(store->List({}).size(), 1u);
}

TEST_P(Stores, ARunWhoseProgramDiedShowsAborted)
{
    RunRecord run = SampleRun(SampleRunId(5), "2J4K7A", "2026-12-09T18:41:12+01:00");
    run.steps.resize(2);
    run.outcome = Outcome::Running;
    run.ended.clear();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A station that dies after two steps (kill -9, power cut).
        auto store = OpenRecordStore(location_);
        bool ok = store && store->Begin(run) && store->AddStep(run.runId, run.steps[0]) &&
                  store->AddStep(run.runId, run.steps[1]);
        _exit(ok ? 0 : 1);
    }
    int wstatus = 0;
    ASSERT_EQ(waitpid(child, &wstatus, 0), child);
    ASSERT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);

    // A run of this (living) program stays RUNNING for the next opener.
    auto mine = Open();
    RunRecord living = SampleRun(SampleRunId(6), "2J4K7B", "2026-12-09T18:45:00+01:00");
    living.steps.clear();
    living.outcome = Outcome::Running;
    living.ended.clear();
    ASSERT_TRUE(mine->Begin(living));

    // The server lets go of a dead station's lock when its backend notices
    // the closed connection, a moment after the station died.
    std::unique_ptr<RecordStore> store;
    std::optional<RunRecord> dead;
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);;
         std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
        store = Open();
        dead = store->Show(run.runId);
        if (!dead || dead->outcome != Outcome::Running || std::chrono::steady_clock::now() > deadline)
            break;
    }
    ASSERT_TRUE(dead);
    EXPECT_EQ(dead->outcome, Outcome::Aborted);
    EXPECT_EQ(dead->steps.size(), 2u); // what it recorded is kept
    EXPECT_EQ(store->Show(living.runId)->outcome, Outcome::Running);
    RunFilter aborted;
    aborted.outcome = Outcome::Aborted;
    EXPECT_EQ(store->List(aborted).size(), 1u);
}

TEST_P(Stores, StationsWritingAtOnceLoseNothing)
{
    // Create the store first, as a station's setup would. Four stations on
    // one PC share a file; a plant's server takes eight.
    ASSERT_TRUE(Open());
    const int kStations = GetParam().name == "sqlite" ? 4 : 8;
    constexpr int kRuns = 25;
    std::vector<pid_t> children;
    for (int station = 0; station < kStations; ++station) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto store = OpenRecordStore(location_);
            bool ok = store != nullptr;
            for (int i = 0; i < kRuns && ok; ++i) {
                RunRecord run = SampleRun(SampleRunId(station * 1000 + i), "S" + std::to_string(station * 1000 + i),
                                          "2026-12-09T18:41:12+01:00", Outcome::Pass,
                                          "station-" + std::to_string(station));
                RunRecord begun = run;
                begun.steps.clear();
                begun.outcome = Outcome::Running;
                ok = store->Begin(begun).ok;
                for (const StepRecord& step : run.steps)
                    ok = ok && store->AddStep(run.runId, step).ok;
                ok = ok && store->Finish(run).ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int wstatus = 0;
        ASSERT_EQ(waitpid(child, &wstatus, 0), child);
        EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0) << "a station failed to write";
    }
    auto store = Open();
    std::vector<RunRecord> runs = store->List({});
    ASSERT_EQ(runs.size(), static_cast<size_t>(kStations * kRuns));
    std::set<std::string> ids;
    for (const RunRecord& listed : runs) {
        ids.insert(listed.runId);
        int n = std::stoi(listed.runId.substr(listed.runId.size() - 6));
        RunRecord expected = SampleRun(listed.runId, "S" + std::to_string(n), "2026-12-09T18:41:12+01:00",
                                       Outcome::Pass, "station-" + std::to_string(n / 1000));
        ExpectSameRecord(expected, store->Show(listed.runId));
    }
    EXPECT_EQ(ids.size(), runs.size());
    // And the yield counts each run once.
    YieldReport yield = ComputeYield(store->CollectYieldFacts({}), YieldGrouping::Station);
    EXPECT_EQ(yield.total.runs, kStations * kRuns);
    EXPECT_EQ(yield.total.units, kStations * kRuns);
    EXPECT_EQ(yield.total.firstPass, kStations * kRuns);
    ASSERT_EQ(yield.groups.size(), static_cast<size_t>(kStations));
    EXPECT_EQ(yield.groups[0].runs, kRuns);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Stores, testing::ValuesIn(TestedStoreKinds()),
                         [](const testing::TestParamInfo<StoreKind>& info) { return info.param.name; });

