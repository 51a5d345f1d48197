// The candidate ports, the settings commands and the power-cycling steps,
// driven without a window.

#include "link/InterfaceSettings.h"
#include "link/PortList.h"
#include "link/PowerCycle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;


TEST(PortList, CandidatesAreSortedCaseInsensitivelyAndProbedOnce)
{
    EXPECT_EQ(SortCandidates({"/dev/ttyACM3", "/dev/ttyACM10", "/dev/ttyACM3", "/dev/ttyacm2", ""}),
              (std::vector<std::string>{"/dev/ttyACM10", "/dev/ttyacm2", "/dev/ttyACM3"}));
    EXPECT_TRUE(SortCandidates({}).empty());
}

TEST(PortList, ListsTheTerminalsOfTheCdcAcmDriversInterfaces)
{
    fs::path root = fs::temp_directory_path() / ("k417-sysfs-" + std::to_string(::getpid()));
    fs::remove_all(root);
    // As in sysfs: the driver's folder links to the interfaces it serves.
    const fs::path driver = root / "bus" / "usb" / "drivers" / "cdc_acm";
    fs::create_directories(driver / "module");
    std::ofstream(driver / "bind") << "";
    std::ofstream(driver / "uevent") << "";
    auto interface = [&](const std::string& name, const std::string& terminal) {
        const fs::path device = root / "devices" / "pci0" / "usb1" / name;
        fs::create_directories(device);
        if (!terminal.empty())
            fs::create_directories(device / "tty" / terminal);
        fs::create_symlink(device, driver / name);
    };
    interface("1-1:1.0", "ttyACM0");
    interface("1-1:1.1", ""); // the data interface of the same port: no terminal
    interface("2-4:1.0", "ttyACM1");
    std::vector<std::string> ports = ListUsbSerialPorts(driver.string());
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyACM1"}));
    // No driver loaded: no port.
    EXPECT_TRUE(ListUsbSerialPorts((root / "missing").string()).empty());
    fs::remove_all(root);
}

TEST(PortList, UsbIdsComeFromTheDeviceAboveTheInterface)
{
    fs::path root = fs::temp_directory_path() / ("k417-usb-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path usbDevice = root / "devices" / "usb1" / "1-2";
    fs::create_directories(usbDevice / "1-2:1.0");
    std::ofstream(usbDevice / "idVendor") << "1d50\n";
    std::ofstream(usbDevice / "idProduct") << "60a7\n";
    fs::create_directories(root / "tty" / "ttyACM3");
    fs::create_symlink(usbDevice / "1-2:1.0", root / "tty" / "ttyACM3" / "device");
    fs::create_directories(root / "tty" / "ttyS0" / "device");

    const std::optional<UsbIds> ids = UsbIdsOf("/dev/ttyACM3", (root / "tty").string());
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->vendor, "1d50");
    EXPECT_EQ(ids->product, "60a7");
    EXPECT_EQ(UdevRuleFor(*ids), "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"1d50\", ATTRS{idProduct}==\"60a7\", "
                                 "ENV{ID_MM_DEVICE_IGNORE}=\"1\", GROUP=\"dialout\", MODE=\"0660\", TAG+=\"uaccess\"");
    EXPECT_FALSE(UsbIdsOf("/dev/ttyS0", (root / "tty").string()));
    EXPECT_FALSE(UsbIdsOf("/dev/ttyACM9", (root / "tty").string()));
    fs::remove_all(root);
}

TEST(InterfaceSettings, CommandsForTheFieldTexts)
{
    EXPECT_EQ(PowerCommand(true), "N");
    EXPECT_EQ(PowerCommand(false), "F");
    EXPECT_EQ(FrequencyCommand("4"), "M04");
    EXPECT_EQ(FrequencyCommand("0"), "M00");
    EXPECT_EQ(FrequencyCommand("10"), "M10");
    EXPECT_EQ(FrequencyCommand("30"), "M30");
    EXPECT_EQ(FrequencyCommand(""), std::nullopt);
    EXPECT_EQ(DataLengthCommand("8"), "B8");
    EXPECT_EQ(DataLengthCommand(""), std::nullopt);
    EXPECT_EQ(DataLengthCommand("12"), std::nullopt);
    Link link; // no port
    EXPECT_EQ(SendSettingsCommand(link, "N"), "Error -3");
}

namespace {
struct FakePower : PowerSwitch {
    bool on = false;
    std::string sent;
    bool IsOn() const override { return on; }
    void Select(bool value) override
    {
        if (value != on)
            sent += PowerCommand(value);
        on = value;
    }
};
} // namespace

TEST(PowerCycle, CountsCyclesWhenPowerReturnsAndEndsWithTheEncoderOn)
{
    FakePower power;
    power.on = true;
    int remaining = 3;
    std::vector<int> counts;
    int ticks = 0;
    while (PowerCycleTick(remaining, power)) {
        counts.push_back(remaining);
        ASSERT_LT(++ticks, 100);
    }
    EXPECT_EQ(power.sent, "FNFNFN");
    EXPECT_EQ(counts, (std::vector<int>{3, 2, 2, 1, 1, 0}));
    EXPECT_TRUE(power.on);

    FakePower idle;
    int none = 0;
    EXPECT_FALSE(PowerCycleTick(none, idle));
    EXPECT_EQ(idle.sent, "");
}

TEST(PowerCycle, SingleCycleWaitsBetweenOffAndOn)
{
    FakePower power;
    power.on = true;
    std::string trace;
    PowerCycleEncoder(power, [&](int ms) { trace += power.sent + "/" + std::to_string(ms) + " "; });
    EXPECT_EQ(trace, "F/1200 FN/200 ");
}
