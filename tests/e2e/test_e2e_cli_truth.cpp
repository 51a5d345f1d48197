// k417ctl says "done" (exit status 0) only for what is in the encoder, and
// its --json lines are JSON that keep the tool's own characters.

#include "CliHarness.h"

#include "cli/Json.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>

namespace {

constexpr auto npos = std::string::npos;

// A 32-bit value of the configuration bank as the encoder stores it (big-endian).
uint32_t Config32(const std::array<uint8_t, 64>& bank, uint8_t address)
{
    return uint32_t{bank[address]} << 24 | uint32_t{bank[address + 1u]} << 16 | uint32_t{bank[address + 2u]} << 8 |
           bank[address + 3u];
}

// Where the n-th (from 0) command equal to text stands in the log; -1 when nowhere.
int IndexOf(const std::vector<std::string>& log, const std::string& text, int n = 0)
{
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i] == text && n-- == 0)
            return static_cast<int>(i);
    return -1;
}

bool Sent(const std::vector<std::string>& log, const std::string& command)
{
    return std::find(log.begin(), log.end(), command) != log.end();
}

constexpr const char* kSaveCommand = "Ws099:073"; // CMD 0x63: the configuration to non-volatile memory

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

// --- zero ------------------------------------------------------------------------

class CliZeroTest : public CliTest {
protected:
    void SetUp() override
    {
        Start();
        sim->SetShaftPosition(2, 94628);
        period = uint32_t{1} << sim->EncoderInfo().stLength;
    }
    // The offset 100000 in the encoder; the offset a zero preset must store then.
    uint32_t OffsetAt100000()
    {
        sim->SetFaults({});
        EXPECT_EQ(Run({"config", "set", "0.00", "100000"}).status, kExitOk);
        EXPECT_EQ(Config32(sim->StoredBankImage(0), 0), 100000u);
        return (100000 + sim->ReportedPosition().singleturn) % period;
    }
    uint32_t period = 0;
};

TEST_F(CliZeroTest, TheOffsetComesOnlyFromAReadOfThisPresetThatDeliveredIt)
{
    uint32_t wanted = OffsetAt100000();
    sim->ClearCommandLog();
    ASSERT_EQ(Run({"zero"}).status, kExitOk);
    EXPECT_EQ(Config32(sim->StoredBankImage(0), 0), wanted);
    EXPECT_EQ(sim->ReportedPosition().singleturn, 0u);
    // The preset reads the offset twice: before the counter preset and inside it.
    const std::vector<std::string> clean = Commands();
    const int firstRead = IndexOf(clean, "R04:000", 0);
    const int presetRead = IndexOf(clean, "R04:000", 1);
    ASSERT_GE(firstRead, 0);
    ASSERT_GT(presetRead, firstRead);

    // The read inside the counter preset fails before its offset arrives:
    // the offset of the read before it counts, not 0.
    wanted = OffsetAt100000();
    SimFaults lost;
    lost.timeoutReply = true;
    lost.startAfter = presetRead;
    lost.hitsLeft = 1;
    sim->SetFaults(lost);
    CliRun r = Run({"zero"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("Current zero pos: 100000\n"), npos) << r.out;
    EXPECT_EQ(Config32(sim->StoredBankImage(0), 0), wanted);
    EXPECT_EQ(sim->ReportedPosition().singleturn, 0u);

    // Both reads fail at the offset: the preset stops with its message and writes nothing.
    OffsetAt100000();
    SimFaults both;
    both.timeoutReply = true;
    both.onlyCommands = "R";
    both.startAfter = firstRead;
    both.hitsLeft = 2;
    sim->SetFaults(both);
    sim->ClearCommandLog();
    r = Run({"zero"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find("Error writing new zero position. Errors encountered: "), npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(Sent(Commands(), kSaveCommand));
    EXPECT_EQ(Config32(sim->BankImage(0), 0), 100000u);
    EXPECT_EQ(Config32(sim->StoredBankImage(0), 0), 100000u);
}

TEST_F(CliZeroTest, RandomReadFaultsLeaveTheOldOffsetOrTheRightOne)
{
    // A quarter of the register reads fail at random, as `k417-sim
    // --random-faults 25:SEED --fault-only R` does it.
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        const uint32_t wanted = OffsetAt100000();
        SimFaults faults;
        faults.randomPercent = 25;
        faults.randomSeed = seed;
        faults.onlyCommands = "R";
        sim->SetFaults(faults);
        const CliRun r = Run({"zero"});
        sim->SetFaults({});
        const uint32_t stored = Config32(sim->StoredBankImage(0), 0);
        if (r.status == kExitOk) {
            EXPECT_EQ(stored, wanted) << "seed " << seed;
            EXPECT_EQ(sim->ReportedPosition().singleturn, 0u) << "seed " << seed;
        } else {
            EXPECT_TRUE(stored == 100000u || stored == wanted) << "seed " << seed << ": " << stored;
        }
    }
}

// --- config set --------------------------------------------------------------------

TEST_F(CliTest, ConfigSetRefusesAFieldThePageDoesNotWriteForThisEncoder)
{
    struct Case {
        SimFamily family;
        const char* firmware;
        const char* field;
        const char* value;
    };
    for (const Case& k : {Case{SimFamily::Torvik, "", "0.2E", "0x5"}, // firmware 9600 no longer writes 0.2E
                          Case{SimFamily::Quenra, "", "0.04", "7"},   // the Quenra page has no filters
                          Case{SimFamily::Torvik, "2.5.8.2000", "0.18", "45"}}) { // the error arc from 2211 on
        SimOptions options;
        options.family = k.family;
        options.firmware = k.firmware;
        Start(options);
        const auto working = sim->BankImage(0);
        const auto stored = sim->StoredBankImage(0);
        sim->ClearCommandLog();
        const CliRun r = Run({"--yes", "config", "set", k.field, k.value});
        EXPECT_EQ(r.status, kExitFailed) << k.field << ": " << r.out;
        EXPECT_NE(r.err.find(" page does not write " + std::string(k.field) + "."), npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(Sent(Commands(), kSaveCommand)) << k.field;
        EXPECT_EQ(sim->BankImage(0), working) << k.field;
        EXPECT_EQ(sim->StoredBankImage(0), stored) << k.field;
    }
}

TEST_F(CliTest, ConfigSetWritesTheUsersWriteProtectValueAfterTheQuestionAboutIt)
{
    for (SimFamily family : {SimFamily::Torvik, SimFamily::Quenra}) {
        SimOptions options;
        options.family = family;
        if (family == SimFamily::Torvik)
            options.firmware = "2.5.8.9000"; // writes 0.2E
        Start(options);
        // The marker itself locks nothing: no question.
        CliRun r = Run({"config", "set", "0.2E", "198"});
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(sim->StoredBankImage(0)[0x2E], 0xC6);
        // Another value would lock the encoder: without --yes the question is declined.
        sim->ClearCommandLog();
        r = Run({"config", "set", "0.2E", "0x5"});
        EXPECT_EQ(r.status, kExitFailed);
        EXPECT_NE(r.err.find("Encoder Write Protect register contents is not 0xC6."), npos) << r.err;
        EXPECT_FALSE(Sent(Commands(), kSaveCommand));
        EXPECT_EQ(sim->StoredBankImage(0)[0x2E], 0xC6);
        r = Run({"--yes", "config", "set", "0.2E", "0x5"});
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(r.out, "0.2E.u8 Write protect = 0x5 saved\n");
        EXPECT_EQ(sim->StoredBankImage(0)[0x2E], 0x05);
    }
}

// --- errmap save --------------------------------------------------------------------

TEST_F(CliTest, ErrorMapSaveRefusesAMapWhoseStoredChecksumsDiffer)
{
    SimOptions options;
    options.faults.badErrorMapChecksum = true;
    Start(options);
    const std::string file = ::testing::TempDir() + "k417-cli-badmap.csv";
    std::remove(file.c_str());
    CliRun r = Run({"errmap", "save", file});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find("Error reading Error Map from encoder!"), npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(file));
    // A file of that name stays as it was.
    std::ofstream(file, std::ios::binary) << "an earlier map\r\n";
    r = Run({"errmap", "save", file});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(FileText(file), "an earlier map\r\n");
    std::remove(file.c_str());
}

// --- calibrate -----------------------------------------------------------------------

TEST_F(CliTest, CalibrateRefusesEveryNegativeTimeoutBeforeAnyTraffic)
{
    Start();
    for (const char* timeout : {"-1", "-5", "-255", "-100000", "--timeout=-1"}) {
        sim->ClearCommandLog();
        const CliRun r = std::string(timeout).rfind("--", 0) == 0 ? Run({"calibrate", timeout})
                                                                  : Run({"calibrate", "--timeout", timeout});
        EXPECT_EQ(r.status, kExitUsage) << timeout;
        EXPECT_NE(r.err.find("Calibration Timeout (sec) must not be negative."), npos) << timeout << ": " << r.err;
        EXPECT_TRUE(Commands().empty()) << timeout;
    }
    EXPECT_EQ(sim->CalibrationsRun(), 0u);
}

// --- the exit status of every writing subcommand -------------------------------------

namespace {
// A writing subcommand and the exit status it must give when the encoder
// refuses its write, when the user declines its question (on a
// write-protected encoder, without --yes), and when a reply is lost (the
// reply to its last command register write, or to its last write). Where
// it exits 0, done tells whether the work really is in the encoder.
struct WritingCase {
    const char* name;
    std::vector<std::string> args;
    int refuseBank, refuseAddress;
    int refused, declined, lost;
    std::function<bool(const Simulator&)> done;
    uint16_t statusBits = 0; // raised in the encoder's status word
};

// The command whose reply the "lost" column swallows.
int LostReplyTarget(const std::vector<std::string>& log)
{
    for (size_t i = log.size(); i-- > 0;)
        if (log[i].rfind("Ws", 0) == 0 && log[i].size() == 9 && log[i].substr(6) == "073")
            return static_cast<int>(i);
    for (size_t i = log.size(); i-- > 0;)
        if (log[i].rfind("W", 0) == 0)
            return static_cast<int>(i);
    return -1;
}
} // namespace

TEST_F(CliTest, WritingSubcommandsExitZeroOnlyForWhatIsInTheEncoder)
{
    const std::string userMemory = ::testing::TempDir() + "k417-cli-table-um.csv";
    const std::string errorMap = ::testing::TempDir() + "k417-cli-table-em.csv";
    Start();
    ASSERT_EQ(Run({"usermem", "save", userMemory}).status, kExitOk);
    ASSERT_EQ(Run({"errmap", "save", errorMap}).status, kExitOk);

    const std::vector<WritingCase> cases = {
        {"write", {"write", "0x05", "0xA5", "--bank", "24"}, 24, 5, 1, 1, 1,
         [](const Simulator& s) { return s.BankImage(24)[5] == 0xA5; }},
        {"usermem set", {"usermem", "set", "24", "5", "0xA7"}, 24, 5, 1, 1, 1,
         [](const Simulator& s) { return s.StoredBankImage(24)[5] == 0xA7; }},
        {"usermem load", {"usermem", "load", userMemory}, 24, -1, 1, 1, 1, nullptr},
        {"errmap load", {"errmap", "load", errorMap}, 8, -1, 1, 1, 1, nullptr},
        {"config set", {"config", "set", "0.18", "40"}, 0, 0x18, 1, 1, 1,
         [](const Simulator& s) { return s.StoredBankImage(0)[0x18] == 40; }},
        {"preset-mt", {"preset-mt", "7"}, 0, 0x14, 1, 1, 1,
         [](const Simulator& s) { return s.ReportedPosition().multiturn == 7; }},
        {"zero", {"zero"}, 0, 0x00, 1, 1, 1,
         [](const Simulator& s) { return s.ReportedPosition().singleturn == 0 && s.ReportedPosition().multiturn == 0; }},
        {"factory-reset", {"factory-reset"}, 0, 0x49, 1, 1, 1, nullptr},
        // A write-protected encoder still takes the command: that 0 is true.
        {"clear-persistent", {"clear-persistent"}, 0, 0x49, 1, 0, 1,
         [](const Simulator& s) { return s.StoredBankImage(0)[0x2C] == 0 && s.StoredBankImage(0)[0x2D] == 0; }, 0x0100},
        // The outcome is read back from the calibration status register: a
        // lost reply to the start command hides no calibration that ran.
        {"calibrate", {"calibrate", "--arc", "360", "--timeout", "3"}, 0, 0x19, 1, 1, 0,
         [](const Simulator& s) { return s.CalibrationsRun() > 0; }},
    };
    std::cout << "subcommand        refused write  declined question  lost reply\n";
    for (const WritingCase& k : cases) {
        std::vector<std::string> withYes = k.args;
        withYes.insert(withYes.begin(), "--yes");
        auto start = [&](SimOptions options) {
            options.faults.extraStatus = k.statusBits;
            Start(options);
            sim->SetShaftPosition(1, 1000);
            sim->SetShaftSpeed(k.name == std::string("calibrate") ? 600 : 0); // a calibration needs a turning shaft
        };
        auto check = [&](const char* column, const CliRun& run) {
            if (run.status == kExitOk && k.done) {
                EXPECT_TRUE(k.done(*sim)) << k.name << ", " << column << ": exit 0 for what is not in the encoder";
            }
            return run.status;
        };

        start({});
        CliRun r = Run(withYes);
        ASSERT_EQ(check("no fault", r), kExitOk) << k.name << " without faults: " << r.err;
        const int target = LostReplyTarget(Commands());
        ASSERT_GE(target, 0) << k.name;

        SimOptions refusing;
        refusing.faults.refuseBank = k.refuseBank;
        refusing.faults.refuseAddress = k.refuseAddress;
        start(refusing);
        const int refused = check("refused write", Run(withYes));

        SimOptions locked;
        locked.writeProtected = true;
        start(locked);
        const int declined = check("declined question", Run(k.args));

        // The same commands as without faults, up to the one whose reply is lost.
        start({});
        SimFaults lost = sim->Faults();
        lost.noReply = true;
        lost.startAfter = target;
        lost.hitsLeft = 1;
        sim->SetFaults(lost);
        r = Run(withYes);
        const int lostStatus = check("lost reply", r);

        EXPECT_EQ(refused, k.refused) << k.name;
        EXPECT_EQ(declined, k.declined) << k.name;
        EXPECT_EQ(lostStatus, k.lost) << k.name << ": " << r.out << r.err;
        std::printf("%-18s%-15d%-19d%d\n", k.name, refused, declined, lostStatus);
    }
    std::fflush(stdout);
    std::remove(userMemory.c_str());
    std::remove(errorMap.c_str());
}

// --- JSON ---------------------------------------------------------------------------------

namespace {
// Every string in the value, depth first.
void Strings(const nlohmann::json& value, std::vector<std::string>& out)
{
    if (value.is_string())
        out.push_back(value.get<std::string>());
    else if (value.is_structured())
        for (const nlohmann::json& item : value)
            Strings(item, out);
}
} // namespace

TEST_F(CliTest, EveryJsonOutputParsesAndKeepsMicroDegreeAndPlusMinus)
{
    Start();
    sim->SetShaftSpeed(600); // the calibration needs a turning shaft
    const std::string dir = ::testing::TempDir();
    const std::string um = dir + "k417-cli-json-um.csv", em = dir + "k417-cli-json-em.csv",
                      record = dir + "k417-cli-json-rec.csv";
    const std::vector<std::vector<std::string>> commands = {
        {"ports"},
        {"info"},
        {"position", "--count", "2", "--interval", "0"},
        {"read", "0x40", "4"},
        {"write", "0x05", "0xA5", "--bank", "24"},
        {"eds"},
        {"bank", "16"},
        {"usermem", "save", um},
        {"usermem", "load", um},
        {"usermem", "get", "24", "5"},
        {"usermem", "set", "24", "5", "7"},
        {"errmap", "read"},
        {"errmap", "save", em},
        {"errmap", "load", em},
        {"config", "get"},
        {"config", "set", "0.18", "40"},
        {"preset-mt", "3"},
        {"zero"},
        {"clear-persistent"},
        {"calibrate", "--arc", "360", "--timeout", "3"},
        {"status"},
        {"record", record, "--count", "2", "--interval", "0"},
        {"diag"},
        {"factory-reset"},
    };
    std::map<std::string, std::vector<std::string>> texts; // the strings of each subcommand's output
    for (std::vector<std::string> args : commands) {
        const std::string name = args[0];
        args.insert(args.begin(), {"--json", "--yes"});
        const CliRun r = Run(args);
        EXPECT_EQ(r.status, kExitOk) << name << ": " << r.err;
        size_t lines = 0;
        for (size_t begin = 0, end; (end = r.out.find('\n', begin)) != npos; begin = end + 1, ++lines) {
            const std::string line = r.out.substr(begin, end - begin);
            const nlohmann::json value = nlohmann::json::parse(line, nullptr, false);
            ASSERT_FALSE(value.is_discarded()) << name << ": " << line;
            EXPECT_TRUE(value.is_object()) << name;
            EXPECT_EQ(nlohmann::json::parse(value.dump()), value) << name;
            Strings(value, texts[name]);
        }
        EXPECT_GE(lines, 1u) << name;
        EXPECT_EQ(r.out.back(), '\n') << name;
    }
    // Each character once, as UTF-8: never "Â" in front of a character encoded twice.
    for (const auto& [name, strings] : texts)
        for (const std::string& text : strings)
            EXPECT_EQ(text.find("\xC3\x82"), npos) << name << ": " << text;
    auto any = [&](const std::string& name, const std::string& part) {
        const std::vector<std::string>& strings = texts[name];
        return std::any_of(strings.begin(), strings.end(), [&](const std::string& s) { return s.find(part) != npos; });
    };
    EXPECT_TRUE(any("status", " \xC2\xB5m (\xC2\xB1" "20 \xC2\xB5m)")); // µm (±20 µm)
    EXPECT_TRUE(any("config", "\xC2\xB1" "45.0 deg"));                // ±45.0 deg
    EXPECT_TRUE(any("diag", " \xC2\xB5s"));                            // µs
    EXPECT_TRUE(any("eds", " \xC2\xB0" "C"));                          // °C
    EXPECT_TRUE(any("calibrate", "Ring eccentricity: 18 \xC2\xB5m"));
    EXPECT_TRUE(any("calibrate", "\xC2\xB1" "0.059\xC2\xB0"));          // ±0.059°
    for (const std::string& file : {um, em, record})
        std::remove(file.c_str());
}

TEST(CliJson, TextThatIsNotUtf8StaysValidJson)
{
    JsonObject json;
    json.Add("part", std::string("TV\xFF" "1")).Add("unit", "\xC2\xB5m").Add("nan", std::nan(""));
    const nlohmann::json value = nlohmann::json::parse(json.Text());
    EXPECT_EQ(value["part"], "TV\xEF\xBF\xBD" "1"); // U+FFFD for the stray byte
    EXPECT_EQ(value["unit"], "\xC2\xB5m");
    EXPECT_TRUE(value["nan"].is_null());
}

// An object with no field yet is made only when a field comes; it reads,
// copies and nests as the empty object all the same.
TEST(CliJson, AnObjectWithoutFieldsIsTheEmptyObject)
{
    JsonObject empty;
    EXPECT_EQ(empty.Text(), "{}");
    JsonObject copy(empty);
    copy.Add("a", int64_t{1});
    EXPECT_EQ(copy.Text(), "{\"a\":1}");
    EXPECT_EQ(empty.Text(), "{}");
    JsonObject outer;
    outer.Add("inner", empty).Add("b", true);
    EXPECT_EQ(outer.Text(), "{\"inner\":{},\"b\":true}");
    copy = empty;
    EXPECT_EQ(copy.Text(), "{}");
    copy.Add("c", "x");
    empty = copy;
    EXPECT_EQ(empty.Text(), "{\"c\":\"x\"}");
    EXPECT_EQ(copy.Text(), "{\"c\":\"x\"}");
}
