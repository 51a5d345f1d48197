// k417ctl's dispatch: the table of subcommands, the usage text and the run
// of one command line.

#include "cli/Cli.h"
#include "cli/Commands.h"
#include "cli/RecordsCommands.h"

#include <ostream>

#ifndef K417_VERSION
#define K417_VERSION ""
#endif

// --- Dispatch ---------------------------------------------------------------

const std::vector<Subcommand>& Subcommands()
{
    static const std::vector<Subcommand> all = [] {
        std::vector<Subcommand> list;
        AddBasicSubcommands(list);
        AddMemorySubcommands(list);
        AddServiceSubcommands(list);
        AddMonitorSubcommands(list);
        AddTestSubcommand(list);
        AddRecordsSubcommands(list);
        return list;
    }();
    return all;
}

std::string CliVersion()
{
    return std::string("k417ctl ") + K417_VERSION + "\n";
}

std::string CliUsage()
{
    std::string text =
        "usage: k417ctl [--port PATH]... [--simulate[=torvik|quenra|linear|foreign]] [--db PATH|URI] [--json] [--yes] [-v]\n"
        "               SUBCOMMAND [ARGS]\n"
        "  --port PATH         the box's port (repeatable); without it every USB serial port is probed\n"
        "  --simulate[=FAMILY] a built-in simulated box with an encoder of FAMILY (default torvik)\n"
        "  --db PATH|URI       the record store of test and records: a SQLite file or\n"
        "                      postgresql://user@host:port/dbname (default: K417_DB, else ~/.local/share/k417)\n"
        "  --json              results as JSON, one object per line\n"
        "  --yes               answer Yes to the questions the window asks\n"
        "  -v, --verbose       every command and reply on stderr\n"
        "  --help, --version\n"
        "subcommands:\n";
    for (const Subcommand& s : Subcommands()) {
        std::string line = std::string("  ") + s.name + (s.usage[0] ? " " : "") + s.usage;
        if (line.size() < 44)
            line.resize(44, ' ');
        else
            line += "\n" + std::string(44, ' ');
        text += line + s.summary + "\n";
    }
    text += "exit status: 0 success (test: PASS), 1 the operation failed (test: FAIL, ERROR or ABORTED), 2 usage or plan\n"
            "file error, 3 no box found or its port unusable\n";
    return text;
}

int RunCli(const CliOptions& options, const std::vector<std::string>& extraPorts, std::ostream& out, std::ostream& err)
{
    if (!options.error.empty()) {
        err << "k417ctl: " << options.error << "\n" << CliUsage();
        return kExitUsage;
    }
    if (options.version) {
        out << CliVersion();
        return kExitOk;
    }
    const Subcommand* command = nullptr;
    for (const Subcommand& s : Subcommands())
        if (options.command == s.name)
            command = &s;
    if (options.help) {
        if (command)
            out << "usage: k417ctl [options] " << command->name << (command->usage[0] ? " " : "") << command->usage
                << "\n  " << command->summary << "\n";
        else
            out << CliUsage();
        return kExitOk;
    }
    if (options.command.empty()) {
        err << CliUsage();
        return kExitUsage;
    }
    if (!command) {
        err << "k417ctl: unknown subcommand \"" << options.command << "\"\n" << CliUsage();
        return kExitUsage;
    }
    CliContext context(options, extraPorts, out, err);
    std::vector<std::string> args = options.args;
    return command->run(context, args);
}
