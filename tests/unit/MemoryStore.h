#pragma once
// A record store in memory, for tests of the runner and its front ends:
// keeps what it is given, can be told to refuse.

#include "records/RecordStore.h"

#include <algorithm>
#include <map>
#include <mutex>

class MemoryStore final : public RecordStore {
public:
    StoreStatus Begin(const RunRecord& run) override
    {
        std::lock_guard lock(mutex_);
        if (refuse)
            return StoreStatus::Failed("refused");
        runs_[run.runId] = run;
        runs_[run.runId].steps.clear();
        order_.push_back(run.runId);
        calls.push_back("begin");
        return {};
    }
    StoreStatus AddStep(const std::string& runId, const StepRecord& step) override
    {
        std::lock_guard lock(mutex_);
        if (refuse || !runs_.count(runId))
            return StoreStatus::Failed("refused");
        runs_[runId].steps.push_back(step);
        calls.push_back("step " + step.kind);
        return {};
    }
    StoreStatus Finish(const RunRecord& run) override
    {
        std::lock_guard lock(mutex_);
        if (refuse || !runs_.count(run.runId))
            return StoreStatus::Failed("refused");
        std::vector<StepRecord> steps = std::move(runs_[run.runId].steps);
        runs_[run.runId] = run;
        runs_[run.runId].steps = std::move(steps);
        calls.push_back("finish");
        return {};
    }
    std::vector<RunRecord> List(const RunFilter& filter, StoreStatus* = nullptr) override
    {
        std::lock_guard lock(mutex_);
        std::vector<RunRecord> out;
        for (auto it = order_.rbegin(); it != order_.rend(); ++it) {
            RunRecord r = runs_[*it];
            if (!filter.station.empty() && r.station != filter.station)
                continue;
            r.steps.clear();
            out.push_back(r);
            if (filter.limit && static_cast<int>(out.size()) == filter.limit)
                break;
        }
        return out;
    }
    std::optional<RunRecord> Show(const std::string& runId, StoreStatus* = nullptr) override
    {
        std::lock_guard lock(mutex_);
        const auto it = runs_.find(runId);
        if (it == runs_.end())
            return std::nullopt;
        return it->second;
    }

    bool refuse = false;
    std::vector<std::string> calls;

private:
    std::mutex mutex_;
    std::map<std::string, RunRecord> runs_;
    std::vector<std::string> order_;
};
