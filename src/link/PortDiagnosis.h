#pragma once
// Why a port is or is not the interface box: opened and asked for its
// version, with the reason when it cannot be used (no permission, held by
// another process, silent, another device).

#include "link/Discovery.h"

#include <optional>
#include <string>
#include <vector>

struct PortDiagnosis {
    enum class Verdict { Box, OtherDevice, Silent, NoPermission, Busy, CannotOpen };
    std::string path;
    Verdict verdict = Verdict::CannotOpen;
    std::string reply;  // the reply to "v", trimmed (Box, OtherDevice)
    std::string detail; // what the user can do about it, or the system's reason
};

// Opens the port (as the search does) and asks for the version.
PortDiagnosis DiagnosePort(const std::string& path);

// Why a port the search could not open is unusable, when the user can do
// something about it (no permission, held by another process); none for a
// device that is simply gone.
std::optional<PortDiagnosis> OpenProblem(const std::string& path);

// The processes that hold a device open, as "name (pid N)", from /proc.
std::vector<std::string> ProcessesHolding(const std::string& devicePath, const std::string& procRoot = "/proc");

// The group that owns a device, by name ("dialout"); empty when unknown.
std::string DeviceGroup(const std::string& devicePath);

// One line for a port the tool cannot use, for the status line and the
// command line: the port, the reason and the fix.
std::string PortProblemText(const PortDiagnosis& diagnosis);
