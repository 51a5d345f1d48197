#pragma once
// The subcommands of k417ctl, grouped by what they serve.

#include "cli/Cli.h"
#include "session/ServiceActions.h"

#include <string>
#include <vector>

// Tells what is wrong with the command line; the usage exit status.
int UsageError(CliContext& c, const std::string& error);
// The exit status when the box or the encoder could not be reached: no box,
// or a box whose encoder failed to answer.
int Unreachable(CliContext& c);

// What the window asks and tells, on the command line: messages go to
// stderr, questions are answered by --yes (without it they are refused).
class CliPrompts final : public ServicePrompts {
public:
    explicit CliPrompts(CliContext& c) : c_(c) {}
    void Message(const std::string& text) override;
    bool Confirm(const std::string& question) override;
    bool Refused() const { return refused_; }

private:
    CliContext& c_;
    bool refused_ = false;
};

// The waits of the session's actions on a command line: plain sleeps.
ServiceWaits CliWaits();

// ports, info, position, read, write, eds.
void AddBasicSubcommands(std::vector<Subcommand>& list);
// bank, usermem, errmap.
void AddMemorySubcommands(std::vector<Subcommand>& list);
// config, preset-mt, zero, factory-reset, clear-persistent, calibrate, status.
void AddServiceSubcommands(std::vector<Subcommand>& list);
// record, diag.
void AddMonitorSubcommands(std::vector<Subcommand>& list);
// test: a unit through an end-of-line test plan.
void AddTestSubcommand(std::vector<Subcommand>& list);
