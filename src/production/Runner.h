#pragma once
// Runs a unit through a test plan: every step in turn on the session and
// the existing actions, each judged by the validators, the record written to
// the store as it goes (the run when it starts, each step when it ends, the
// outcome at the end), and the front ends told through a RunObserver. The
// window's page and `k417ctl test` are two observers of the same runner.

#include "production/Plan.h"
#include "records/RecordStore.h"
#include "records/RunRecord.h"
#include "session/ServiceActions.h"

#include <functional>
#include <string>
#include <vector>

class RunObserver {
public:
    virtual ~RunObserver() = default;
    // A step begins (index, kind and name are set).
    virtual void StepStarted(const StepRecord& /*step*/) {}
    // A step ended or was skipped, with its outcome and measurements.
    virtual void StepEnded(const StepRecord& /*step*/) {}
    // A prompt step asks the operator; true to go on, false to stop the run.
    virtual bool Prompt(const std::string& text) = 0;
    // Something for the operator that is no step's result (a store that
    // failed, or kSpooledMessage when the record waits in the station's spool).
    virtual void Notice(const std::string& /*text*/) {}
    // The run ended; the record is complete.
    virtual void Finished(const RunRecord& /*run*/) {}
};

// Who runs which unit where.
struct RunIdentity {
    std::string operatorName;
    std::string labelSerial;
    std::string station; // empty: this host's name
};

// How the runner waits and when it stops.
struct RunControl {
    ServiceWaits waits;                 // serving: the front end keeps serving; blocking: it does not
    std::function<void()> serve;        // serves the front end's pending events once (may be empty)
    std::function<bool()> stopRequested; // the operator stopped, the window closes, a signal came
};

class PlanRunner {
public:
    // store may be null: the run is not kept (a dry run in tests).
    PlanRunner(Session& session, RecordStore* store, RunObserver& observer, RunControl control);

    // Runs the plan on the attached, identified encoder.
    RunRecord Run(const Plan& plan, const RunIdentity& identity);

    // Whether every write to the store landed; the reasons when not.
    bool Stored() const { return storeErrors_.empty(); }
    const std::vector<std::string>& StoreErrors() const { return storeErrors_; }
    // Whether the record went to the station's spool instead of the plant's
    // store (the operator was told kSpooledMessage); it is kept all the same.
    bool Spooled() const { return spooled_; }

private:
    void Keep(const StoreStatus& status, const char* what);

    Session& session_;
    RecordStore* store_;
    RunObserver& observer_;
    RunControl control_;
    std::vector<std::string> storeErrors_;
    bool spooled_ = false;
};

// A family as the record names it: "Torvik", "Quenra", "Linear", "" when not identified.
std::string FamilyText(EncoderFamily family);
// The run's identity of the unit from what the session's identification read.
UnitIdentity UnitIdentityOf(const Session& session);
// A new run id: a random UUID (version 4), lower case with hyphens.
std::string NewRunId();
// This host's name.
std::string StationName();
