#pragma once
// The search for the interface box: one tick of the connection timer lists
// the candidate ports, asks each for its version and keeps the first that
// answers with the box's model string. On success the encoder is powered on,
// everything known about the previous encoder is forgotten and the monitor
// cycle takes over; otherwise the search repeats on the next tick.

#include "link/Link.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Lists the ports that may hold a box, in any order, duplicates allowed.
using PortLister = std::function<std::vector<std::string>()>;
// Opens a port at the box's line settings, or returns null when it cannot be used.
using PortOpener = std::function<std::unique_ptr<SerialPort>(const std::string& path)>;

// Opens a real serial device (PosixSerialPort).
std::unique_ptr<SerialPort> OpenSerialDevice(const std::string& path);

inline constexpr std::string_view kBoxModel = "K417-3C";
inline constexpr std::string_view kSearchingText = "Searching for interface";
inline constexpr std::string_view kSearchingTextDots = "Searching for interface.....";
inline constexpr std::string_view kOldFirmwareMarker = "0.02";
inline constexpr std::string_view kOldFirmwareWarning =
    "Old interface version with faulty behaviour! Please return to Zolvan for reprogramming.";

// What a search needs from the window around it.
class DiscoveryHost {
public:
    virtual ~DiscoveryHost() = default;
    // Connection timer and monitor timer off.
    virtual void StopTimers() = 0;
    // Connection timer on: the next search follows one interval later.
    virtual void RetrySearchLater() = 0;
    // Connection timer off, monitor timer on.
    virtual void StartMonitor() = 0;
    // Selects ON or OFF in the encoder-power selector. Its handler sends the
    // power command over the open port when the selection changes.
    virtual void SelectEncoderPower(bool on) = 0;
    virtual std::string InterfaceText() const = 0;
    virtual void ShowInterfaceText(const std::string& text) = 0;
    virtual void ShowPort(const std::string& port) = 0;
    // Lets the window handle pending events once (so the labels repaint).
    virtual void ProcessEventsOnce() = 0;
    // Modal warning; returns when the user has closed it.
    virtual void Warn(const std::string& text) = 0;
    // The window no longer counts an encoder as connected.
    virtual void ForgetEncoder() = 0;
    // Hides the pages from "EDS" on and makes "Direct registers" the active page.
    virtual void ShowConnectedPages() = 0;
    // Puts the working values that describe the attached encoder (clock, code
    // length, resolution, counters of the pages) back to their start values.
    virtual void ResetWorkingValues() = 0;
    // Shrinks the window to its banner, or restores the full height.
    virtual void SetShrunk(bool shrunk) = 0;
    // Flips the activity lamp and puts the mouse cursor back to the default.
    virtual void SearchDone() = 0;
};

class Discovery {
public:
    Discovery(Link& link, DiscoveryHost& host, PortLister lister, PortOpener opener);

    // One search. True when a box was found and the monitor has taken over.
    bool Search();

private:
    std::unique_ptr<SerialPort> Probe(const std::string& candidate, std::string& version);
    void Connect(std::unique_ptr<SerialPort> port, const std::string& candidate, const std::string& version);

    Link& link_;
    DiscoveryHost& host_;
    PortLister lister_;
    PortOpener opener_;
};
