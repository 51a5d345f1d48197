// The search for the interface box, the candidate ports, the settings
// commands and the power-cycling steps, driven without a window.

#include "link/Discovery.h"
#include "link/InterfaceSettings.h"
#include "link/PortList.h"
#include "link/PowerCycle.h"
#include "PtyPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Stands in for the window: records what the search asks of it, and behaves
// like the power selector (a change sends the power command over the link).
struct FakeHost : DiscoveryHost {
    explicit FakeHost(Link& l) : link(l) {}
    Link& link;
    bool powerOn = false;
    bool shrunk = true;
    bool searchTimer = false, monitorTimer = false;
    std::string interfaceText = "Interface Version";
    std::string port;
    std::vector<std::string> events;
    std::vector<std::string> warnings;

    void StopTimers() override { searchTimer = monitorTimer = false; }
    void RetrySearchLater() override { searchTimer = true; }
    void StartMonitor() override
    {
        searchTimer = false;
        monitorTimer = true;
    }
    void SelectEncoderPower(bool on) override
    {
        if (on == powerOn)
            return;
        powerOn = on;
        events.push_back(std::string(on ? "N" : "F") + " -> " + SendSettingsCommand(link, PowerCommand(on)));
    }
    std::string InterfaceText() const override { return interfaceText; }
    void ShowInterfaceText(const std::string& text) override { interfaceText = text; }
    void ShowPort(const std::string& p) override { port = p; }
    void ProcessEventsOnce() override {}
    void Warn(const std::string& text) override
    {
        warnings.push_back(text);
        events.push_back("warning");
    }
    void ForgetEncoder() override { events.push_back("forget"); }
    void ShowConnectedPages() override { events.push_back("pages"); }
    void ResetWorkingValues() override { events.push_back("reset"); }
    void SetShrunk(bool s) override { shrunk = s; }
    void SearchDone() override { events.push_back("done"); }
};

struct Probes {
    std::vector<std::string> opened;
    PortOpener Opener()
    {
        return [this](const std::string& path) -> std::unique_ptr<SerialPort> {
            opened.push_back(path);
            return PosixSerialPort::Open(path);
        };
    }
};

} // namespace

TEST(PortList, CandidatesAreSortedCaseInsensitivelyAndProbedOnce)
{
    EXPECT_EQ(SortCandidates({"/dev/ttyACM3", "/dev/ttyACM10", "/dev/ttyACM3", "/dev/ttyacm2", ""}),
              (std::vector<std::string>{"/dev/ttyACM10", "/dev/ttyacm2", "/dev/ttyACM3"}));
    EXPECT_TRUE(SortCandidates({}).empty());
}

TEST(PortList, ListsOnlyCdcAcmDevices)
{
    fs::path root = fs::temp_directory_path() / ("k417-sysfs-" + std::to_string(::getpid()));
    fs::remove_all(root);
    auto device = [&](const std::string& name, const std::string& driver) {
        fs::create_directories(root / "tty" / name / "device");
        fs::create_directories(root / "drivers" / driver);
        fs::create_symlink(root / "drivers" / driver, root / "tty" / name / "device" / "driver");
    };
    device("ttyACM0", "cdc_acm");
    device("ttyACM1", "cdc_acm");
    device("ttyUSB0", "ftdi_sio");
    fs::create_directories(root / "tty" / "tty1"); // a console: no device link
    std::vector<std::string> ports = ListUsbSerialPorts((root / "tty").string());
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyACM1"}));
    EXPECT_TRUE(ListUsbSerialPorts((root / "missing").string()).empty());
    fs::remove_all(root);
}

TEST(Discovery, NoBoxKeepsSearchingAndAlternatesTheText)
{
    Link link;
    FakeHost host(link);
    Probes probes;
    Discovery discovery(link, host, [] { return std::vector<std::string>{"/nonexistent/ttyACM0"}; }, probes.Opener());

    EXPECT_FALSE(discovery.Search());
    EXPECT_EQ(host.interfaceText, "Searching for interface");
    EXPECT_TRUE(host.shrunk);
    EXPECT_TRUE(host.searchTimer);
    EXPECT_FALSE(host.monitorTimer);
    EXPECT_FALSE(discovery.Search());
    EXPECT_EQ(host.interfaceText, "Searching for interface.....");
    EXPECT_FALSE(discovery.Search());
    EXPECT_EQ(host.interfaceText, "Searching for interface");
    EXPECT_EQ(probes.opened.size(), 3u);
    EXPECT_FALSE(link.IsOpen());
}

TEST(Discovery, SkipsOtherDevicesAndConnectsToTheBox)
{
    PtyPeer other, box;
    other.Answer("K417-2A v1.0\r");
    box.Answer("K417-3C v2.14\r");
    box.Answer("N\r");
    Link link;
    link.EdsProfileBank = 17;
    link.UserBankFirst = 24;
    link.UserBankLast = 27;
    link.EdsDataLength = 40;
    link.EncoderSignature.EDS_Common_bank_num = 16;
    link.EncoderSignature.SCD_DataLength = 50;
    FakeHost host(link);
    Probes probes;
    // "a-..." sorts before "b-...", whatever the order of the listing.
    std::string otherPath = other.SlavePath(), boxPath = box.SlavePath();
    fs::path dir = fs::temp_directory_path() / ("k417-ports-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::create_symlink(otherPath, dir / "a-other");
    fs::create_symlink(boxPath, dir / "b-box");
    Discovery discovery(link, host,
                        [&] { return std::vector<std::string>{(dir / "b-box").string(), (dir / "a-other").string()}; },
                        probes.Opener());

    ASSERT_TRUE(discovery.Search());
    EXPECT_EQ(probes.opened, (std::vector<std::string>{(dir / "a-other").string(), (dir / "b-box").string()}));
    EXPECT_EQ(other.Received(), (std::vector<std::string>{"v"}));
    ASSERT_TRUE(box.WaitForReceived(2, 1000));
    EXPECT_EQ(box.Received(), (std::vector<std::string>{"v", "N"}));
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(host.port, (dir / "b-box").string());
    EXPECT_EQ(host.interfaceText, "K417-3C v2.14\r");
    EXPECT_TRUE(host.warnings.empty());
    EXPECT_EQ(host.events, (std::vector<std::string>{"N -> N\r", "forget", "pages", "reset", "done"}));
    EXPECT_FALSE(host.shrunk);
    EXPECT_TRUE(host.monitorTimer);
    EXPECT_FALSE(host.searchTimer);
    // Nothing of the previous encoder is kept.
    EXPECT_EQ(link.EncoderSignature.EDS_Common_bank_num, kBankNotRead);
    EXPECT_EQ(link.EncoderSignature.SCD_DataLength, 0);
    EXPECT_EQ(link.EdsProfileBank, kBankNotRead);
    EXPECT_EQ(link.UserBankFirst, kBankNotRead);
    EXPECT_EQ(link.UserBankLast, kBankNotRead);
    EXPECT_EQ(link.EdsDataLength, 0);
    fs::remove_all(dir);
}

TEST(Discovery, OldBoxFirmwareIsWarnedAboutButUsed)
{
    PtyPeer box;
    box.Answer("K417-3C v0.02\r");
    box.Answer("N\r");
    Link link;
    FakeHost host(link);
    Probes probes;
    Discovery discovery(link, host, [&] { return std::vector<std::string>{box.SlavePath()}; }, probes.Opener());
    ASSERT_TRUE(discovery.Search());
    ASSERT_EQ(host.warnings.size(), 1u);
    EXPECT_EQ(host.warnings[0],
              "Old interface version with faulty behaviour! Please return to Zolvan for reprogramming.");
    // The warning comes before the encoder is powered.
    EXPECT_EQ(host.events.front(), "warning");
    EXPECT_EQ(host.events.at(1), "N -> N\r");
}

TEST(Discovery, ANewSearchSwitchesThePowerOffOnTheOldPortFirst)
{
    PtyPeer box;
    box.Answer("K417-3C v2.14\r");
    box.Answer("N\r");
    box.Answer("F\r");
    Link link;
    FakeHost host(link);
    Probes probes;
    bool boxListed = true;
    Discovery discovery(
        link, host, [&] { return boxListed ? std::vector<std::string>{box.SlavePath()} : std::vector<std::string>{}; },
        probes.Opener());
    ASSERT_TRUE(discovery.Search());
    boxListed = false;
    host.events.clear();
    EXPECT_FALSE(discovery.Search());
    EXPECT_EQ(host.events.front(), "F -> F\r");
    EXPECT_FALSE(link.IsOpen());
    EXPECT_TRUE(host.shrunk);
}

TEST(Discovery, ALostPortFailsThePowerCommandAndTheSearchGoesOn)
{
    auto box = std::make_unique<PtyPeer>();
    box->Answer("K417-3C v2.14\r");
    box->Answer("N\r");
    std::string path = box->SlavePath();
    Link link;
    FakeHost host(link);
    Probes probes;
    Discovery discovery(link, host, [&] { return std::vector<std::string>{path}; }, probes.Opener());
    ASSERT_TRUE(discovery.Search());
    box.reset(); // unplugged: the pseudo-terminal is gone
    host.events.clear();
    EXPECT_FALSE(discovery.Search());
    ASSERT_FALSE(host.events.empty());
    EXPECT_EQ(host.events.front().substr(0, 11), "F -> Error ");
    EXPECT_LT(std::stoi(host.events.front().substr(11)), -1);
    EXPECT_FALSE(link.IsOpen());
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
