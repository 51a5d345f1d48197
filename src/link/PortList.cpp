#include "link/PortList.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "util/Text.h"

namespace fs = std::filesystem;

std::vector<std::string> ListUsbSerialPorts(const std::string& sysClassTty)
{
    std::vector<std::string> ports;
    std::error_code ec;
    fs::directory_iterator it(sysClassTty, ec);
    if (ec)
        return ports;
    for (const fs::directory_entry& entry : it) {
        // device/driver is a link into the driver tree; its last component names the driver.
        fs::path driver = fs::read_symlink(entry.path() / "device" / "driver", ec);
        if (ec) {
            ec.clear();
            continue;
        }
        if (driver.filename() == "cdc_acm")
            ports.push_back("/dev/" + entry.path().filename().string());
    }
    return ports;
}

std::vector<std::string> SortCandidates(std::vector<std::string> ports)
{
    // Case-insensitive order first; a case-sensitive tie-break keeps the order
    // total, since two paths that differ only in case are different devices here.
    std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
        std::string ua = UpperAscii(a), ub = UpperAscii(b);
        return ua != ub ? ua < ub : a < b;
    });
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    ports.erase(std::remove(ports.begin(), ports.end(), std::string()), ports.end());
    return ports;
}
