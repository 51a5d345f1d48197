#include "app/CommandLine.h"

#include "util/Text.h"

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (UpperAscii(arg) == "/PROIZVODNJA") {
            line.production = true;
        } else if (arg == "--port") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                line.error = "--port needs a device path";
                return line;
            }
            line.ports.push_back(args[++i]);
        } else if (StartsWith(arg, "--port=")) {
            if (arg.size() == 7) {
                line.error = "--port needs a device path";
                return line;
            }
            line.ports.push_back(arg.substr(7));
        } else if (arg == "--plan" || StartsWith(arg, "--plan=")) {
            if (arg == "--plan" && (i + 1 >= args.size() || args[i + 1].empty())) {
                line.error = "--plan needs a test plan file";
                return line;
            }
            line.plan = arg == "--plan" ? args[++i] : arg.substr(7);
            if (line.plan.empty()) {
                line.error = "--plan needs a test plan file";
                return line;
            }
            line.production = true;
        } else if (arg == "--db" || StartsWith(arg, "--db=")) {
            if (arg == "--db" && (i + 1 >= args.size() || args[i + 1].empty())) {
                line.error = "--db needs a SQLite file or a postgresql:// URI";
                return line;
            }
            line.db = arg == "--db" ? args[++i] : arg.substr(5);
            if (line.db.empty()) {
                line.error = "--db needs a SQLite file or a postgresql:// URI";
                return line;
            }
        } else if (arg == "--simulate") {
            line.simulate = true;
        } else if (StartsWith(arg, "--simulate=")) {
            line.simulate = true;
            line.simFamily = arg.substr(11);
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        }
        // Anything else is left alone: the toolkit's own options (-platform,
        // -style, ...) pass through, and other words were always ignored.
    }
    return line;
}

std::string UsageText()
{
    return "usage: k417-service [/PROIZVODNJA] [--plan FILE] [--db PATH|URI] [--simulate[=torvik|quenra|linear|foreign]] [--port PATH]...\n"
           "  /PROIZVODNJA        open the production layout (any case)\n"
           "  --plan FILE         open the production layout with this end-of-line test plan\n"
           "  --db PATH|URI       the record store: a SQLite file or postgresql://user@host:port/dbname\n"
           "                      (default: K417_DB, else the Production test page's setting)\n"
           "  --simulate[=FAMILY] start a simulated interface box with an encoder of FAMILY (default torvik)\n"
           "  --port PATH         also probe this serial device when searching for the box (repeatable)\n";
}
