// Measurement recording in the monitor cycle against an in-process box: file
// names and headers, the rows of both recordings, the row limit, and the
// buffer written out once a second and at the stop. (Files that cannot be
// written are tried end to end.)

#include "MonitorRig.h"
#include "monitor/Recording.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A folder of its own for each test.
struct TempFolder {
    fs::path path;
    TempFolder()
    {
        char pattern[] = "/tmp/k417-recording-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempFolder() { fs::remove_all(path); }
};

// The monitor cycle with the session's read-outs and the recorder, on a clock the test moves.
struct RecordingRig : MonitorRig {
    TorvikStatusReadout status{cycle, identity};
    DebugReadout debug{identity};
    int64_t now = 5000;
    QuenraStatusReadout quenra{cycle, identity};
    Recorder recorder{cycle, status, quenra, debug, [this] { return now; }};
    TempFolder folder;

    RecordingRig()
    {
        link.PositionMTLength = 12;
        link.PositionSTLength = 20;
        link.EncoderSignature.Zolvan_FWverComm = 8;
        link.EncoderSignature.Zolvan_PartNumber = "TV657-18B16-000";
        link.EncoderSignature.Zolvan_Serial = "T1234567";
        identity.EncoderConnected = true;
        box.positionReply = PositionReply(3, 0x12345, 12, 20);
        for (TickStep* step : std::initializer_list<TickStep*>{&status, &debug, &quenra, &recorder})
            cycle.AddStep(step);
        recorder.SetFolder(folder.path.string());
    }
    RecordingStart Start(RecordingKind kind, int64_t rows = 0)
    {
        return recorder.Start(kind, rows, link.EncoderSignature);
    }
    const TickReport& Tick(int64_t ms = 50)
    {
        now += ms;
        return cycle.Tick();
    }
};

TEST(Recording, FileNamesHeadersAndElapsedTime)
{
    std::tm t{};
    t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 9, t.tm_hour = 8, t.tm_min = 5, t.tm_sec = 3;
    EXPECT_EQ(RecordingFileName("/data", RecordingKind::Position, "TV657-18B16-000", "T1234567", t),
              "/data/POSITION_TV657-18B16-000_T1234567_20261209080503.csv");
    EXPECT_EQ(RecordingFileName("/data/", RecordingKind::Debug, "", "", t), "/data/TEST___20261209080503.csv");
    // Texts from the encoder never lead the file into another folder.
    EXPECT_EQ(RecordingFileName("/d", RecordingKind::Debug, "../x/y", "a\tb", t), "/d/TEST_.._x_y_a_b_20261209080503.csv");

    EXPECT_EQ(RecordingHeader(RecordingKind::Position), "Time(ms);RX;MT;ST;Error;");
    const std::string debug = RecordingHeader(RecordingKind::Debug);
    EXPECT_EQ(debug.substr(0, 111), "Time(ms);RX;MT;ST;Error;Status;Supply;Signal;Temperature;CodeA;CodeB;ResetCnt;"
                                    "CycleTime(clks);DecodSelect;MIS1;");
    EXPECT_EQ(std::count(debug.begin(), debug.end(), ';'), 14 + 53);
    EXPECT_EQ(debug.substr(debug.size() - 12), "MIS52;MIS53;");
    EXPECT_EQ(ElapsedText(61237), "61.24 seconds");
}

TEST(Recording, PositionRowsUntilTheLimitWithoutTransactions)
{
    RecordingRig r;
    const RecordingStart start = r.Start(RecordingKind::Position, 2);
    ASSERT_TRUE(start.ok) << start.errorText;
    EXPECT_EQ(fs::path(start.fileName).parent_path(), r.folder.path);
    EXPECT_EQ(fs::path(start.fileName).filename().string().substr(0, 36), "POSITION_TV657-18B16-000_T1234567_20");
    r.box.TakeLog();
    EXPECT_EQ(r.Tick(20).ending, TickReport::Ending::Ok);
    EXPECT_EQ(r.box.TakeLog(), std::vector<std::string>{"4"}); // the position recording adds no command
    r.box.positionReply = "TIMEOUT\r";
    EXPECT_EQ(r.Tick(30).ending, TickReport::Ending::Ok);
    EXPECT_FALSE(r.recorder.Running());
    ASSERT_EQ(r.recorder.TakeEnd()->reason, RecordingEnd::Reason::RowLimit);
    EXPECT_FALSE(r.recorder.TakeEnd());
    EXPECT_EQ(r.recorder.Rows(), 2u);
    EXPECT_EQ(r.recorder.ElapsedMs(), 50);
    // Complete on disk once the limit is reached.
    const std::string rx = PositionReply(3, 0x12345, 12, 20).substr(0, 16);
    EXPECT_EQ(ReadFile(start.fileName), "Time(ms);RX;MT;ST;Error;\r\n20;" + rx +
                                            ";3;74565;;\r\n50;TIMEOUT;ENCODER DISCONNECTED;ENCODER DISCONNECTED;;\r\n");
    r.Tick();
    EXPECT_EQ(r.recorder.Rows(), 2u);
}

TEST(Recording, DebugRowsCarryStatusSupplyAndSnapshot)
{
    RecordingRig r;
    std::optional<std::string> supply = std::string(" 5.02V \r");
    r.box.override = [&](const std::string& c) -> std::optional<std::string> {
        if (c == "e")
            return supply;
        return std::nullopt;
    };
    r.box.Reg(0x4A) = 0x40, r.box.Reg(0x4B) = 0x01; // status word
    r.box.Reg(0x4D) = 25;                            // temperature
    r.box.Reg(0x4E) = 0x09, r.box.Reg(0x4F) = 0x60;  // signal level 2400
    for (size_t i = 0; i < kDebugSampleCount; ++i)
        r.box.banks[DebugBank][i] = static_cast<uint8_t>(static_cast<int8_t>(static_cast<int>(i) - 26));
    r.box.banks[DebugBank][0x35] = 4;
    r.box.banks[DebugBank][0x37] = 0x59;
    r.box.banks[DebugBank][0x3A] = 0x02, r.box.banks[DebugBank][0x3B] = 0xD0;
    r.box.banks[DebugBank][0x3C] = 2;
    EXPECT_FALSE(r.status.Active());
    const RecordingStart start = r.Start(RecordingKind::Debug);
    ASSERT_TRUE(start.ok) << start.errorText;
    EXPECT_EQ(fs::path(start.fileName).filename().string().substr(0, 5), "TEST_");
    EXPECT_TRUE(r.status.Active() && r.debug.Active()); // whatever page is shown
    r.box.TakeLog();
    EXPECT_EQ(r.Tick(10).ending, TickReport::Ending::Ok);
    EXPECT_EQ(r.box.TakeLog(),
              (std::vector<std::string>{"4", "R09:074", "R01:064", "Ws223:064", "R01:064", "R64:000", "e"}));

    // A failed "e" ends the tick without a row; the recording goes on.
    r.link.ComHandle->SetReplyTimeoutMs(20);
    supply = std::string(); // silence
    EXPECT_EQ(r.Tick().ending, TickReport::Ending::Error);
    EXPECT_EQ(r.recorder.Rows(), 1u);
    EXPECT_TRUE(r.recorder.Running());

    EXPECT_FALSE(r.recorder.Stop());
    EXPECT_FALSE(r.status.Active() || r.debug.Active());
    std::string expected = "10;" + PositionReply(3, 0x12345, 12, 20).substr(0, 16) +
                           ";3;74565;;0100000000000001;5.02V;2400;25;1011001;0000000;2;720;4;";
    for (int i = 0; i < kDebugSampleCount; ++i)
        expected += std::to_string(i - 26) + ";";
    EXPECT_EQ(ReadFile(start.fileName), RecordingHeader(RecordingKind::Debug) + "\r\n" + expected + "\r\n");
}

TEST(Recording, RowsReachTheFileOnceASecondAndAtTheStop)
{
    RecordingRig r;
    const RecordingStart start = r.Start(RecordingKind::Position);
    ASSERT_TRUE(start.ok);
    const size_t header = ReadFile(start.fileName).size();
    for (int i = 0; i < 9; ++i)
        r.Tick(100);
    EXPECT_EQ(ReadFile(start.fileName).size(), header); // buffered
    r.Tick(100);                                         // a second after the start
    const size_t tenRows = ReadFile(start.fileName).size();
    EXPECT_GT(tenRows, header);
    r.Tick(100);
    r.now += 800;
    r.recorder.FlushIfDue();
    EXPECT_EQ(ReadFile(start.fileName).size(), tenRows);
    r.now += 100;
    r.recorder.FlushIfDue(); // no tick for a second: written all the same
    const std::string eleven = ReadFile(start.fileName);
    EXPECT_EQ(std::count(eleven.begin(), eleven.end(), '\n'), 12);
    r.Tick(100);
    EXPECT_FALSE(r.recorder.Stop());
    const std::string all = ReadFile(start.fileName);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 13);
}

} // namespace
