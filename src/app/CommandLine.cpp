#include "app/CommandLine.h"

#include "util/Text.h"

namespace {
enum class Option { Other, Taken, Missing };

// The value of the option name given as "name VALUE" (i then moves past the
// value) or "name=VALUE"; Missing when it has none or an empty one, Other
// when args[i] is another word.
Option TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name, std::string& value)
{
    const std::string& arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size() || args[i + 1].empty())
            return Option::Missing;
        value = args[++i];
        return Option::Taken;
    }
    if (!StartsWith(arg, name + "="))
        return Option::Other;
    value = arg.substr(name.size() + 1);
    return value.empty() ? Option::Missing : Option::Taken;
}
} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    std::string value;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        Option option = Option::Other;
        if (UpperAscii(arg) == "/PROIZVODNJA") {
            line.production = true;
        } else if ((option = TakeValue(args, i, "--port", value)) != Option::Other) {
            if (option == Option::Missing) {
                line.error = "--port needs a device path";
                return line;
            }
            line.ports.push_back(value);
        } else if ((option = TakeValue(args, i, "--plan", value)) != Option::Other) {
            if (option == Option::Missing) {
                line.error = "--plan needs a test plan file";
                return line;
            }
            line.plan = value;
            line.production = true;
        } else if ((option = TakeValue(args, i, "--db", value)) != Option::Other) {
            if (option == Option::Missing) {
                line.error = "--db needs a SQLite file or a postgresql:// URI";
                return line;
            }
            line.db = value;
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
