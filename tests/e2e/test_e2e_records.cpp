// k417ctl records against stores the test fills: what list, show and sync
// print, their JSON and their exit status.

#include "RecordSamples.h"
#include "StoreRig.h"
#include "cli/Cli.h"
#include "records/RunRecordJson.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun RunCtl(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    CliRun run;
    run.status = RunCli(ParseCliOptions(args), {}, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class RecordsCli : public testing::TestWithParam<StoreKind> {
protected:
    void SetUp() override
    {
        auto store = OpenRecordStore(location_);
        ASSERT_TRUE(store);
        runs_ = {SampleRun("00000000-0000-4000-8000-000000000001", "2J4K7A", "2026-12-07T10:00:00+01:00"),
                 SampleRun("00000000-0000-4000-8000-000000000002", "2J4K7B", "2026-12-08T10:00:00+01:00",
                           Outcome::Fail, "station-2"),
                 SampleRun("00000000-0000-4000-8000-000000000003", "2J4K7A", "2026-12-09T10:00:00+01:00")};
        for (const RunRecord& run : runs_)
            ASSERT_TRUE(store->Put(run));
    }
    ScratchFolder folder_;
    std::string location_ = NewStoreLocation(GetParam(), folder_);
    std::vector<RunRecord> runs_;
};

TEST_P(RecordsCli, ListFiltersInTextAndJson)
{
    CliRun all = RunCtl({"records", "list", "--db", location_});
    ASSERT_EQ(all.status, kExitOk) << all.err;
    auto lines = Lines(all.out);
    ASSERT_EQ(lines.size(), 3u) << all.out;
    EXPECT_EQ(lines[0].rfind(runs_[2].runId, 0), 0u) << "newest first";
    EXPECT_NE(lines[1].find("FAIL"), std::string::npos);
    EXPECT_NE(lines[1].find("2J4K7B"), std::string::npos);

    CliRun serial = RunCtl({"--json", "records", "list", "--db=" + location_, "--serial", "2J4K7A", "--since",
                            "2026-12-08", "--outcome", "pass"});
    ASSERT_EQ(serial.status, kExitOk) << serial.err;
    lines = Lines(serial.out);
    ASSERT_EQ(lines.size(), 1u) << serial.out;
    nlohmann::json json = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(json["spooled"], false);
    json.erase("spooled");
    nlohmann::json expected = ToJson(runs_[2]);
    expected.erase("steps");
    EXPECT_EQ(json, expected);

    CliRun station = RunCtl({"records", "list", "--db", location_, "--station", "station-2", "--limit", "5"});
    EXPECT_EQ(Lines(station.out).size(), 1u);
}

TEST_P(RecordsCli, ShowPrintsTheWholeRecord)
{
    CliRun json = RunCtl({"records", "show", runs_[1].runId, "--json", "--db", location_});
    ASSERT_EQ(json.status, kExitOk) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out), ToJson(runs_[1]));

    CliRun text = RunCtl({"records", "show", runs_[1].runId, "--db", location_});
    ASSERT_EQ(text.status, kExitOk) << text.err;
    for (const char* expected : {"FAIL", "Status at rest (status): temperature 71.25 °C above 60", "71.25 °C", "[10, 60] °C",
                                 "TV657*", "errmap.svg", "station-2"})
        EXPECT_NE(text.out.find(expected), std::string::npos) << expected << " in\n" << text.out;

    CliRun unknown = RunCtl({"records", "show", "no-such-run", "--db", location_});
    EXPECT_EQ(unknown.status, kExitFailed);
    EXPECT_NE(unknown.err.find("no run no-such-run"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RecordsCli, testing::ValuesIn(TestedStoreKinds()),
                         [](const testing::TestParamInfo<StoreKind>& info) { return info.param.name; });

TEST(RecordsCliUsage, WrongFiltersAreUsageErrors)
{
    ScratchFolder folder;
    std::string db = folder.Path() + "/r.sqlite";
    EXPECT_EQ(RunCtl({"records", "list", "--db", db, "--outcome", "GREEN"}).status, kExitUsage);
    EXPECT_EQ(RunCtl({"records", "list", "--db", db, "--since", "monday"}).status, kExitUsage);
    EXPECT_EQ(RunCtl({"records", "list", "--db", db, "--colour", "red"}).status, kExitUsage);
    EXPECT_EQ(RunCtl({"records", "show", "--db", db}).status, kExitUsage);
    EXPECT_EQ(RunCtl({"records", "drop"}).status, kExitUsage);
}

TEST(RecordsCliUsage, TheStoreComesFromK417DbWithoutDb)
{
    ScratchFolder folder;
    std::string db = folder.Path() + "/env/records.sqlite";
    ASSERT_TRUE(OpenRecordStore(db)->Put(SampleRun("00000000-0000-4000-8000-00000000000a", "ENV001",
                                                    "2026-12-09T10:00:00+01:00")));
    setenv("K417_DB", db.c_str(), 1);
    CliRun run = RunCtl({"records", "list"});
    unsetenv("K417_DB");
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_NE(run.out.find("ENV001"), std::string::npos) << run.out;
}

} // namespace
