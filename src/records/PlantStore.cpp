#include "PlantStore.h"

#include "RecordTime.h"

#include <algorithm>

namespace {
StoreStatus Spooled(StoreStatus status)
{
    if (status)
        status.spooled = true;
    return status;
}
} // namespace

PlantStore::PlantStore(std::unique_ptr<PgStore> plant, std::unique_ptr<SqliteStore> spool)
    : plant_(std::move(plant)), spool_(std::move(spool))
{
}

std::unique_ptr<PlantStore> PlantStore::Open(const std::string& uri, const std::string& spoolPath,
                                             StoreStatus* status)
{
    auto spool = SqliteStore::Open(spoolPath, status);
    if (!spool)
        return nullptr;
    auto plant = std::make_unique<PgStore>(uri);
    plant->Connect(); // a server out of reach now is tried again at each write
    if (status)
        *status = {};
    return std::unique_ptr<PlantStore>(new PlantStore(std::move(plant), std::move(spool)));
}

StoreStatus PlantStore::ServerFailed(const std::string& runId, const StoreStatus& plantFailure)
{
    serverLost_ = std::chrono::steady_clock::now();
    return ToSpool(runId, plantFailure);
}

StoreStatus PlantStore::ToSpool(const std::string& runId, const StoreStatus& plantFailure)
{
    auto it = going_.find(runId);
    if (it == going_.end())
        return plantFailure;
    StoreStatus kept = spool_->Put(it->second);
    if (!kept)
        return StoreStatus::Failed(plantFailure.error + "; and the station's spool failed: " + kept.error);
    spooled_.insert(runId);
    return Spooled(kept);
}

StoreStatus PlantStore::Begin(const RunRecord& run)
{
    RunRecord begun = run;
    going_[run.runId] = begun;
    spooled_.erase(run.runId);
    // The server is tried again a while after it failed, not after the last run.
    if (serverLost_ && std::chrono::steady_clock::now() - *serverLost_ < kRetryServerAfter) {
        const auto ago = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - *serverLost_);
        return ToSpool(run.runId, StoreStatus::Failed("the plant's server was out of reach " +
                                                      std::to_string(ago.count()) + " s ago"));
    }
    StoreStatus sent = plant_->Begin(run);
    if (sent)
        serverLost_.reset();
    connection_[run.runId] = plant_->Connections();
    return sent ? sent : ServerFailed(run.runId, sent);
}

StoreStatus PlantStore::AddStep(const std::string& runId, const StepRecord& step)
{
    auto it = going_.find(runId);
    if (it != going_.end()) {
        auto& steps = it->second.steps;
        steps.erase(std::remove_if(steps.begin(), steps.end(),
                                   [&](const StepRecord& s) { return s.index == step.index; }),
                    steps.end());
        steps.push_back(step);
    }
    if (spooled_.count(runId))
        return Spooled(spool_->AddStep(runId, step));
    StoreStatus sent = plant_->AddStep(runId, step);
    return sent ? sent : ServerFailed(runId, sent);
}

StoreStatus PlantStore::Finish(const RunRecord& run)
{
    auto it = going_.find(run.runId);
    if (it != going_.end()) {
        std::vector<StepRecord> steps = std::move(it->second.steps);
        it->second = run;
        it->second.steps = std::move(steps);
    }
    StoreStatus result;
    if (spooled_.count(run.runId)) {
        result = Spooled(spool_->Finish(run));
    } else {
        result = plant_->Finish(run);
        // Steps written before a lost connection may be lost with a crashed
        // server: then the whole run again, in one transaction.
        if (result && it != going_.end() && connection_[run.runId] != plant_->Connections())
            result = plant_->Put(it->second);
        if (!result)
            result = ServerFailed(run.runId, result);
    }
    if (run.outcome != Outcome::Running) {
        going_.erase(run.runId);
        spooled_.erase(run.runId);
        connection_.erase(run.runId);
    }
    return result;
}

StoreStatus PlantStore::Put(const RunRecord& run)
{
    StoreStatus sent = plant_->Put(run);
    if (sent)
        return sent;
    serverLost_ = std::chrono::steady_clock::now();
    StoreStatus kept = spool_->Put(run);
    return kept ? Spooled(kept) : StoreStatus::Failed(sent.error + "; and the station's spool failed: " + kept.error);
}

std::vector<RunRecord> PlantStore::List(const RunFilter& filter, StoreStatus* status)
{
    StoreStatus plantStatus, spoolStatus;
    std::vector<RunRecord> runs = plant_->List(filter, &plantStatus);
    std::vector<RunRecord> kept = spool_->List(filter, &spoolStatus);
    // A spooled run is the newer word on a run the server may have in part.
    for (const RunRecord& run : kept) {
        runs.erase(std::remove_if(runs.begin(), runs.end(), [&](const RunRecord& r) { return r.runId == run.runId; }),
                   runs.end());
        runs.push_back(run);
    }
    std::stable_sort(runs.begin(), runs.end(), [](const RunRecord& a, const RunRecord& b) {
        auto ta = IsoTimeToMs(a.started).value_or(0), tb = IsoTimeToMs(b.started).value_or(0);
        return ta != tb ? ta > tb : a.runId < b.runId;
    });
    if (filter.limit > 0 && runs.size() > static_cast<size_t>(filter.limit))
        runs.resize(static_cast<size_t>(filter.limit));
    if (status)
        *status = !plantStatus ? plantStatus : spoolStatus;
    return runs;
}

YieldFacts PlantStore::CollectYieldFacts(const RunFilter& filter, StoreStatus* status)
{
    StoreStatus plantStatus, spoolStatus;
    YieldFacts facts = plant_->CollectYieldFacts(filter, &plantStatus);
    YieldFacts kept = spool_->CollectYieldFacts(filter, &spoolStatus);
    if (!kept.runs.empty()) {
        // A spooled run is the newer word on a run the server may have in part.
        std::set<std::string> ids;
        for (const YieldRun& run : kept.runs)
            ids.insert(run.runId);
        auto stale = [&](const auto& item) { return ids.count(item.runId) > 0; };
        facts.runs.erase(std::remove_if(facts.runs.begin(), facts.runs.end(), stale), facts.runs.end());
        facts.failures.erase(std::remove_if(facts.failures.begin(), facts.failures.end(), stale),
                             facts.failures.end());
        facts.runs.insert(facts.runs.end(), kept.runs.begin(), kept.runs.end());
        facts.failures.insert(facts.failures.end(), kept.failures.begin(), kept.failures.end());
    }
    if (status)
        *status = !plantStatus ? plantStatus : spoolStatus;
    return facts;
}

std::optional<RunRecord> PlantStore::Show(const std::string& runId, StoreStatus* status)
{
    auto kept = spool_->Show(runId, status);
    if (kept)
        return kept;
    return plant_->Show(runId, status);
}

std::vector<std::string> PlantStore::SpooledRunIds(StoreStatus* status)
{
    std::vector<std::string> ids;
    for (const RunRecord& run : spool_->List({}, status))
        ids.push_back(run.runId);
    return ids;
}

SyncResult PlantStore::Sync()
{
    SyncResult result;
    std::vector<RunRecord> kept = spool_->List({}, &result.status);
    if (!result.status)
        return result;
    // Oldest first, as they happened.
    std::reverse(kept.begin(), kept.end());
    for (const RunRecord& listed : kept) {
        if (listed.outcome == Outcome::Running || !result.status) {
            ++result.left; // still going, or the server is out of reach
            continue;
        }
        StoreStatus read;
        auto run = spool_->Show(listed.runId, &read);
        if (!run) {
            if (read)
                continue; // another program sent it meanwhile
            result.status = read;
            ++result.left;
            continue;
        }
        StoreStatus sent = plant_->Put(*run);
        if (!sent) {
            serverLost_ = std::chrono::steady_clock::now();
            result.status = sent;
            ++result.left;
            continue;
        }
        // Only now that the server has it: were this removal lost, the next
        // sync would send the same run again, replacing it, not doubling it.
        serverLost_.reset();
        if (StoreStatus removed = spool_->Remove(run->runId); !removed)
            result.status = removed;
        ++result.sent;
    }
    return result;
}
