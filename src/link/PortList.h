#pragma once
// The serial ports that may hold an interface box.
//
// The box is a USB CDC ACM device; Linux lists the USB interfaces the
// cdc_acm driver serves under /sys/bus/usb/drivers/cdc_acm/, each serial
// port's terminal under <interface>/tty/<name>, and offers the port as
// /dev/<name>. Ports given on the command line are added.

#include <optional>
#include <string>
#include <vector>

// Device paths of the serial ports of the USB CDC ACM driver's folder
// cdcAcmDriver, in no particular order.
std::vector<std::string> ListUsbSerialPorts(const std::string& cdcAcmDriver = "/sys/bus/usb/drivers/cdc_acm");

// The candidate list of one search: the ports sorted by case-insensitive
// text (so ttyACM10 comes before ttyACM2), each path probed once.
std::vector<std::string> SortCandidates(std::vector<std::string> ports);

// The USB vendor and product IDs of a USB serial port, as four hexadecimal
// digits each, from the device's sysfs entry.
struct UsbIds {
    std::string vendor;
    std::string product;
};
std::optional<UsbIds> UsbIdsOf(const std::string& devicePath, const std::string& sysClassTty = "/sys/class/tty");

// A udev rule for the box: ModemManager leaves it alone, and users of the
// desktop session and of the "dialout" group may open it.
std::string UdevRuleFor(const UsbIds& ids);
