// The session without a window: the search for the box with power and
// timers, the status convention, identification and datasheet with the
// capabilities and position scale they publish, and the monitor tick's
// endings.

#include "EncoderImages.h"
#include "FakeBox.h"
#include "PtyPeer.h"
#include "session/Session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct FakeTimer : SessionTimer {
    bool active = false;
    int interval = 50;
    void Start() override { active = true; }
    void Stop() override { active = false; }
    bool Active() const override { return active; }
    void SetInterval(int ms) override { interval = ms; }
    int Interval() const override { return interval; }
};

struct FakeClock : SessionClock {
    int waitedMs = 0;
    void Wait(int ms) override { waitedMs += ms; }
};

// Records what a front end would be told, in order.
struct Recorder : SessionObserver {
    std::vector<std::string> events;
    std::string interfaceText;
    std::string port;
    StatusReport status;
    std::optional<EncoderCapabilities> caps;
    void SearchStarted(const std::string& text) override
    {
        interfaceText = text;
        port.clear();
    }
    void Probing(const std::string& p) override { port = p; }
    void BoxFound(const SearchOutcome& o) override
    {
        port = o.port;
        interfaceText = o.interfaceText;
        events.push_back(o.oldFirmware ? "found, old firmware" : "found");
    }
    void ConnectionReset() override { events.push_back("reset"); }
    void SearchFinished(const SearchOutcome& o) override { events.push_back(o.found ? "done" : "not found"); }
    void PowerSwitched(bool on, const std::string& result) override
    {
        events.push_back(std::string(on ? "N" : "F") + " -> " + result);
    }
    void StatusReported(const StatusReport& r) override { status = r; }
    void Identified(const IdentificationOutcome&, const EncoderCapabilities& c) override
    {
        caps = c;
        events.push_back("identified");
    }
    void DatasheetRead(const EdsReadOutcome&) override { events.push_back("datasheet"); }
    void ScaleChanged(const PositionUnits&) override { events.push_back("scale"); }
};

struct Rig {
    FakeTimer search, monitor;
    FakeClock clock;
    std::vector<std::string> ports;
    std::vector<std::string> opened;
    Recorder recorder;
    std::unique_ptr<Session> session;

    Rig()
    {
        SessionEnvironment env;
        env.portLister = [this] { return ports; };
        env.portOpener = [this](const std::string& path) -> std::unique_ptr<SerialPort> {
            opened.push_back(path);
            return PosixSerialPort::Open(path);
        };
        env.searchTimer = &search;
        env.monitorTimer = &monitor;
        env.clock = &clock;
        session = std::make_unique<Session>(std::move(env));
        session->AddObserver(&recorder);
    }
    Session* operator->() { return session.get(); }
};

std::string Reply(uint64_t frame)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llX\r", static_cast<unsigned long long>(frame));
    return buf;
}

} // namespace

TEST(Search, NoBoxKeepsSearchingAndAlternatesTheText)
{
    Rig rig;
    rig.ports = {"/nonexistent/ttyACM0"};
    rig.monitor.active = true;
    EXPECT_FALSE(rig->SearchTick());
    EXPECT_EQ(rig.recorder.interfaceText, "Searching for interface");
    EXPECT_EQ(rig.recorder.events.back(), "not found");
    EXPECT_TRUE(rig.search.active);
    EXPECT_FALSE(rig.monitor.active);
    EXPECT_FALSE(rig->SearchTick());
    EXPECT_EQ(rig.recorder.interfaceText, "Searching for interface.....");
    EXPECT_FALSE(rig->SearchTick());
    EXPECT_EQ(rig->InterfaceText(), "Searching for interface");
    EXPECT_EQ(rig.opened.size(), 3u);
    EXPECT_FALSE(rig->GetLink().IsOpen());
    // Power was never on: nothing was switched.
    EXPECT_EQ(std::count(rig.recorder.events.begin(), rig.recorder.events.end(), "not found"), 3);
    EXPECT_EQ(rig.recorder.events.size(), 3u);
}

TEST(Search, SkipsOtherDevicesAndConnectsToTheBoxForgettingTheLastEncoder)
{
    PtyPeer other, box;
    other.Answer("K417-2A v1.0\r");
    box.Answer("K417-3C v2.14\r");
    box.Answer("N\r");
    Rig rig;
    Link& link = rig->GetLink();
    link.EdsProfileBank = 17;
    link.UserBankFirst = 24;
    link.UserBankLast = 27;
    link.EdsDataLength = 40;
    link.AltFwVersionAddress = true;
    link.EncoderSignature.EDS_Common_bank_num = 16;
    link.EncoderSignature.SCD_DataLength = 50;
    rig->Identity().EncoderConnected = true;
    rig->Identity().EncClockMhz = 64;
    rig->Units().ScaleChanged(360, 3);
    // "a-..." sorts before "b-...", whatever the order of the listing.
    fs::path dir = fs::temp_directory_path() / ("k417-ports-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::create_symlink(other.SlavePath(), dir / "a-other");
    fs::create_symlink(box.SlavePath(), dir / "b-box");
    rig.ports = {(dir / "b-box").string(), (dir / "a-other").string()};

    ASSERT_TRUE(rig->SearchTick());
    EXPECT_EQ(rig.opened, (std::vector<std::string>{(dir / "a-other").string(), (dir / "b-box").string()}));
    EXPECT_EQ(other.Received(), (std::vector<std::string>{"v"}));
    ASSERT_TRUE(box.WaitForReceived(2, 1000));
    EXPECT_EQ(box.Received(), (std::vector<std::string>{"v", "N"}));
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(rig.recorder.port, (dir / "b-box").string());
    EXPECT_EQ(rig.recorder.interfaceText, "K417-3C v2.14\r");
    EXPECT_EQ(rig.recorder.events, (std::vector<std::string>{"found", "N -> N\r", "reset", "done"}));
    EXPECT_TRUE(rig.monitor.active);
    EXPECT_FALSE(rig.search.active);
    EXPECT_TRUE(rig->IsOn());
    // Nothing of the previous encoder is kept.
    EXPECT_EQ(link.EncoderSignature.EDS_Common_bank_num, kBankNotRead);
    EXPECT_EQ(link.EncoderSignature.SCD_DataLength, 0);
    EXPECT_EQ(link.EdsProfileBank, kBankNotRead);
    EXPECT_EQ(link.UserBankFirst, kBankNotRead);
    EXPECT_EQ(link.UserBankLast, kBankNotRead);
    EXPECT_EQ(link.EdsDataLength, 0);
    EXPECT_FALSE(link.AltFwVersionAddress);
    EXPECT_FALSE(rig->Identity().EncoderConnected);
    EXPECT_EQ(rig->Identity().EncClockMhz, 72);
    EXPECT_EQ(rig->Units().Scale().resolution, 1.0f);
    fs::remove_all(dir);
}

TEST(Search, OldBoxFirmwareIsToldBeforeTheEncoderIsPowered)
{
    PtyPeer box;
    box.Answer("K417-3C v0.02\r");
    box.Answer("N\r");
    Rig rig;
    rig.ports = {box.SlavePath()};
    ASSERT_TRUE(rig->SearchTick());
    EXPECT_EQ(rig.recorder.events.at(0), "found, old firmware");
    EXPECT_EQ(rig.recorder.events.at(1), "N -> N\r");
}

TEST(Search, ANewSearchSwitchesThePowerOffOnTheOldPortFirst)
{
    PtyPeer box;
    box.Answer("K417-3C v2.14\r");
    box.Answer("N\r");
    box.Answer("F\r");
    Rig rig;
    rig.ports = {box.SlavePath()};
    ASSERT_TRUE(rig->SearchTick());
    rig.ports.clear();
    rig.recorder.events.clear();
    EXPECT_FALSE(rig->SearchTick());
    EXPECT_EQ(rig.recorder.events.front(), "F -> F\r");
    EXPECT_FALSE(rig->GetLink().IsOpen());
    EXPECT_FALSE(rig->IsOn());
}

TEST(Search, ALostPortFailsThePowerCommandAndTheSearchGoesOn)
{
    auto box = std::make_unique<PtyPeer>();
    box->Answer("K417-3C v2.14\r");
    box->Answer("N\r");
    Rig rig;
    rig.ports = {box->SlavePath()};
    ASSERT_TRUE(rig->SearchTick());
    box.reset(); // unplugged: the pseudo-terminal is gone
    rig.recorder.events.clear();
    EXPECT_FALSE(rig->SearchTick());
    ASSERT_FALSE(rig.recorder.events.empty());
    EXPECT_EQ(rig.recorder.events.front().substr(0, 11), "F -> Error ");
    EXPECT_LT(std::stoi(rig.recorder.events.front().substr(11)), -1);
    EXPECT_FALSE(rig->GetLink().IsOpen());
    EXPECT_TRUE(rig.search.active);
}

TEST(Search, APortHeldByAnotherProgramIsNamedWithItsHolderAndTheSearchGoesOn)
{
    PtyPeer box;
    box.Answer("K417-3C v2.14\r");
    std::string error;
    auto holder = PosixSerialPort::Open(box.SlavePath(), &error); // another program has the port
    ASSERT_TRUE(holder) << error;
    Rig rig;
    rig.ports = {box.SlavePath()};
    EXPECT_FALSE(rig->SearchTick());
    EXPECT_TRUE(rig.search.active);
    EXPECT_EQ(rig.recorder.status.kind, StatusKind::Error);
    EXPECT_NE(rig.recorder.status.text.find(box.SlavePath() + ": in use by test_session (pid " +
                                            std::to_string(::getpid()) + ")"),
              std::string::npos)
        << rig.recorder.status.text;
    EXPECT_TRUE(box.Received().empty());

    holder.reset();
    EXPECT_TRUE(rig->SearchTick());
}

TEST(Status, SuccessAndFailureFollowTheOneConvention)
{
    Rig rig;
    rig->Identity().EncoderConnected = true;
    Link& link = rig->GetLink();

    link.LastErrorText = "End of bank reached\r\nCMD: R64:000 RCV: 1:10:";
    EXPECT_TRUE(rig->Report(true));
    EXPECT_EQ(rig.recorder.status.text, "Comm OK\r\nEnd of bank reached\r\nCMD: R64:000 RCV: 1:10:");
    EXPECT_EQ(rig.recorder.status.kind, StatusKind::Ok);
    EXPECT_TRUE(rig->Identity().EncoderConnected);

    link.LastErrorText = "USB Comm Err -1";
    EXPECT_FALSE(rig->Report(false));
    EXPECT_EQ(rig.recorder.status.text, "Error\r\nUSB Comm Err -1");
    EXPECT_EQ(rig.recorder.status.kind, StatusKind::Error);
    EXPECT_FALSE(rig->Identity().EncoderConnected);

    rig->Identity().EncoderConnected = true;
    rig->ReportText("Write OK\r\n");
    EXPECT_EQ(rig.recorder.status.kind, StatusKind::Plain);
    EXPECT_TRUE(rig->Identity().EncoderConnected);
}

TEST(SessionIdentify, PublishesCapabilitiesAndTheFamilyScaleFromTheSingleturnLength)
{
    Rig rig;
    FakeBox& box = AttachFakeBox(rig->GetLink());
    MakeMakersEncoder(box, "TV746-01", {2, 5, 8, 9859});
    box.banks[2] = CommonPart();
    box.banks[3] = ProfilePart();

    // The datasheet first: 12 + 7 singleturn bits.
    rig->Identify();
    rig->ReadDatasheet();
    EXPECT_EQ(rig->Units().SingleturnLength(), 19);
    EXPECT_EQ(rig->Units().Denominator(), 1 << 19);
    rig.recorder.events.clear();

    // A later "Read" keeps the scale of the singleturn length: one count is
    // 360 / 2^19 degrees, not 360.
    IdentificationOutcome out = rig->Identify();
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(rig.recorder.events, (std::vector<std::string>{"scale", "identified"}));
    EXPECT_EQ(rig->Units().Nominator(), 360);
    EXPECT_EQ(rig->Units().Denominator(), 1 << 19);
    EXPECT_EQ(rig->Units().Unit(), "deg");
    EXPECT_FLOAT_EQ(rig->Units().Scale().resolution, 360.0f / (1 << 19));
    ASSERT_TRUE(rig.recorder.caps);
    const EncoderCapabilities& caps = *rig.recorder.caps;
    EXPECT_TRUE(caps.identified);
    EXPECT_EQ(caps.family, EncoderFamily::Torvik);
    EXPECT_TRUE(caps.datasheetBankKnown);
    EXPECT_TRUE(caps.profileIsBp3);
    EXPECT_EQ(caps.partNumber, "TV746-01");
    ASSERT_TRUE(caps.torvikGates);
    EXPECT_EQ(rig.recorder.status.text, "Comm OK\r\n");

    // A failed read publishes nothing of the old encoder and reports the error.
    box.writeError = 5;
    out = rig->Identify();
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(rig->Capabilities().identified);
    EXPECT_EQ(rig.recorder.status.kind, StatusKind::Error);
    EXPECT_TRUE(rig.search.active); // the port is gone: search again
}

TEST(SessionIdentify, DatasheetLengthsGoToTheScaleLimitedToTheFrameWord)
{
    Rig rig;
    FakeBox& box = AttachFakeBox(rig->GetLink());
    MakeMakersEncoder(box, "LN7-00125", {2, 5, 8, 9859});
    box.banks[2] = CommonPart();
    box.banks[3] = ProfilePart();
    box.banks[3][10] = 30;
    box.banks[3][12] = 40;
    Seal(box.banks[3]);
    rig->Identify();
    EXPECT_EQ(rig->Units().Denominator(), 10000); // linear: mm per count from the part number
    rig.recorder.events.clear();
    EdsReadOutcome out = rig->ReadDatasheet();
    EXPECT_TRUE(out.lengthsLimited);
    EXPECT_EQ(rig.recorder.events, (std::vector<std::string>{"scale", "datasheet"}));
    EXPECT_EQ(rig->Units().MultiturnLength(), 24);
    EXPECT_EQ(rig->Units().SingleturnLength(), 32);
    EXPECT_EQ(rig->Units().Denominator(), 10000);
    EXPECT_EQ(rig.recorder.status.kind, StatusKind::Ok);
    EXPECT_EQ(rig.recorder.status.text, "Comm OK\r\nEDS lengths out of range: multiturn 30, singleturn 47 bits; used 24 + 32");
}

TEST(SessionTick, EndingsSetTheTimersAndTheStatusLine)
{
    Rig rig;
    FakeBox& box = AttachFakeBox(rig->GetLink());
    rig->Identity().EncoderConnected = true;
    rig->GetLink().PositionSTLength = 12;
    box.positionReply = Reply(EncodePositionFrame(0, 5, 0, 12, false, false));
    rig->MonitorTick();
    EXPECT_TRUE(rig.monitor.active);
    EXPECT_EQ(rig.recorder.status.text, "Comm OK");
    EXPECT_EQ(rig.recorder.status.kind, StatusKind::Ok);

    box.positionReply = "12345\r";
    rig->GetLink().LastErrorText = "earlier";
    rig->MonitorTick();
    EXPECT_EQ(rig.recorder.status.text, "Error\r\nearlier");
    EXPECT_EQ(rig.recorder.status.kind, StatusKind::Error);
    EXPECT_TRUE(rig.monitor.active);
    EXPECT_FALSE(rig.search.active);

    box.writeError = 5;
    rig->MonitorTick();
    EXPECT_FALSE(rig.monitor.active);
    EXPECT_TRUE(rig.search.active);

    // A page switch leaves the monitor off while a search is due; a search that
    // is running keeps it off too.
    rig->ResumeMonitor();
    EXPECT_FALSE(rig.monitor.active);
    rig.search.active = false;
    rig->ResumeMonitor();
    EXPECT_TRUE(rig.monitor.active);
}

TEST(SessionPower, SelectingTheSameStateSendsNothing)
{
    Rig rig;
    FakeBox& box = AttachFakeBox(rig->GetLink());
    rig->Select(false);
    rig->Select(true);
    rig->Select(true);
    rig->Select(false);
    EXPECT_EQ(box.TakeLog(), (std::vector<std::string>{"N", "F"}));
    rig->SendBoxSetting(BoxSetting::Clock, "");
    rig->SendBoxSetting(BoxSetting::Clock, "7");
    rig->SendBoxSetting(BoxSetting::DataLength, "12");
    EXPECT_EQ(box.TakeLog(), (std::vector<std::string>{"M07"}));
}
