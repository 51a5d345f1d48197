#pragma once
// The subcommands of k417ctl, grouped by what they serve.

#include "cli/Cli.h"

#include <vector>

// ports, info, position, read, write, eds.
void AddBasicSubcommands(std::vector<Subcommand>& list);
