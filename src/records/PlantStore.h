#pragma once
// A station's view of its plant's store: runs go to the plant's PostgreSQL
// server, and when it cannot be reached (at the start, during or at the end
// of a run) the whole run goes to the station's SQLite spool instead and the
// run goes on; the caller is told (StoreStatus::spooled) and tells the
// operator kSpooledMessage. Sync sends the spooled runs that have ended,
// each as one transaction that replaces whatever the server had of it, and
// removes a run from the spool only once the server has it: a send cut
// half-way is sent again, never twice.
//
// The spool is one file per station; runs in it go to the plant store it is
// opened with.

#include "PgStore.h"
#include "SqliteStore.h"

#include <chrono>
#include <map>
#include <optional>
#include <memory>
#include <set>

class PlantStore final : public RecordStore {
public:
    // After the server could not be reached, new runs go straight to the
    // spool for this long: a line whose server is down does not wait the
    // connect time-out at every unit. Sync always tries.
    static constexpr std::chrono::seconds kRetryServerAfter{60};

    // The plant's server at uri, the spool at spoolPath. Empty only when the
    // spool cannot be opened; a server out of reach is no reason to refuse.
    static std::unique_ptr<PlantStore> Open(const std::string& uri, const std::string& spoolPath,
                                            StoreStatus* status = nullptr);

    StoreStatus Begin(const RunRecord& run) override;
    StoreStatus AddStep(const std::string& runId, const StepRecord& step) override;
    StoreStatus Finish(const RunRecord& run) override;
    std::vector<RunRecord> List(const RunFilter& filter, StoreStatus* status = nullptr) override;
    std::optional<RunRecord> Show(const std::string& runId, StoreStatus* status = nullptr) override;
    StoreStatus Put(const RunRecord& run) override;
    YieldFacts CollectYieldFacts(const RunFilter& filter, StoreStatus* status = nullptr) override;
    std::vector<std::string> SpooledRunIds(StoreStatus* status = nullptr) override;
    SyncResult Sync() override;
    std::string Location() const override { return plant_->Location(); }

    PgStore& Plant() { return *plant_; }
    SqliteStore& Spool() { return *spool_; }

private:
    PlantStore(std::unique_ptr<PgStore> plant, std::unique_ptr<SqliteStore> spool);
    // Moves a run that the server did not take to the spool, whole.
    StoreStatus ToSpool(const std::string& runId, const StoreStatus& plantFailure);
    // The server failed a write of this run: noted for new runs, the run spooled.
    StoreStatus ServerFailed(const std::string& runId, const StoreStatus& plantFailure);

    std::unique_ptr<PgStore> plant_;
    std::unique_ptr<SqliteStore> spool_;
    std::map<std::string, RunRecord> going_; // runs begun here and not finished, as far as they went
    std::set<std::string> spooled_;          // runs of going_ that went to the spool
    std::map<std::string, int> connection_;  // the plant's connection each run began on
    std::optional<std::chrono::steady_clock::time_point> serverLost_; // when the server was last out of reach
};
