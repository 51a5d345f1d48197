#include "cli/Cli.h"

#include "link/PortDiagnosis.h"
#include "link/PortList.h"
#include "link/TracingPort.h"
#include "util/Text.h"

#include <chrono>
#include <ostream>
#include <thread>

std::atomic<bool>& CliStopRequested()
{
    static std::atomic<bool> stop{false};
    return stop;
}

CliOptions ParseCliOptions(const std::vector<std::string>& args)
{
    CliOptions o;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--port") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                o.error = "--port needs a device path";
                return o;
            }
            o.ports.push_back(args[++i]);
        } else if (StartsWith(a, "--port=")) {
            if (a.size() == 7) {
                o.error = "--port needs a device path";
                return o;
            }
            o.ports.push_back(a.substr(7));
        } else if (a == "--simulate") {
            o.simulate = true;
        } else if (StartsWith(a, "--simulate=")) {
            o.simulate = true;
            o.simFamily = a.substr(11);
        } else if (a == "--db" || StartsWith(a, "--db=")) {
            o.db = a == "--db" ? (i + 1 < args.size() ? args[++i] : std::string()) : a.substr(5);
            if (o.db.empty()) {
                o.error = "--db needs a SQLite file or a postgresql:// URI";
                return o;
            }
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--yes") {
            o.yes = true;
        } else if (a == "-v" || a == "--verbose") {
            o.verbose = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (StartsWith(a, "-")) {
            o.error = "unknown option " + a;
            return o;
        } else {
            break;
        }
    }
    if (i < args.size()) {
        o.command = args[i];
        o.args.assign(args.begin() + static_cast<long>(i) + 1, args.end());
        // A subcommand's own --help.
        for (const std::string& a : o.args)
            if (a == "--help" || a == "-h")
                o.help = true;
    }
    return o;
}

bool ParseCliNumber(const std::string& text, long long& value)
{
    std::string t = TrimControl(text);
    if (StartsWith(t, "0x") || StartsWith(t, "0X")) {
        t = t.substr(2);
        if (t.empty() || t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        t = "$" + t;
    } else if (t.find('$') != std::string::npos) {
        return false;
    }
    return ParseInteger(t, value);
}

bool TakeNumberOption(std::vector<std::string>& args, const std::string& name, long long minimum, long long maximum,
                      long long& value, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        std::string text;
        size_t count = 0;
        if (args[i] == name) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            text = args[i + 1];
            count = 2;
        } else if (StartsWith(args[i], name + "=")) {
            text = args[i].substr(name.size() + 1);
            count = 1;
        } else {
            continue;
        }
        if (!ParseCliNumber(text, value) || value < minimum || value > maximum) {
            error = name + " takes a number from " + std::to_string(minimum) + " to " + std::to_string(maximum) +
                    ", not \"" + text + "\"";
            return false;
        }
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i + count));
        return true;
    }
    return true;
}

bool TakeNumberOption(std::vector<std::string>& args, const std::string& name, long long minimum, long long maximum,
                      std::optional<long long>& value, std::string& error)
{
    const size_t before = args.size();
    long long taken = 0;
    if (!TakeNumberOption(args, name, minimum, maximum, taken, error))
        return false;
    if (args.size() != before)
        value = taken;
    return true;
}

// --- The session as a command line uses it -----------------------------------

namespace {
class SleepingClock final : public SessionClock {
public:
    void Wait(int ms) override
    {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

std::string Printable(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}
} // namespace

class CliContext::Observer final : public SessionObserver {
public:
    void StatusReported(const StatusReport& report) override { last = report; }
    StatusReport last;
};

CliContext::CliContext(const CliOptions& options, std::vector<std::string> extraPorts, std::ostream& out,
                       std::ostream& err)
    : options_(options), out_(out), err_(err), clock_(std::make_unique<SleepingClock>()),
      observer_(std::make_unique<Observer>()), extraPorts_(std::move(extraPorts))
{
    SessionEnvironment env;
    env.portLister = [this] {
        candidates_ = CandidatePorts();
        return candidates_;
    };
    env.portOpener = [this](const std::string& path) -> std::unique_ptr<SerialPort> {
        std::unique_ptr<SerialPort> port = PosixSerialPort::Open(path);
        if (port && options_.verbose)
            port = std::make_unique<TracingPort>(std::move(port), [this](const char* direction, const std::string& bytes) {
                err_ << direction << Printable(bytes) << '\n';
            });
        return port;
    };
    env.clock = clock_.get();
    session_ = std::make_unique<Session>(std::move(env));
    session_->AddObserver(observer_.get());
}

CliContext::~CliContext()
{
    session_->RemoveObserver(observer_.get());
    session_->Close();
}

std::vector<std::string> CliContext::CandidatePorts() const
{
    // Named ports (or the simulator's) replace the search of the USB serial ports.
    std::vector<std::string> ports = options_.ports;
    if (ports.empty() && extraPorts_.empty())
        ports = ListUsbSerialPorts();
    ports.insert(ports.end(), extraPorts_.begin(), extraPorts_.end());
    return SortCandidates(ports);
}

const StatusReport& CliContext::LastStatus() const
{
    return observer_->last;
}

void CliContext::Wait(int ms)
{
    clock_->Wait(ms);
}

bool CliContext::ConnectBox()
{
    if (session_->GetLink().IsOpen())
        return true;
    if (session_->SearchTick())
        return true;
    if (candidates_.empty()) {
        err_ << "k417ctl: no USB serial port found; name the box's port with --port PATH\n";
        return false;
    }
    err_ << "k417ctl: no K417-3C box found\n";
    for (const std::string& candidate : candidates_)
        err_ << "  " << PortProblemText(DiagnosePort(candidate)) << '\n';
    return false;
}

bool CliContext::ConnectEncoder()
{
    if (!ConnectBox())
        return false;
    // The encoder answers register reads a moment after its supply is on.
    Link& link = session_->GetLink();
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (link.ReadRegisters(0x40, 1))
            return true;
        if (link.EncoderPosition.ErrComm < -1)
            break;
        Wait(MonitorCycle::kProbeRetryMs);
    }
    PrintStatus("Error\r\n" + link.LastErrorText);
    return false;
}

bool CliContext::ConnectIdentified()
{
    if (!ConnectBox())
        return false;
    // The monitor cycle's probe: the encoder is identified once it names its datasheet bank.
    for (int attempt = 0; attempt < 20 && !CliStopRequested(); ++attempt) {
        session_->MonitorTick();
        const TickReport& report = session_->Monitor().LastReport();
        if (report.identified) {
            if (LastStatus().kind == StatusKind::Error && !report.positionRead) {
                PrintStatus(LastStatus().text);
                return false;
            }
            return true;
        }
        if (session_->Identity().EncoderConnected)
            return true;
        if (report.portLost)
            break;
    }
    PrintStatus(LastStatus().text.empty() ? "Error\r\nNo encoder answers" : LastStatus().text);
    return false;
}

void CliContext::Print(const JsonObject& json, const std::string& text, bool flush)
{
    if (options_.json)
        out_ << json.Text() << '\n';
    else
        out_ << text;
    if (flush)
        out_.flush();
}

void CliContext::PrintStatus(const std::string& statusText)
{
    std::string text = statusText;
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lines += text[i] == '\r' ? '\n' : text[i];
    }
    while (!lines.empty() && lines.back() == '\n')
        lines.pop_back();
    err_ << lines << '\n';
}
