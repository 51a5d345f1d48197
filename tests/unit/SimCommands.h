#pragma once
// The commands the simulated box received, for logic tests that check the
// traffic of an action.

#include "sim/Simulator.h"

#include <string>
#include <vector>

// The commands received since the last call, in order; the log starts afresh.
inline std::vector<std::string> TakeCommands(Simulator& sim)
{
    std::vector<std::string> commands;
    for (const SimLogEntry& e : sim.CommandLog())
        commands.push_back(e.command);
    sim.ClearCommandLog();
    return commands;
}
