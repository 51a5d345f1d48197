#pragma once
// One session with the interface box and the encoder behind it, under every
// front end: it owns the link, what is known of the encoder (identity,
// capabilities, position scale) and the encoder's power state. It runs the
// search for the box, the identification, the datasheet read and the monitor
// tick, returns what happened as outcome structs and tells its observers. It
// never shows anything itself: the window and the command line decide how.

#include "biss/Eds.h"
#include "biss/EncoderIdentity.h"
#include "biss/Identification.h"
#include "encoder/Configuration.h"
#include "link/Discovery.h"
#include "link/InterfaceSettings.h"
#include "link/Link.h"
#include "monitor/DebugReadout.h"
#include "monitor/MonitorCycle.h"
#include "monitor/PositionDisplay.h"
#include "monitor/Recording.h"
#include "monitor/ServiceReadouts.h"
#include "monitor/TorvikStatus.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A timer of the front end. The session starts and stops it; when it fires,
// the front end calls the session's matching tick.
class SessionTimer {
public:
    virtual ~SessionTimer() = default;
    virtual void Start() = 0;
    // Started again at the end of a tick of its own: the next tick is due one
    // interval after this one was, so that the interval is the period of the
    // ticks. A timer that cannot tell starts as Start() does.
    virtual void Rearm() { Start(); }
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;
};

// Waiting inside a session step. The window keeps serving its events while
// it waits; a command line simply sleeps; tests count the time.
class SessionClock {
public:
    virtual ~SessionClock() = default;
    virtual void Wait(int ms) = 0;
};

// What the front ends show of the attached encoder, decided by the last
// identification. Each page applies its own gates and captions from it.
struct EncoderCapabilities {
    bool identified = false;        // the maker's identification was read
    EncoderFamily family = EncoderFamily::Unidentified;
    bool datasheetBankKnown = false; // register 0x41 was read: the EDS page has something to read
    bool profileIsBp3 = false;      // register 0x42 names the BP3 profile
    std::string partNumber;
    std::string serialCaption;      // the status pages' serial caption
    TEncoderSignature signature;    // firmware words for the gates of later actions
    std::optional<TorvikControlGates> torvikGates; // Torvik family only
};

enum class StatusKind {
    Ok,    // light green
    Error, // light red; the encoder counts as no longer connected
    Plain  // the text alone, on the colour the line has
};

// One report for the status line.
struct StatusReport {
    std::string text;
    StatusKind kind = StatusKind::Plain;
};

// What a search for the box found.
struct SearchOutcome {
    bool found = false;
    std::string port;          // the port of the box
    std::string interfaceText; // the version label's text: a searching text, or the box's version reply
    bool oldFirmware = false;  // the box's firmware behaves badly (warn the user)
    // Ports the search could not use for a reason the user can mend (no
    // permission, held by another process), each with the fix.
    std::vector<std::string> portProblems;
};

enum class BoxSetting { Clock, DataLength };

// Observers are told in the order they were added. Every method has an
// empty default: an observer overrides what it shows.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    // A search began; the version label shows interfaceText, the port label is cleared.
    virtual void SearchStarted(const std::string& /*interfaceText*/) {}
    // The search is about to open this port.
    virtual void Probing(const std::string& /*port*/) {}
    // A box answered. Told before the encoder is powered: a warning about the
    // box's firmware is seen before anything else happens.
    virtual void BoxFound(const SearchOutcome&) {}
    // After a box was found everything about the previous encoder is
    // forgotten: working values go back to their start values.
    virtual void ConnectionReset() {}
    // The search ended, found or not.
    virtual void SearchFinished(const SearchOutcome&) {}
    virtual void Identified(const IdentificationOutcome&, const EncoderCapabilities&) {}
    virtual void DatasheetRead(const EdsReadOutcome&) {}
    // The session changed the position scale (family, datasheet lengths).
    virtual void ScaleChanged(const PositionUnits&) {}
    virtual void Ticked(const TickReport&) {}
    virtual void StatusReported(const StatusReport&) {}
    // The encoder supply was switched; result is the box's reply or "Error " and the result code.
    virtual void PowerSwitched(bool /*on*/, const std::string& /*result*/) {}
    virtual void BoxSettingSent(BoxSetting, const std::string& /*value*/, const std::string& /*result*/) {}
    virtual void MonitorIntervalChanged(int /*ms*/) {}
    // A configuration read of bank 0, from whichever page ran it: every page
    // that shows its fields takes what it found.
    virtual void ConfigurationRead(const ConfigurationReading&) {}
    // The position log was switched on or off, from its box or by an action
    // that needs the log list for itself (the hard-fault dump).
    virtual void PositionLogSwitched(bool /*on*/) {}
    // The unlock of the diagnostic banks was tried; ok when every write went out.
    virtual void DebugUnlocked(bool /*ok*/) {}
};

struct SessionEnvironment {
    PortLister portLister;                 // by default the USB serial ports
    PortOpener portOpener;                 // by default real serial devices
    SessionTimer* searchTimer = nullptr;   // the search (initTimer, 250 ms)
    SessionTimer* monitorTimer = nullptr;  // the monitor cycle (LoopTimer, 50 ms)
    SessionClock* clock = nullptr;
};

class Session final : public PowerSwitch, private TickServices {
public:
    static constexpr const char* kInterfaceCaption = "Interface Version";

    explicit Session(SessionEnvironment environment);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Link& GetLink() { return link_; }
    const Link& GetLink() const { return link_; }
    EncoderIdentity& Identity() { return identity_; }
    const EncoderCapabilities& Capabilities() const { return caps_; }
    PositionUnits& Units() { return units_; }
    MonitorCycle& Monitor() { return cycle_; }
    // Read-outs of the monitor cycle that more than one page or the
    // recording needs: the Torvik status, the debug read, the Quenra status
    // and the measurement recording. Each runs while something switches it on.
    TorvikStatusReadout& TorvikStatus() { return torvikStatus_; }
    DebugReadout& Debug() { return debug_; }
    QuenraStatusReadout& QuenraStatus() { return quenraStatus_; }
    Recorder& Recording() { return recorder_; }
    // The version label's text: the design caption, a searching text, or the box's version.
    const std::string& InterfaceText() const { return interfaceText_; }

    void AddObserver(SessionObserver* observer);
    void RemoveObserver(SessionObserver* observer);

    // One search for the box (the search timer's tick). True when a box was found.
    bool SearchTick();
    // One monitor tick (the monitor timer's tick). The monitor timer is off
    // while it runs and re-armed at its end; a lost port starts the search.
    void MonitorTick();
    bool Searching() const { return searching_; }
    bool Ticking() const { return inTick_; }

    // The search starts now and repeats until a box is found.
    void StartSearch();
    // The monitor stops until it is restarted (an action that must not be interrupted by ticks).
    void StopMonitor();
    // After a page switch: the monitor runs again unless a search is due or running.
    void ResumeMonitor();
    // The user asks for the read-out: the monitor runs again unless a search or tick is running.
    void RestartMonitor();
    int MonitorInterval() const;
    void SetMonitorInterval(int ms);

    // The identification read; identifies the encoder anew, updates the
    // capabilities and the family's position scale, reports on the status line.
    IdentificationOutcome Identify();
    // The datasheet read; hands the field lengths to the position scale.
    EdsReadOutcome ReadDatasheet();

    // The configuration read for a page; keeps the write-protect text it
    // found, tells the observers and reports on the status line.
    ConfigurationReading ReadConfiguration(ConfigPage page);
    // The write-protect fields that other pages' actions rely on.
    ConfigurationState& Configuration() { return config_; }
    const ConfigurationState& Configuration() const { return config_; }

    // The encoder supply. Selecting the state it is in sends nothing.
    bool IsOn() const override { return powerOn_; }
    void Select(bool on) override;
    // Box settings from the texts of their fields; an unusable text sends nothing.
    void SendBoxSetting(BoxSetting setting, const std::string& text);

    // The position log: jumps and errors of the position word become log
    // lines. A switch takes the current word as the reference and tells the
    // observers; switching to the state it is in does nothing.
    void SetPositionLog(bool on);
    // The unlock of the diagnostic banks as the window runs it (the Debug
    // page's button, the start of the debug recording). The observers are
    // told: the window runs its page change after a success, which selects
    // the bank of the page shown again.
    EncoderOutcome UnlockDebugBanks();

    // The status convention of every action that talks to the encoder:
    // "Comm OK\r\n" or "Error\r\n" and the link's LastErrorText; a failure
    // means the encoder is no longer connected. Returns ok.
    bool Report(bool ok);
    // A status text of its own (ok or not), with the same consequences.
    void Report(bool ok, const std::string& text);
    // Text alone, on the colour the line has (the raw register writes).
    void ReportText(const std::string& text);

    // Stops both timers and closes the port (the front end is going away).
    void Close();

private:
    // TickServices
    void Wait(int ms) override;
    void IdentifyNewEncoder() override;

    void Publish(const StatusReport& report);
    template <class F>
    void Notify(F&& call)
    {
        // By index: an observer may add another while it is told.
        for (size_t i = 0; i < observers_.size(); ++i)
            call(*observers_[i]);
    }

    SessionEnvironment env_;
    Link link_;
    EncoderIdentity identity_;
    EncoderCapabilities caps_;
    PositionUnits units_;
    ConfigurationState config_;
    MonitorCycle cycle_;
    TorvikStatusReadout torvikStatus_;
    DebugReadout debug_;
    QuenraStatusReadout quenraStatus_;
    Recorder recorder_;
    std::vector<SessionObserver*> observers_;
    std::string interfaceText_ = kInterfaceCaption;
    StatusReport status_;
    bool powerOn_ = false;
    bool searching_ = false;
    bool inTick_ = false;
};
