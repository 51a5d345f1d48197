#include "production/Runner.h"

#include "production/StepContext.h"
#include "production/StepKinds.h"
#include "production/Validators.h"
#include "records/RecordTime.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <unistd.h>

std::string FamilyText(EncoderFamily family)
{
    switch (family) {
    case EncoderFamily::Torvik:
        return "Torvik";
    case EncoderFamily::Quenra:
        return "Quenra";
    case EncoderFamily::Linear:
        return "Linear";
    case EncoderFamily::Unidentified:
        break;
    }
    return "";
}

namespace {
// The reason of a FAIL that gave none: the measurements that missed their limits.
std::string FailedMeasurements(const StepRecord& step)
{
    std::string text;
    for (const Measurement& m : step.measurements)
        if (m.outcome != Outcome::Pass)
            text += (text.empty() ? "" : ", ") + MeasurementText(m);
    return text;
}
} // namespace

UnitIdentity UnitIdentityOf(const Session& session)
{
    UnitIdentity unit;
    const EncoderCapabilities& caps = session.Capabilities();
    if (!caps.identified)
        return unit;
    const TEncoderSignature& sig = session.GetLink().EncoderSignature;
    unit.family = FamilyText(caps.family);
    unit.partNumber = sig.Zolvan_PartNumber;
    char serial[16];
    std::snprintf(serial, sizeof serial, "0x%08X", static_cast<unsigned>(sig.SerialNumber));
    unit.bissSerial = serial;
    unit.decodedSerial = sig.Zolvan_SerialDecoded;
    unit.extendedSerial = sig.Zolvan_ExtendedSerial;
    unit.firmware = sig.Zolvan_FWverStr;
    return unit;
}

std::string NewRunId()
{
    static std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(),
                           static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()),
                           static_cast<unsigned>(::getpid())};
        return std::mt19937_64(seed);
    }();
    uint8_t bytes[16];
    for (int i = 0; i < 16; i += 8) {
        const uint64_t word = generator();
        for (int b = 0; b < 8; ++b)
            bytes[i + b] = static_cast<uint8_t>(word >> (8 * b));
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80); // the RFC 4122 variant
    char text[40];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

std::string StationName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    return name;
}

PlanRunner::PlanRunner(Session& session, RecordStore* store, RunObserver& observer, RunControl control)
    : session_(session), store_(store), observer_(observer), control_(std::move(control))
{
}

void PlanRunner::Keep(const StoreStatus& status, const char* what)
{
    // The plant's server could not take the record: the station keeps it,
    // and the operator is told once per run.
    if (status && status.spooled && !spooled_) {
        spooled_ = true;
        observer_.Notice(kSpooledMessage);
    }
    if (status)
        return;
    storeErrors_.push_back(std::string(what) + ": " + status.error);
    observer_.Notice("The record store refused " + std::string(what) + ": " + status.error);
}

RunRecord PlanRunner::Run(const Plan& plan, const RunIdentity& identity)
{
    RunRecord run;
    run.runId = NewRunId();
    run.planName = plan.name;
    run.planRevision = plan.revision;
    run.planSha256 = plan.sha256;
    run.station = identity.station.empty() ? StationName() : identity.station;
    run.operatorName = identity.operatorName;
    run.labelSerial = identity.labelSerial;
    run.unit = UnitIdentityOf(session_);
    run.started = NowIsoTime();
    run.outcome = Outcome::Running;
    if (store_)
        Keep(store_->Begin(run), "the start of the run");

    // Nothing else reads the encoder while the plan runs.
    session_.StopMonitor();
    StepPrompts prompts;
    ServiceActions actions(session_, prompts, control_.waits);
    StepContext context{session_, actions, prompts, control_, observer_, plan, identity};

    bool skipRest = false;
    bool aborted = false;
    for (const PlanStep& planStep : plan.steps) {
        StepRecord step;
        if (!skipRest && !aborted && context.Stopped())
            aborted = true;
        if (!skipRest && !aborted) {
            StepRecord announced;
            announced.index = planStep.index;
            announced.kind = planStep.kind;
            announced.name = planStep.name;
            announced.outcome = Outcome::Running;
            announced.started = NowIsoTime();
            observer_.StepStarted(announced);
            step = FindStepKind(planStep.kind)->run(context, planStep);
            session_.StopMonitor();
            step.started = announced.started;
            step.ended = NowIsoTime();
            // A step that returns without an outcome was stopped.
            if (step.outcome == Outcome::Skipped || context.Stopped()) {
                step.outcome = Outcome::Aborted;
                step.message = "stopped by the operator";
                aborted = true;
            }
            if (step.outcome == Outcome::Fail && step.message.empty())
                step.message = FailedMeasurements(step);
            if ((step.outcome == Outcome::Fail || step.outcome == Outcome::Error) && plan.stopOnFail)
                skipRest = true;
        } else {
            step.outcome = Outcome::Skipped;
        }
        step.index = planStep.index;
        step.kind = planStep.kind;
        step.name = planStep.name;
        prompts.Take();
        if (store_)
            Keep(store_->AddStep(run.runId, step), "a step");
        observer_.StepEnded(step);
        run.steps.push_back(std::move(step));
    }
    run.outcome = aborted ? Outcome::Aborted : RunOutcome(run.steps);
    const UnitIdentity found = UnitIdentityOf(session_);
    if (!found.partNumber.empty() || run.unit.partNumber.empty())
        run.unit = found;
    run.ended = NowIsoTime();
    if (store_)
        Keep(store_->Finish(run), "the end of the run");
    session_.ResumeMonitor();
    observer_.Finished(run);
    return run;
}
