#pragma once
// What a step function works with: the session and its actions, the run's
// control (waits, serving, stop), the operator's prompts and the plan.

#include "encoder/RegisterModel.h"
#include "production/Runner.h"

#include <string>
#include <vector>

// The actions' messages and questions during a run: messages are kept for
// the step's message; a question is never answered yes (a plan does not
// lock or reset an encoder by accident).
class StepPrompts final : public ServicePrompts {
public:
    // The write-protect warning never stops an action, and says nothing of a step's outcome.
    void Message(const std::string& text) override
    {
        if (text != kWriteProtectedWarning)
            messages_.push_back(text);
    }
    bool Confirm(const std::string& question) override
    {
        messages_.push_back("Refused: " + question);
        return false;
    }
    // The messages since the last call, one to a line.
    std::string Take();

private:
    std::vector<std::string> messages_;
};

struct StepContext {
    Session& session;
    ServiceActions& actions;
    StepPrompts& prompts;
    const RunControl& control;
    RunObserver& observer;
    const Plan& plan;
    const RunIdentity& identity;

    bool Stopped() const { return control.stopRequested && control.stopRequested(); }
    void Serve() const
    {
        if (control.serve)
            control.serve();
    }
};

// A status text ("Error\r\n...") as one line of a step's message.
std::string StatusLineText(const std::string& statusText);
