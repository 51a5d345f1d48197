#pragma once
// The search for the interface box: the candidate ports are asked for their
// version in text order, and the first that answers with the box's model
// string is kept. What happens around a search (power, timers, forgetting
// the previous encoder) is the session's.

#include "link/SerialPort.h"

#include <functional>
#include <memory>
#include <optional>
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

// The version label's text at the start of a search, given what it shows:
// consecutive searches alternate between the two searching texts.
std::string_view NextSearchingText(std::string_view shown);

// A box whose version reply carries the old-firmware marker behaves badly.
bool IsOldBoxFirmware(std::string_view version);

struct FoundBox {
    std::unique_ptr<SerialPort> port;
    std::string path;
    std::string version; // the whole reply, as received
};

// Asks each candidate (sorted by case-insensitive text, each once) for its
// version; probing is told of each candidate before it is opened, and
// openFailed of each that could not be opened. Ports that stay silent or
// answer anything else are closed again.
std::optional<FoundBox> ProbeForBox(const std::vector<std::string>& ports, const PortOpener& opener,
                                    const std::function<void(const std::string& candidate)>& probing = {},
                                    const std::function<void(const std::string& candidate)>& openFailed = {});
