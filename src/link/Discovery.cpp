#include "link/Discovery.h"

#include "link/PortList.h"
#include "util/Text.h"

std::unique_ptr<SerialPort> OpenSerialDevice(const std::string& path)
{
    return PosixSerialPort::Open(path);
}

Discovery::Discovery(Link& link, DiscoveryHost& host, PortLister lister, PortOpener opener)
    : link_(link), host_(host), lister_(std::move(lister)), opener_(std::move(opener))
{
}

bool Discovery::Search()
{
    host_.StopTimers();
    // Switching the power off still goes over the port that was in use, if any.
    host_.SelectEncoderPower(false);
    link_.ClosePort();

    host_.ShowInterfaceText(host_.InterfaceText() == kSearchingText ? std::string(kSearchingTextDots)
                                                                    : std::string(kSearchingText));
    host_.ShowPort("");

    std::vector<std::string> candidates = SortCandidates(lister_ ? lister_() : std::vector<std::string>{});
    host_.ShowPort("");
    for (const std::string& candidate : candidates) {
        std::string version;
        if (std::unique_ptr<SerialPort> port = Probe(candidate, version)) {
            Connect(std::move(port), candidate, version);
            host_.SearchDone();
            return true;
        }
    }
    host_.SetShrunk(true);
    host_.RetrySearchLater();
    host_.SearchDone();
    return false;
}

std::unique_ptr<SerialPort> Discovery::Probe(const std::string& candidate, std::string& version)
{
    host_.ShowPort(candidate);
    std::unique_ptr<SerialPort> port = opener_ ? opener_(candidate) : nullptr;
    if (!port)
        return nullptr;
    host_.ProcessEventsOnce();
    std::string reply;
    if (SerialTransact(port.get(), "v", 0, reply) == kSerialOk && StartsWith(TrimControl(reply), kBoxModel)) {
        version = reply;
        return port;
    }
    return nullptr; // closes the device
}

void Discovery::Connect(std::unique_ptr<SerialPort> port, const std::string& candidate, const std::string& version)
{
    link_.ComHandle = std::move(port);
    host_.ShowPort(candidate);
    host_.ShowInterfaceText(version);

    if (host_.InterfaceText().find(kOldFirmwareMarker) != std::string::npos)
        host_.Warn(std::string(kOldFirmwareWarning));
    host_.SelectEncoderPower(true);

    // Nothing read from the previous encoder stays valid.
    link_.EncoderSignature.EDS_Common_bank_num = kBankNotRead;
    link_.EncoderSignature.SCD_DataLength = 0;
    link_.EdsProfileBank = kBankNotRead;
    link_.UserBankFirst = kBankNotRead;
    link_.UserBankLast = kBankNotRead;
    link_.EdsDataLength = 0;
    host_.ForgetEncoder();

    host_.ShowConnectedPages();
    host_.ResetWorkingValues();
    host_.SetShrunk(false);
    host_.StartMonitor();
}
