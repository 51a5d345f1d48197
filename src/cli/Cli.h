#pragma once
// k417ctl: the command-line front end on the same session and logic as the
// window, for production lines and scripts.

#include "cli/Json.h"
#include "session/Session.h"

#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Exit status of k417ctl.
enum CliExit {
    kExitOk = 0,
    kExitFailed = 1, // the operation failed: the window would show "Error"
    kExitUsage = 2,  // the command line is wrong
    kExitNoBox = 3   // no box found, or its port cannot be opened
};

struct CliOptions {
    std::vector<std::string> ports; // --port PATH (repeatable)
    bool simulate = false;          // --simulate[=family]
    std::string simFamily;
    std::string db;                 // --db PATH|URI: the record store of test and records (theirs wins)
    bool json = false;
    bool yes = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
    std::string command;            // the subcommand
    std::vector<std::string> args;  // its arguments
    std::string error;              // what is wrong with the command line
};

CliOptions ParseCliOptions(const std::vector<std::string>& args);

// Set by SIGINT: long subcommands end cleanly at their next step.
std::atomic<bool>& CliStopRequested();

class CliContext;

struct Subcommand {
    const char* name;
    const char* usage;   // arguments after the name
    const char* summary; // one line
    int (*run)(CliContext& context, std::vector<std::string>& args);
};

// Every subcommand, in the order the help lists them.
const std::vector<Subcommand>& Subcommands();

// What a subcommand works with: the session, the streams, the options.
class CliContext {
public:
    CliContext(const CliOptions& options, std::vector<std::string> extraPorts, std::ostream& out, std::ostream& err);
    ~CliContext();

    const CliOptions& Options() const { return options_; }
    Session& GetSession() { return *session_; }
    std::ostream& Out() { return out_; }
    std::ostream& Err() { return err_; }
    bool Json() const { return options_.json; }

    // The ports a search probes, in probe order.
    std::vector<std::string> CandidatePorts() const;
    // Finds the box. False (after telling why on stderr) when none answers.
    bool ConnectBox();
    // The box and an encoder that answers register reads.
    bool ConnectEncoder();
    // The box and an identified encoder with its datasheet read, as the
    // monitor cycle leaves it.
    bool ConnectIdentified();

    // Prints a result: the JSON object with --json, else the text. Without
    // flush the line waits in the stream's buffer (fast repeated output).
    void Print(const JsonObject& json, const std::string& text, bool flush = true);
    // A failure in the window's words ("Error\r\n..."): to stderr, CR LF as line breaks.
    void PrintStatus(const std::string& statusText);
    // The last status the session reported (the window's status line).
    const StatusReport& LastStatus() const;
    // Waits, serving nothing: a command line has no events.
    void Wait(int ms);

private:
    class Observer;
    const CliOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::unique_ptr<SessionClock> clock_;
    std::unique_ptr<Observer> observer_;
    std::unique_ptr<Session> session_;
    std::vector<std::string> extraPorts_;
    std::vector<std::string> candidates_;
};

// Runs k417ctl with the arguments after the program name. extraPorts are
// probed as well (the built-in simulator's port).
int RunCli(const CliOptions& options, const std::vector<std::string>& extraPorts, std::ostream& out,
           std::ostream& err);

std::string CliUsage();
std::string CliVersion();

// Numbers on the command line: decimal or hexadecimal after "0x".
bool ParseCliNumber(const std::string& text, long long& value);
// Takes "--name VALUE" (or "--name=VALUE") out of args. False with an error
// text when the value is missing or not a number in [minimum, maximum].
bool TakeNumberOption(std::vector<std::string>& args, const std::string& name, long long minimum, long long maximum,
                      long long& value, std::string& error);
// The same; value stays empty when the option is not given.
bool TakeNumberOption(std::vector<std::string>& args, const std::string& name, long long minimum, long long maximum,
                      std::optional<long long>& value, std::string& error);
