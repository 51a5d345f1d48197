// A plant's PostgreSQL store and the station's spool: a server stopped in
// the middle of a run, a connection cut half-way through a send, a database
// of an older schema, passwords.

#include "RecordSamples.h"
#include "StoreRig.h"
#include "records/PlantStore.h"
#include "records/RunRecordJson.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A connection of the test's own, for looking at and meddling with the server.
class Admin {
public:
    explicit Admin(const std::string& uri) : conn_(PQconnectdb(uri.c_str()))
    {
        PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    }
    ~Admin() { PQfinish(conn_); }
    bool Ok() const { return PQstatus(conn_) == CONNECTION_OK; }
    // The first column of the first row, or "" (with the error in the failure).
    std::string Value(const std::string& sql)
    {
        PGresult* result = PQexec(conn_, sql.c_str());
        std::string value;
        ExecStatusType code = PQresultStatus(result);
        EXPECT_TRUE(code == PGRES_TUPLES_OK || code == PGRES_COMMAND_OK) << sql << ": " << PQerrorMessage(conn_);
        if (code == PGRES_TUPLES_OK && PQntuples(result) > 0)
            value = PQgetvalue(result, 0, 0);
        PQclear(result);
        return value;
    }

private:
    PGconn* conn_;
};

RunRecord Begun(RunRecord run)
{
    run.steps.clear();
    run.ended.clear();
    run.outcome = Outcome::Running;
    return run;
}

// The URI of the test server with other credentials (host and port kept).
std::string WithUser(const std::string& uri, const std::string& userInfo)
{
    size_t start = uri.find("://") + 3;
    size_t at = uri.find('@', start);
    return uri.substr(0, start) + userInfo + uri.substr(at);
}

// A private server of the test's own, which it may stop and start again.
class PrivateServer {
public:
    PrivateServer() : dir_(folder_.Path() + "/pg")
    {
        // The server's user must get through to its folder.
        std::filesystem::permissions(folder_.Path(), std::filesystem::perms::owner_all |
                                                         std::filesystem::perms::group_exec |
                                                         std::filesystem::perms::others_exec);
        std::string command = std::string(K417_PG_SCRIPT) + " start " + dir_ + " > " + folder_.Path() + "/uri";
        started_ = std::system(command.c_str()) == 0;
        std::ifstream file(folder_.Path() + "/uri");
        std::getline(file, uri_);
    }
    ~PrivateServer() { Script("stop"); }
    bool Started() const { return started_ && !uri_.empty(); }
    const std::string& Uri() const { return uri_; }
    bool Pause() { return Script("pause"); }
    bool Resume() { return Script("resume"); }
    const ScratchFolder& Folder() const { return folder_; }

private:
    bool Script(const char* action)
    {
        return std::system((std::string(K417_PG_SCRIPT) + " " + action + " " + dir_).c_str()) == 0;
    }
    ScratchFolder folder_;
    std::string dir_;
    std::string uri_;
    bool started_ = false;
};

} // namespace

TEST(PlantStore, AServerStoppedMidRunLosesNothingAndSyncSendsOnce)
{
    PrivateServer server;
    ASSERT_TRUE(server.Started()) << "could not start a PostgreSQL server of the test's own";
    std::string spoolPath = server.Folder().Path() + "/spool.sqlite";
    StoreStatus status;
    auto store = PlantStore::Open(server.Uri(), spoolPath, &status);
    ASSERT_TRUE(store) << status.error;

    RunRecord run = SampleRun(SampleRunId(1), "2J4K7A", "2026-12-09T18:41:12+01:00", Outcome::Fail);
    StoreStatus begun = store->Begin(Begun(run));
    ASSERT_TRUE(begun) << begun.error;
    EXPECT_FALSE(begun.spooled);
    ASSERT_TRUE(store->AddStep(run.runId, run.steps[0]));

    ASSERT_TRUE(server.Pause());
    for (size_t i = 1; i < run.steps.size(); ++i) {
        StoreStatus added = store->AddStep(run.runId, run.steps[i]);
        ASSERT_TRUE(added) << added.error;
        EXPECT_TRUE(added.spooled);
    }
    RunRecord end = run;
    end.steps.clear();
    StoreStatus finished = store->Finish(end);
    ASSERT_TRUE(finished) << finished.error;
    EXPECT_TRUE(finished.spooled);
    // The next run starts while the server is still away.
    RunRecord next = SampleRun(SampleRunId(2), "2J4K7B", "2026-12-09T18:45:00+01:00");
    StoreStatus nextBegun = store->Begin(Begun(next));
    EXPECT_TRUE(nextBegun.spooled) << nextBegun.error;
    for (const StepRecord& step : next.steps)
        ASSERT_TRUE(store->AddStep(next.runId, step));
    ASSERT_TRUE(store->Finish(next));

    // What the station can say meanwhile: both runs, kept here.
    ExpectSameRecord(run, store->Show(run.runId));
    StoreStatus listed;
    EXPECT_EQ(store->List({}, &listed).size(), 2u);
    EXPECT_FALSE(listed) << "the server's part of the list is missing, and the list says so";
    EXPECT_EQ(store->SpooledRunIds().size(), 2u);
    SyncResult early = store->Sync();
    EXPECT_EQ(early.sent, 0);
    EXPECT_EQ(early.left, 2);
    EXPECT_FALSE(early.status);

    ASSERT_TRUE(server.Resume());
    SyncResult sync = store->Sync();
    EXPECT_TRUE(sync.status) << sync.status.error;
    EXPECT_EQ(sync.sent, 2);
    EXPECT_EQ(sync.left, 0);
    EXPECT_TRUE(store->SpooledRunIds().empty());
    EXPECT_EQ(store->Sync().sent, 0) << "sent once";

    auto plant = PgStore::Open(server.Uri(), &status);
    ASSERT_TRUE(plant) << status.error;
    ExpectSameRecord(run, plant->Show(run.runId));
    ExpectSameRecord(next, plant->Show(next.runId));
    Admin admin(server.Uri());
    EXPECT_EQ(admin.Value("SELECT count(*) FROM runs"), "2");
    EXPECT_EQ(admin.Value("SELECT count(*) FROM measurements"), "10");
}

// A server that takes connections and never answers: how many were tried.
class SilentServer {
public:
    SilentServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd_, 16) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer()
    {
        for (int fd : taken_)
            ::close(fd);
        if (fd_ >= 0)
            ::close(fd_);
    }
    int Port() const { return port_; }
    // The connections made so far (each held open, unanswered).
    size_t Tried()
    {
        for (int fd; (fd = ::accept(fd_, nullptr, nullptr)) >= 0;)
            taken_.push_back(fd);
        return taken_.size();
    }

private:
    int fd_ = -1;
    int port_ = 0;
    std::vector<int> taken_;
};

TEST(PlantStore, AfterTheServerWasOutOfReachNewRunsGoStraightToTheSpoolAndSyncStillTries)
{
    SilentServer silent;
    ASSERT_GT(silent.Port(), 0);
    ScratchFolder folder;
    const std::string uri =
        "postgresql://qa@127.0.0.1:" + std::to_string(silent.Port()) + "/k417?connect_timeout=2&sslmode=disable";
    StoreStatus status;
    auto store = PlantStore::Open(uri, folder.Path() + "/spool.sqlite", &status);
    ASSERT_TRUE(store) << status.error;
    const size_t opened = silent.Tried();
    EXPECT_GE(opened, 1u);

    RunRecord first = SampleRun(SampleRunId(4), "2J4K7D", "2026-12-09T18:41:12+01:00");
    StoreStatus begun = store->Begin(Begun(first));
    EXPECT_TRUE(begun.spooled) << begun.error;
    // The open a moment ago already found the server silent? Then the first
    // run went straight to the spool too; either way the server was tried
    // at most once more for it.
    const size_t afterFirst = silent.Tried();
    EXPECT_LE(afterFirst, opened + 1);
    ASSERT_TRUE(store->Finish(first));

    // The next unit on the line: kept here at once, the server not tried.
    RunRecord next = SampleRun(SampleRunId(5), "2J4K7E", "2026-12-09T18:45:00+01:00");
    StoreStatus nextBegun = store->Begin(Begun(next));
    EXPECT_TRUE(nextBegun.spooled) << nextBegun.error;
    ASSERT_TRUE(store->Finish(next));
    EXPECT_EQ(silent.Tried(), afterFirst);
    EXPECT_EQ(store->SpooledRunIds().size(), 2u);

    // An explicit send always asks the server.
    SyncResult sync = store->Sync();
    EXPECT_EQ(sync.sent, 0);
    EXPECT_EQ(sync.left, 2);
    EXPECT_GT(silent.Tried(), afterFirst);
}

TEST(PlantStore, AConnectionCutHalfWayThroughASendDoublesAndLosesNothing)
{
    ScratchFolder folder;
    std::string uri = NewTestDatabase();
    StoreStatus status;
    auto store = PlantStore::Open(uri, folder.Path() + "/spool.sqlite", &status);
    ASSERT_TRUE(store) << status.error;
    RunRecord run = SampleRun(SampleRunId(3), "2J4K7C", "2026-12-09T18:41:12+01:00");
    ASSERT_TRUE(store->Spool().Put(run)); // as a run kept while the server was away

    // Hold the attachments table: the send writes the run, its steps and
    // measurements, then waits on it, half-way through its transaction.
    Admin holder(uri), watcher(uri);
    ASSERT_TRUE(holder.Ok() && watcher.Ok());
    holder.Value("BEGIN");
    holder.Value("LOCK TABLE attachments IN ACCESS EXCLUSIVE MODE");
    SyncResult sync;
    std::thread sender([&] { sync = store->Sync(); });
    std::string pid;
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         pid.empty() && std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(5)))
        pid = watcher.Value("SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND "
                            "wait_event_type = 'Lock' AND query LIKE 'INSERT INTO attachments%'");
    ASSERT_FALSE(pid.empty()) << "the send never reached the attachments";
    EXPECT_EQ(watcher.Value("SELECT count(*) FROM runs"), "0") << "nothing shows before the commit";
    EXPECT_EQ(watcher.Value("SELECT pg_terminate_backend(" + pid + ")"), "t");
    holder.Value("COMMIT");
    sender.join();

    // The cut send was rolled back and sent again whole on a new connection,
    // now or by the next sync.
    if (sync.sent == 0)
        sync = store->Sync();
    EXPECT_EQ(sync.sent, 1) << sync.status.error;
    EXPECT_TRUE(store->SpooledRunIds().empty());
    EXPECT_EQ(store->Sync().sent, 0);
    ExpectSameRecord(run, store->Plant().Show(run.runId));
    EXPECT_EQ(watcher.Value("SELECT count(*) FROM runs"), "1");
    EXPECT_EQ(watcher.Value("SELECT count(*) FROM steps"), "4");
    EXPECT_EQ(watcher.Value("SELECT count(*) FROM measurements"), "5");
    EXPECT_EQ(watcher.Value("SELECT count(*) FROM attachments"), "2");
}

TEST(PgStore, ADatabaseOfAnOlderSchemaIsMigrated)
{
    std::string uri = NewTestDatabase();
    StoreStatus status;
    RunRecord run = SampleRun(SampleRunId(4), "2J4K7D", "2026-12-09T18:41:12+01:00");
    {
        auto old = PgStore::Open(uri, &status, 1);
        ASSERT_TRUE(old) << status.error;
        ASSERT_TRUE(old->Put(run));
        EXPECT_EQ(old->SchemaVersion(), 1);
    }
    Admin admin(uri);
    EXPECT_EQ(admin.Value("SELECT count(*) FROM pg_indexes WHERE indexname = 'runs_by_start'"), "0");

    // Four stations start at once on the old database: one migrates.
    std::vector<std::thread> stations;
    std::vector<StoreStatus> opened(4);
    for (size_t i = 0; i < opened.size(); ++i)
        stations.emplace_back([&, i] { PgStore::Open(uri, &opened[i]); });
    for (std::thread& t : stations)
        t.join();
    for (const StoreStatus& s : opened)
        EXPECT_TRUE(s) << s.error;
    auto store = PgStore::Open(uri, &status);
    ASSERT_TRUE(store) << status.error;
    EXPECT_EQ(store->SchemaVersion(), PgStore::kSchemaVersion);
    EXPECT_EQ(admin.Value("SELECT string_agg(version::text, ',' ORDER BY version) FROM schema_version"), "1,2");
    EXPECT_EQ(admin.Value("SELECT count(*) FROM pg_indexes WHERE indexname = 'runs_by_start'"), "1");
    ExpectSameRecord(run, store->Show(run.runId));
    EXPECT_EQ(admin.Value("SELECT count(*) FROM runs WHERE received IS NOT NULL"), "1");

    // A program older than the database refuses it rather than guess.
    EXPECT_FALSE(PgStore::Open(uri, &status, 1));
    EXPECT_NE(status.error.find("newer than this program"), std::string::npos) << status.error;
}

TEST(PgStore, APasswordNeverShowsInAMessage)
{
    const std::string secret = "k417-secret-pw", wrong = "wrong-pw-4242";
    std::string server = TestServerUri();
    std::string withWrong = WithUser(server, "k417_pw:" + wrong);
    StoreStatus status;
    EXPECT_FALSE(PgStore::Open(withWrong, &status));
    EXPECT_NE(status.error.find("password authentication failed"), std::string::npos) << status.error;
    EXPECT_EQ(status.error.find(wrong), std::string::npos) << status.error;

    // A URI libpq cannot read is quoted back without its password.
    EXPECT_FALSE(PgStore::Open(WithUser(server, "k417_pw:" + wrong + "%zz"), &status));
    EXPECT_EQ(status.error.find(wrong), std::string::npos) << status.error;

    // In the URI it works, and the store names its location without it.
    auto store = PgStore::Open(WithUser(server, "k417_pw:" + secret), &status);
    ASSERT_TRUE(store) << status.error;
    EXPECT_EQ(store->Location().find(secret), std::string::npos);
    EXPECT_NE(store->Location().find("k417_pw@"), std::string::npos);

    // libpq's PGPASSWORD works as libpq documents it.
    setenv("PGPASSWORD", secret.c_str(), 1);
    auto fromEnvironment = PgStore::Open(WithUser(server, "k417_pw"), &status);
    unsetenv("PGPASSWORD");
    EXPECT_TRUE(fromEnvironment) << status.error;
}
