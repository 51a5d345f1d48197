// The encoder's construction and its faults, the family names, and the step
// that brings everything that moves up to the time of a call.
#include "sim/SimEncoder.h"

#include <string>

using namespace sim;

bool ParseSimFamily(std::string_view text, SimFamily& out)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (lower == "torvik")
        out = SimFamily::Torvik;
    else if (lower == "quenra")
        out = SimFamily::Quenra;
    else if (lower == "linear")
        out = SimFamily::Linear;
    else if (lower == "foreign")
        out = SimFamily::Foreign;
    else
        return false;
    return true;
}

const char* SimFamilyName(SimFamily family)
{
    switch (family) {
    case SimFamily::Quenra: return "quenra";
    case SimFamily::Linear: return "linear";
    case SimFamily::Foreign: return "foreign";
    case SimFamily::Torvik: break;
    }
    return "torvik";
}

SimEncoder::SimEncoder(const SimOptions& options, Clock::time_point now)
{
    BuildIdentity(options);
    BuildFactoryMemory(options);
    faults_ = options.faults;
    speed_ = options.speed;
    calibrationSpeed_ = options.calibrationSpeed;
    movedAt_ = now;
    // Start somewhere in the middle of a turn, a few turns up.
    counts_ = int64_t{3} << info_.stLength | (int64_t{5} << (info_.stLength > 3 ? info_.stLength - 3 : 0));
    ram_ = nv_;
    powerWanted_ = options.powerOnAtStart;
    UpdateSupply(now);
}

void SimEncoder::SetFaults(const SimFaults& faults, Clock::time_point now)
{
    faults_ = faults;
    UpdateSupply(now);
}

void SimEncoder::Advance(Clock::time_point now)
{
    MoveShaft(now);
    FinishBusySpell(now);
}
