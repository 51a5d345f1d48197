#pragma once
// A session on a started simulator with its encoder identified and its
// datasheet read, for the benchmarks without a window.

#include "session/Session.h"
#include "sim/Simulator.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Starts the simulator and connects a session to it; empty (the reason on
// stderr) when either fails.
inline std::unique_ptr<Session> ConnectBenchSession(Simulator& sim)
{
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return nullptr;
    }
    SessionEnvironment environment;
    environment.portLister = [&sim] { return std::vector<std::string>{sim.PortPath()}; };
    auto session = std::make_unique<Session>(environment);
    if (!session->SearchTick()) {
        std::fprintf(stderr, "no box found\n");
        return nullptr;
    }
    session->Identify();
    session->ReadDatasheet();
    session->Identity().EncoderConnected = true;
    return session;
}
