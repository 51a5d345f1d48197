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

std::vector<std::string> ListUsbSerialPorts(const std::string& sysClassTty)
{
    // Every search reads this folder, with a link per terminal of the
    // system. Each name is looked up from the open folder, not along the
    // whole path, and the links of virtual terminals (consoles, ptmx: most
    // of the folder), which never have a driver, are passed over after one
    // look at where they lead.
    std::vector<std::string> ports;
    DIR* dir = ::opendir(sysClassTty.c_str());
    if (!dir)
        return ports;
    const int folder = ::dirfd(dir);
    std::string path;
    char target[PATH_MAX];
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (entry->d_type == DT_LNK) {
            const ssize_t length = ::readlinkat(folder, entry->d_name, target, sizeof target);
            if (length > 0 && static_cast<size_t>(length) < sizeof target &&
                std::string_view(target, static_cast<size_t>(length)).find("/devices/virtual/") != std::string_view::npos)
                continue;
        }
        // device/driver is a link into the driver tree; its last component names the driver.
        path.assign(name).append("/device/driver");
        const ssize_t length = ::readlinkat(folder, path.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof target)
            continue;
        std::string_view driver(target, static_cast<size_t>(length));
        while (!driver.empty() && driver.back() == '/')
            driver.remove_suffix(1);
        if (driver.substr(driver.rfind('/') + 1) == "cdc_acm")
            ports.push_back("/dev/" + std::string(name));
    }
    ::closedir(dir);
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
