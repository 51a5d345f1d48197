// k417ctl: the command-line front end of the K417 tool, for production
// lines and scripts.

#include "cli/Cli.h"
#include "sim/Simulator.h"

#include <csignal>
#include <iostream>
#include <memory>

namespace {
void OnInterrupt(int)
{
    CliStopRequested() = true;
}
} // namespace

int main(int argc, char** argv)
{
    const CliOptions options = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<Simulator> simulator;
    std::vector<std::string> extraPorts;
    if (options.simulate && options.error.empty() && !options.help && !options.version) {
        SimOptions sim;
        if (!options.simFamily.empty() && !ParseSimFamily(options.simFamily, sim.family)) {
            std::cerr << "k417ctl: unknown family \"" << options.simFamily << "\" (torvik, quenra, linear or foreign)\n";
            return kExitUsage;
        }
        simulator = std::make_unique<Simulator>(sim);
        std::string error;
        if (!simulator->Start(&error)) {
            std::cerr << "k417ctl: cannot start the simulated box: " << error << "\n";
            return kExitNoBox;
        }
        extraPorts.push_back(simulator->PortPath());
    }
    const int result = RunCli(options, extraPorts, std::cout, std::cerr);
    std::cout.flush();
    if (simulator)
        simulator->Stop();
    return result;
}
