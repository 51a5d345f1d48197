// k417-sim: the simulated interface box with an encoder, as a program.

#include "sim/SimCommandLine.h"
#include "sim/Simulator.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char** argv)
{
    SimCommandLine line;
    std::string error;
    if (!ParseSimCommandLine(std::vector<std::string>(argv + 1, argv + argc), line, error)) {
        std::fprintf(stderr, "k417-sim: %s\n%s", error.c_str(), SimUsage().c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    // The signals are taken one by one below; block them before the serving
    // thread starts so that it inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2})
        sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    line.options.commandLogLimit = 0; // nobody reads it here
    Simulator simulator(line.options);
    if (line.verbose)
        simulator.SetTrace([](const std::string& command, const std::string& reply) {
            std::string shown;
            for (char c : reply)
                shown += c == '\r' ? std::string("\\r") : std::string(1, c);
            std::fprintf(stderr, "%-10s -> %s\n", command.c_str(), shown.c_str());
        });
    if (!line.linkPath.empty())
        simulator.SetLinkPath(line.linkPath);
    if (!simulator.Start(&error)) {
        std::fprintf(stderr, "k417-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", simulator.PortPath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "k417-sim: %s encoder on %s%s%s\n", SimFamilyName(line.options.family),
                 simulator.PortPath().c_str(), line.linkPath.empty() ? "" : ", linked from ", line.linkPath.c_str());

    for (;;) {
        int s = 0;
        if (sigwait(&signals, &s) != 0)
            continue;
        if (s == SIGUSR1) {
            if (simulator.Plugged()) {
                simulator.Unplug();
                std::fprintf(stderr, "k417-sim: unplugged\n");
            } else if (simulator.Replug(&error)) {
                std::printf("%s\n", simulator.PortPath().c_str());
                std::fflush(stdout);
                std::fprintf(stderr, "k417-sim: plugged in on %s\n", simulator.PortPath().c_str());
            } else {
                std::fprintf(stderr, "k417-sim: %s\n", error.c_str());
            }
        } else if (s == SIGUSR2) {
            const bool on = !simulator.EncoderPowered();
            simulator.SetEncoderPower(on);
            std::fprintf(stderr, "k417-sim: encoder supply %s\n", on ? "on" : "off");
        } else {
            break;
        }
    }
    simulator.Stop();
    return 0;
}
