#pragma once
// The command line of k417-service.

#include <string>
#include <vector>

struct CommandLine {
    bool production = false;        // "/PROIZVODNJA" in any case: production layout
    std::vector<std::string> ports; // --port PATH (repeatable): probed with the USB serial ports
    bool simulate = false;          // --simulate[=family]: built-in simulated box
    std::string simFamily;          // the family after "=", empty for the default
    std::string plan;               // --plan FILE: the test plan of the production layout (which it opens)
    std::string db;                 // --db PATH|URI: the record store, ahead of K417_DB and the window's setting
    bool help = false;
    std::string error;              // what is wrong with the arguments, empty when nothing
};

// Parses the arguments after the program name (toolkit options already removed).
CommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();
