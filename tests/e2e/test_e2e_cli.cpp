// k417ctl against the simulated box over a pseudo-terminal: what it prints,
// its exit status and the commands the box received.

#include "CliHarness.h"

#include "monitor/Recording.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

// Runs a shell command; its output (stderr too) and exit status.
CliRun Shell(const std::string& command)
{
    CliRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        run.out += buffer;
    run.status = WEXITSTATUS(::pclose(pipe));
    return run;
}

size_t Lines(const std::string& text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

TEST_F(CliTest, InfoIdentifiesLikeTheWindowInTextAndJson)
{
    Start();
    CliRun r = Run({"info"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("Box:              K417-3C v2.14 on " + sim->PortPath()), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Family:           Torvik\n"), std::string::npos);
    EXPECT_NE(r.out.find("Part number:      TV657-18B16-000\n"), std::string::npos);
    EXPECT_NE(r.out.find("Manufacturer ID:  0x4B58 = \"XK\"\n"), std::string::npos);
    EXPECT_NE(r.out.find("Position:         16 multiturn + 18 singleturn bits\n"), std::string::npos);
    EXPECT_NE(r.out.find("Resolution:       360 / 262144 deg\n"), std::string::npos);
    // The window's order: search, power, probe, identification, datasheet, position.
    const std::vector<std::string> log = Commands();
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 4),
              (std::vector<std::string>{"v", "N", "R02:064", "R64:064"}));
    EXPECT_EQ(log.back(), "4");

    sim->ClearCommandLog();
    r = Run({"--json", "info"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(Lines(r.out), 1u);
    EXPECT_NE(r.out.find("\"family\":\"Torvik\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"manufacturerId\":\"0x4B58 = \\\"XK\\\"\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"resolution\":{\"nominator\":360,\"denominator\":262144,\"unit\":\"deg\"}"), std::string::npos);
}

TEST_F(CliTest, PositionPrintsEachWordWithItsFlagsAndValue)
{
    Start();
    sim->SetShaftPosition(3, 65536); // a quarter turn of 18 bits
    CliRun r = Run({"position", "--count", "3", "--interval", "0"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(Lines(r.out), 3u);
    EXPECT_NE(r.out.find("  multiturn 3  singleturn 65536  error 0  warning 0  crc ok  1,170.000 deg\n"), std::string::npos)
        << r.out;

    SimFaults faults;
    faults.warningBit = true;
    faults.crcError = true;
    sim->SetFaults(faults);
    r = Run({"--json", "position", "--count", "2"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(Lines(r.out), 2u);
    EXPECT_NE(r.out.find("\"multiturn\":3,\"singleturn\":65536,\"error\":false,\"warning\":true,\"crc\":false"),
              std::string::npos)
        << r.out;

    faults = {};
    faults.positionTimeout = true;
    sim->SetFaults(faults);
    r = Run({"position", "--count", "1"});
    EXPECT_EQ(r.status, kExitFailed);
}

TEST_F(CliTest, RegistersReadAndWrittenInTheNamedBank)
{
    Start();
    const SimEncoderInfo info = sim->EncoderInfo();
    CliRun r = Run({"--json", "read", "0", "4", "--bank", std::to_string(info.edsBank)});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const auto eds = sim->BankImage(static_cast<uint8_t>(info.edsBank));
    char expected[64];
    std::snprintf(expected, sizeof expected, "\"values\":[%d,%d,%d,%d]", eds[0], eds[1], eds[2], eds[3]);
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    std::vector<std::string> log = Commands();
    char select[16];
    std::snprintf(select, sizeof select, "Ws%03u:064", static_cast<unsigned>(info.edsBank));
    EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()), (std::vector<std::string>{select, "R04:000"}));

    r = Run({"write", "0x05", "0xA5", "--bank", std::to_string(info.userBankFirst)});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "Write OK\n");
    EXPECT_EQ(sim->BankImage(static_cast<uint8_t>(info.userBankFirst))[5], 0xA5);

    r = Run({"read", "0x44", "4"});
    ASSERT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "0x44  0x00  0\n0x45  0x12  18\n0x46  0xD6  214\n0x47  0x87  135\n");
}

TEST_F(CliTest, UsageErrorsCostNoTrafficAndNoBoxSaysWhy)
{
    Start();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"read", "200"}, {"read", "0x7F", "2"}, {"write", "1", "256"}, {"frobnicate"},
          {"position", "--count", "x"}, {"read", "1", "--bogus"}, {"--nonsense", "info"}}) {
        const CliRun r = Run(args);
        EXPECT_EQ(r.status, kExitUsage) << args[0];
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_TRUE(Commands().empty());

    const CliRun none = RunRaw({"--port", "/nonexistent/ttyACM7", "info"});
    EXPECT_EQ(none.status, kExitNoBox);
    EXPECT_NE(none.err.find("/nonexistent/ttyACM7: cannot open"), std::string::npos) << none.err;
}

TEST_F(CliTest, VerboseTracesEveryCommandAndReplyAndEdsGivesItsVerdict)
{
    SimOptions options;
    options.faults.badProfileChecksum = true;
    Start(options);
    CliRun r = Run({"-v", "eds"});
    EXPECT_EQ(r.status, kExitFailed); // a wrong checksum is a failed check
    EXPECT_NE(r.err.find("> v\n< K417-3C v2.14\\r\n> N\n"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Common part\nEDS ver: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" (wrong)\n"), std::string::npos);

    r = Run({"ports"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, sim->PortPath() + "  K417-3C v2.14\n");
}

TEST_F(CliTest, APortTheUserMayNotOpenIsNamedWithTheFix)
{
    // Permissions do not bind root: the check runs as the unprivileged "nobody".
    if (::system("command -v setpriv >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "setpriv is not installed";
    Start();
    const CliRun r =
        Shell("setpriv --reuid=65534 --regid=65534 --clear-groups " K417CTL_EXE " --port " + sim->PortPath() + " ports");
    const std::string& out = r.out;
    EXPECT_EQ(r.status, kExitNoBox) << out;
    EXPECT_NE(out.find(sim->PortPath() + "  no permission: the port belongs to the group \""), std::string::npos) << out;
    EXPECT_NE(out.find("and log in again"), std::string::npos) << out;
    EXPECT_TRUE(Commands().empty());
}

TEST_F(CliTest, UserMemoryFilesRoundTripAndTheTestNeedsYes)
{
    Start();
    const std::string file = ::testing::TempDir() + "k417-cli-usermem.csv";
    CliRun r = Run({"usermem", "save", file});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const SimEncoderInfo info = sim->EncoderInfo();
    const int banks = info.userBankLast - info.userBankFirst + 1;
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n')), 2 + 64 * banks);
    EXPECT_EQ(bytes.substr(0, 19), "Torvik user memory;");

    // A file the tool saved loads back: only its header lines are reported, and that is no failure.
    sim->ClearCommandLog();
    r = Run({"usermem", "load", file});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.err.find("Ignoring data at line 1: Torvik user memory"), std::string::npos) << r.err;
    const std::vector<std::string> log = Commands();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& c) { return c.rfind("Wcn64:", 0) == 0; }), banks);

    r = Run({"usermem", "set", std::to_string(info.userBankFirst), "5", "0xA7"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "Write OK, Verify OK\n");
    EXPECT_EQ(sim->StoredBankImage(static_cast<uint8_t>(info.userBankFirst))[5], 0xA7);
    r = Run({"usermem", "get", std::to_string(info.userBankFirst), "5"});
    EXPECT_EQ(r.out, "167\n");
    EXPECT_EQ(Run({"usermem", "set", "3", "5", "1"}).status, kExitFailed); // not a user bank

    sim->ClearCommandLog();
    r = Run({"usermem", "test"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.err.find("--yes"), std::string::npos);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(CliTest, ErrorMapReadSaveLoadAndChart)
{
    Start();
    const std::string file = ::testing::TempDir() + "k417-cli-errmap.csv";
    const std::string chart = ::testing::TempDir() + "k417-cli-errmap.png";
    CliRun r = Run({"--json", "errmap", "read", "--chart", chart});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("\"pages\":8"), std::string::npos);
    EXPECT_NE(r.out.find("\"checksumsOk\":true"), std::string::npos);
    EXPECT_TRUE(std::ifstream(chart).good());
    EXPECT_EQ(Run({"errmap", "save", file}).status, kExitOk);
    const auto before = sim->StoredBankImage(8);
    sim->ClearCommandLog();
    r = Run({"errmap", "load", file});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "Written banks: 8, 9, 10, 11, 12, 13, 14, 15, \n");
    EXPECT_EQ(sim->StoredBankImage(8), before);
    EXPECT_EQ(Run({"errmap", "read", "--chart", "x.jpg"}).status, kExitUsage);

    std::ofstream(file, std::ios::trunc) << "nonsense\r\n";
    sim->ClearCommandLog();
    EXPECT_EQ(Run({"errmap", "load", file}).status, kExitFailed);
    for (const std::string& c : Commands())
        EXPECT_NE(c.rfind("Ws", 0) == 0 && c.substr(c.size() - 3) != "064", true) << c; // no point written
}

TEST_F(CliTest, ConfigurationPresetsAndStatus)
{
    Start();
    CliRun r = Run({"config", "get"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("0.18.u8 Multiturn Error Arc = "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0.2E.u8 Write protect = 0xC6\n"), std::string::npos) << r.out;

    sim->ClearCommandLog();
    r = Run({"config", "set", "0.18", "40"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(sim->StoredBankImage(0)[0x18], 40);
    EXPECT_EQ(Run({"config", "set", "0.99", "1"}).status, kExitUsage);

    EXPECT_EQ(Run({"preset-mt", "7"}).status, kExitOk);
    r = Run({"zero"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("New zero pos: "), std::string::npos);
    sim->ClearCommandLog();
    r = Run({"factory-reset"});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_TRUE(Commands().empty());

    r = Run({"--json", "status"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("\"word\":\"0x0000\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"airGap\":\"Air gap: "), std::string::npos) << r.out;
    EXPECT_EQ(Run({"clear-persistent"}).status, kExitOk);
}

TEST_F(CliTest, RecordingAndDiagnostics)
{
    Start();
    const std::string file = ::testing::TempDir() + "k417-cli-record.csv";
    CliRun r = Run({"record", file, "--count", "4", "--interval", "1"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.substr(0, bytes.find("\r\n")), RecordingHeader(RecordingKind::Position));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 5);
    EXPECT_EQ(Run({"record", "/nonexistent-folder/rec.csv"}).status, kExitFailed);

    sim->ClearCommandLog();
    r = Run({"--json", "diag"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("\"spectrum\":["), std::string::npos) << r.out;
    // Locked at first: the unlock goes out, then the read.
    const std::vector<std::string> log = Commands();
    EXPECT_NE(std::find(log.begin(), log.end(), "Ws179:072"), log.end());
}

TEST(CliProgram, RunsWithTheBuiltInSimulator)
{
    const CliRun r = Shell(K417CTL_EXE " --simulate=quenra --json info");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\"family\":\"Quenra\""), std::string::npos) << r.out;
}
