#pragma once
// k417ctl run in-process against a simulated box on a pseudo-terminal: what
// it printed, its exit status and the commands the box received.

#include "CliRun.h"
#include "cli/Cli.h"
#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

class CliTest : public ::testing::Test {
protected:
    void Start(SimOptions options = {})
    {
        sim = std::make_unique<Simulator>(options);
        ASSERT_TRUE(sim->Start());
        sim->SetShaftSpeed(0);
    }
    CliRun Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--port", sim->PortPath()});
        return RunRaw(args);
    }
    static CliRun RunRaw(const std::vector<std::string>& args) { return RunCtl(args); }
    std::vector<std::string> Commands() const
    {
        std::vector<std::string> log;
        for (const SimLogEntry& e : sim->CommandLog())
            log.push_back(e.command);
        return log;
    }
    std::unique_ptr<Simulator> sim;
};
