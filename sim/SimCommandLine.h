#pragma once
// Command-line options of the k417-sim program.

#include "sim/SimOptions.h"

#include <string>
#include <vector>

struct SimCommandLine {
    SimOptions options;
    std::string linkPath; // --link PATH
    bool help = false;
    bool verbose = false; // --verbose: every command and reply on stderr
};

// Reads the arguments after the program name. False with error set when an
// option is unknown or its value is not usable.
bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine& out, std::string& error);

// The text --help prints.
std::string SimUsage();
