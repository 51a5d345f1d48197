#include "link/PortList.h"

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <unistd.h>

#include "util/Text.h"

namespace fs = std::filesystem;

std::vector<std::string> ListUsbSerialPorts(const std::string& cdcAcmDriver)
{
    // The driver's folder holds a link per USB interface it serves, and the
    // interface of a serial port holds its terminal under tty/. A search,
    // every quarter second while no box answers, reads these few entries
    // instead of a link per terminal of the system.
    std::vector<std::string> ports;
    DIR* driver = ::opendir(cdcAcmDriver.c_str());
    if (!driver)
        return ports; // the driver is not loaded: no such port
    const int folder = ::dirfd(driver);
    std::string path;
    while (const dirent* entry = ::readdir(driver)) {
        // Interfaces are named bus-port:configuration.interface; the rest
        // (bind, unbind, module, ...) are the driver's own.
        if (std::string_view(entry->d_name).find(':') == std::string_view::npos)
            continue;
        path.assign(entry->d_name).append("/tty");
        const int ttyFolder = ::openat(folder, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (ttyFolder < 0)
            continue; // the data interface of a port has no terminal
        DIR* tty = ::fdopendir(ttyFolder);
        if (!tty) {
            ::close(ttyFolder);
            continue;
        }
        while (const dirent* terminal = ::readdir(tty)) {
            const std::string_view name = terminal->d_name;
            if (name != "." && name != "..")
                ports.push_back("/dev/" + std::string(name));
        }
        ::closedir(tty);
    }
    ::closedir(driver);
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

std::optional<UsbIds> UsbIdsOf(const std::string& devicePath, const std::string& sysClassTty)
{
    std::error_code ec;
    fs::path device = fs::canonical(devicePath, ec);
    const std::string name = (ec ? fs::path(devicePath) : device).filename().string();
    // device/ is the USB interface; its parent is the USB device with the IDs.
    fs::path dir = fs::canonical(fs::path(sysClassTty) / name / "device", ec);
    if (ec)
        return std::nullopt;
    auto read = [](const fs::path& file) {
        std::ifstream in(file);
        std::string text;
        std::getline(in, text);
        return TrimControl(text);
    };
    for (int level = 0; level < 4 && !dir.empty(); ++level, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec))
            return UsbIds{read(dir / "idVendor"), read(dir / "idProduct")};
    }
    return std::nullopt;
}

std::string UdevRuleFor(const UsbIds& ids)
{
    return "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"" + ids.vendor + "\", ATTRS{idProduct}==\"" + ids.product +
           "\", ENV{ID_MM_DEVICE_IGNORE}=\"1\", GROUP=\"dialout\", MODE=\"0660\", TAG+=\"uaccess\"";
}
