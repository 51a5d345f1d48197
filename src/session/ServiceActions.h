#pragma once
// The maker's service actions as the configuration and calibration pages run
// them: configuration read, write and save, new multiturn counter, zero
// preset, factory reset, and the start of a self-calibration with its wait.
// Each action refreshes, warns and asks as its page needs, talks to the
// encoder through the session's link and reports on the session's status
// line. What it asks or tells the user goes through ServicePrompts, so any
// front end (the window, a command line, a test) can answer.

#include "encoder/Calibration.h"
#include "encoder/Configuration.h"
#include "monitor/ServiceReadouts.h"
#include "session/Session.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// What an action shows the user or asks. A message never stops an action; a
// question stops it unless the answer is yes.
class ServicePrompts {
public:
    virtual ~ServicePrompts() = default;
    virtual void Message(const std::string& text) = 0;
    virtual bool Confirm(const std::string& question) = 0;
};

// How the actions wait. serving keeps the front end responsive (its timers
// may run meanwhile); blocking lets nothing else reach the encoder.
struct ServiceWaits {
    Pause serving;
    Pause blocking;
    std::function<int64_t()> monotonicMs; // the calibration wait's clock; a steady clock when empty
};

struct ZeroPresetOutcome {
    // The new offset was computed from an offset this action read, and the
    // preset went on to write it (failures were told in messages).
    bool computed = false;
    // The new offset is stored in the encoder and the counter preset to 0 after it.
    bool preset = false;
    int64_t newOffset = 0;
    std::string report;       // the zero preset's report (lblTorvikZeroStatus)
};

// A configuration field a front end names: where a write takes its text
// and where a read leaves its value.
struct ConfigFieldSlot {
    ConfigField field;
    std::string ConfigurationTexts::*text;
    std::optional<std::string> ConfigurationReading::*reading;
};
// The settable fields, by their notation ("0.18" or "0.18.u8") or caption;
// null for any other name.
const ConfigFieldSlot* FindConfigField(std::string_view name);
// The names FindConfigField knows, for messages: "0.00, 0.04, ...".
std::string ConfigFieldNames();

// A whole self-calibration: the start, the wait and the outcome as the
// Calibration page's read-out shows it.
struct CalibrationRun {
    CalibrationStart start;
    bool answered = false;       // the encoder answered again within the wait
    CalibrationReading reading;  // the status register and the results after the wait
    bool Succeeded() const { return answered && reading.statusRead && reading.status.succeeded; }
};

// One run of a status page's read-out, as the page shows it (valuesRead or
// complete tell whether it was read). The monitor tick that runs it reports
// on the status line.
TorvikStatusReading ReadTorvikStatusNow(Session& session);
QuenraStatusReading ReadQuenraStatusNow(Session& session);

class ServiceActions {
public:
    ServiceActions(Session& session, ServicePrompts& prompts, ServiceWaits waits);

    // The configuration read (a page's "Read" and its page switch).
    ConfigurationReading Read(ConfigPage page);
    // Configuration write and save. The write-protect text written is the
    // page's field as the session keeps it. True when it was stored.
    bool Write(ConfigPage page, const ConfigurationTexts& texts);
    // New multiturn counter: refresh, warn (Torvik only), write and command.
    bool NewMultiturn(ConfigPage page, std::string_view counterText);
    // Factory reset after the user's yes: command, power cycle, read again.
    bool FactoryReset(ConfigPage page);
    // Zero at the current shaft position, the multiturn counter preset to 0.
    ZeroPresetOutcome SetZero(ConfigPage page);

    // Self-calibration start: refuses a negative time-out, warns, writes the
    // parameters, samples the counter and sends the command.
    CalibrationStart StartCalibration(std::string_view arcText, std::string_view timeoutText);
    // The wait after a start: the monitor stops, the encoder is polled until
    // it answers or the time is up, the monitor runs again and the status
    // line reports. progress gets the elapsed ms once per poll; serve serves
    // the front end's pending events once.
    bool WaitForCalibration(const CalibrationTiming& timing, const std::function<void(int64_t)>& progress,
                            const std::function<void()>& serve);
    // The calibration as the page runs it: the page's fields as the
    // configuration read fills them (an empty text takes the field's
    // value), the start, the wait and the read of the outcome.
    CalibrationRun Calibrate(const std::string& arcText, const std::string& timeoutText,
                             const std::function<void(int64_t)>& progress, const std::function<void()>& serve);

    // "Encoder is write protected." when the firmware, the family (torvikOnly)
    // and the Torvik write-protect field call for it.
    void WarnIfWriteProtected(bool torvikOnly);

private:
    // Ends an action: a conversion error as its message, anything else on the status line.
    bool Finish(const ConfigWriteOutcome& outcome);
    void TellIfFailed(bool ok);

    Session& session_;
    Link& link_;
    ServicePrompts& prompts_;
    ServiceWaits waits_;
    ConfigurationReading lastReading_;
};
