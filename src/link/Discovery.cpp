#include "link/Discovery.h"

#include "link/PortList.h"
#include "util/Text.h"

std::unique_ptr<SerialPort> OpenSerialDevice(const std::string& path)
{
    return PosixSerialPort::Open(path);
}

std::string_view NextSearchingText(std::string_view shown)
{
    return shown == kSearchingText ? kSearchingTextDots : kSearchingText;
}

bool IsOldBoxFirmware(std::string_view version)
{
    return version.find(kOldFirmwareMarker) != std::string_view::npos;
}

std::optional<FoundBox> ProbeForBox(const std::vector<std::string>& ports, const PortOpener& opener,
                                    const std::function<void(const std::string&)>& probing,
                                    const std::function<void(const std::string&)>& openFailed)
{
    for (const std::string& candidate : SortCandidates(ports)) {
        if (probing)
            probing(candidate);
        std::unique_ptr<SerialPort> port = opener ? opener(candidate) : nullptr;
        if (!port) {
            if (openFailed)
                openFailed(candidate);
            continue;
        }
        std::string reply;
        if (SerialTransact(port.get(), "v", 0, reply) == kSerialOk && StartsWith(TrimControl(reply), kBoxModel))
            return FoundBox{std::move(port), candidate, reply};
        // Leaving the scope closes the device.
    }
    return std::nullopt;
}
