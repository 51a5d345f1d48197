#pragma once
// k417ctl run in-process on a command line: what it printed and its exit status.

#include "cli/Cli.h"

#include <sstream>
#include <string>
#include <vector>

struct CliRun {
    int status = -1;
    std::string out, err;
};

inline CliRun RunCtl(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    CliRun run;
    run.status = RunCli(ParseCliOptions(args), {}, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}
