// The CSV files, the error map, the user memory and the bank browser as
// logic: file mechanics and line parsing on their own, register traffic
// against the simulated encoder over a pseudo-terminal (with the faults a
// write or a read meets on the way) or an in-process box.

#include "FakeBox.h"
#include "FileSizeLimit.h"
#include "SimCommands.h"
#include "biss/BankBrowser.h"
#include "encoder/ErrorMap.h"
#include "encoder/UserMemory.h"
#include "sim/SimCommandLine.h"
#include "sim/Simulator.h"
#include "util/CsvFile.h"
#include "util/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Ws(unsigned value, unsigned address)
{
    return "Ws" + PadNumber(value, 3) + ":" + PadNumber(address, 3);
}

std::string FileContent(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string TempFile(const std::string& name, const std::string& content = {})
{
    const std::string path = (std::filesystem::temp_directory_path() / ("k417_memory_" + name)).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

// Every line a reader gives.
std::vector<std::string> AllLines(CsvLineReader& in)
{
    std::vector<std::string> lines;
    std::string line;
    while (in.Next(line))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> FileLines(const std::string& path)
{
    CsvLineReader in;
    EXPECT_TRUE(in.Open(path)) << in.ErrorText();
    return AllLines(in);
}

// The lines as a file's text, each ended by CR LF.
std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

ErrorMapFile ParseMap(const std::vector<std::string>& lines, int pageCount, const ProgressText& progress = nullptr)
{
    CsvLineReader in(Joined(lines));
    return ParseErrorMapFile(in, pageCount, progress);
}

// --- CSV files -----------------------------------------------------------------

TEST(CsvFile, ReadsLinesWhateverTheirEndsAndNamesFilesItCannotOpen)
{
    const std::string path = TempFile("lines.csv", "a;1\r\nb\nc\rd\r\n\r\n");
    EXPECT_EQ(FileLines(path), (std::vector<std::string>{"a;1", "b", "c", "d", ""}));
    std::ofstream(path, std::ios::binary) << "x\xE9;y"; // 8-bit text, no end after the last line
    EXPECT_EQ(FileLines(path), std::vector<std::string>{"x\xE9;y"});
    std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBFTorvik Error Map\r\n"; // a byte order mark is no text
    EXPECT_EQ(FileLines(path), std::vector<std::string>{"Torvik Error Map"});

    CsvLineReader in;
    EXPECT_FALSE(in.Open("/nonexistent-k417/in.csv"));
    EXPECT_EQ(in.ErrorText(), "Cannot open the file \"/nonexistent-k417/in.csv\": No such file or directory");

    EXPECT_EQ(ReplaceExtension("/tmp/map", ".csv"), "/tmp/map.csv");
    EXPECT_EQ(ReplaceExtension("/tmp/map.txt", ".csv"), "/tmp/map.csv");
    EXPECT_EQ(ReplaceExtension("/tmp/v1.2/map", ".csv"), "/tmp/v1.2/map.csv");
    // The files' 8-bit text keeps ISO 8859-1 and marks what lies beyond it.
    EXPECT_EQ(EightBitText("0x4B58 = \"X\xC3\xA9\""), "0x4B58 = \"X\xE9\"");
    EXPECT_EQ(EightBitText("\xE2\x82\xAC!"), "?!");
    EXPECT_EQ(Utf8FromEightBit("X\xE9;\xFF"), "X\xC3\xA9;\xC3\xBF");
}

TEST(CsvFile, ReaderTakesLinesAcrossItsReadsAndCutsOverlongOnes)
{
    // A CR LF split between two reads of the file, and a line of a megabyte.
    std::string text;
    for (int i = 0; i < 65; ++i)
        text += std::string(1000, 'a') + "\r\n";
    text += std::string(64 * 1024 - 1 - text.size(), 'a'); // its CR the last byte of the first read
    text += "\r\nb\r\n" + std::string(1 << 20, 'c') + "\nd";
    const std::string path = TempFile("long.csv", text);
    CsvLineReader in;
    ASSERT_TRUE(in.Open(path));
    std::string line;
    for (int i = 0; i < 65; ++i)
        ASSERT_TRUE(in.Next(line) && line.size() == 1000);
    ASSERT_TRUE(in.Next(line));
    EXPECT_EQ(line, std::string(64 * 1024 - 1 - 65 * 1002, 'a'));
    EXPECT_TRUE(in.Next(line));
    EXPECT_EQ(line, "b");
    EXPECT_FALSE(in.LineCut());
    EXPECT_TRUE(in.Next(line));
    EXPECT_EQ(line, std::string(CsvLineReader::kLongestLine, 'c'));
    EXPECT_TRUE(in.LineCut());
    EXPECT_TRUE(in.Next(line));
    EXPECT_EQ(line, "d");
    EXPECT_FALSE(in.Next(line));
    EXPECT_FALSE(in.Failed());
}

TEST(CsvFile, WriterEndsLinesInCrLfAndReportsWhatCannotBeWritten)
{
    const std::string path = TempFile("written.csv", "old content that must go");
    CsvWriter file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_TRUE(file.WriteLine("Point;Value"));
    EXPECT_TRUE(file.WriteLine("0;-128"));
    EXPECT_EQ(FileContent(path), "old content that must go"); // until the commit
    EXPECT_TRUE(file.Commit());
    EXPECT_EQ(FileContent(path), "Point;Value\r\n0;-128\r\n");

    // A folder that is not there, and a full disk: the name and the cause, never success.
    EXPECT_FALSE(file.Open("/nonexistent-k417/out.csv"));
    EXPECT_FALSE(file.WriteLine("x"));
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.ErrorText(), "Cannot create the file \"/nonexistent-k417/out.csv\": No such file or directory");
    ASSERT_TRUE(file.Open("/dev/full"));
    file.WriteLine("Torvik user memory");
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.ErrorText(), "Cannot write the file \"/dev/full\": " + std::string(std::strerror(ENOSPC)));

    // A disk that fills up on the way: the earlier file stays whole.
    {
        FileSizeLimit full(64 * 1024);
        ASSERT_TRUE(file.Open(path));
        for (int i = 0; i < 10000; ++i)
            file.WriteNumbers({24, i % 64, 255});
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_EQ(file.ErrorText(), "Cannot write the file \"" + path + "\": " + std::string(std::strerror(EFBIG)));
    EXPECT_EQ(FileContent(path), "Point;Value\r\n0;-128\r\n");
}

TEST(CsvFile, NumberFieldsAreSigned32BitDecimalOrHexadecimal)
{
    EXPECT_EQ(ParseCsvInteger(" 0x1F"), 31);
    EXPECT_EQ(ParseCsvInteger("$1f"), 31);
    EXPECT_EQ(ParseCsvInteger("-128"), -128);
    EXPECT_EQ(ParseCsvInteger("-2147483648"), -2147483648LL);
    for (const char* bad : {"", "2147483648", "1.5", "1 2", "Bank", "0X10", "0x 1F", "- 5"})
        EXPECT_FALSE(ParseCsvInteger(bad)) << bad;
}

TEST(CsvFile, NumberFieldsMayFollowBlanksButNothingMayFollowThem)
{
    for (const char* good : {" 42", "   42", " 0x2A", "  $2a"})
        EXPECT_EQ(ParseCsvInteger(good), 42) << good;
    EXPECT_EQ(ParseCsvInteger("  -0x80"), -128);
    // A trailing blank, a tab, quotes or another control character anywhere.
    for (const std::string& bad : {std::string("42 "), std::string("\t42"), std::string("42\t"), std::string(" 4 2"),
                                   std::string("\"42\""), std::string("\x01" "42"), std::string("42\x1A"),
                                   std::string("42\0", 3), std::string("4\x1B" "2"), std::string("42\x7F"),
                                   std::string("\r42"), std::string("   ")})
        EXPECT_FALSE(ParseCsvInteger(bad)) << bad;
}

// --- Error map -----------------------------------------------------------------

TEST(ErrorMapCurve, UnwrapUndoesWrapsBetweenRawBytes)
{
    ErrorMapUnwrap unwrap;
    std::vector<int> curve;
    for (int raw : {100, 120, -120, -110, 127})
        curve.push_back(unwrap.Next(static_cast<int8_t>(raw)));
    EXPECT_EQ(curve, (std::vector<int>{100, 120, 136, 146, 127}));
}

std::vector<std::string> MapFile(std::vector<std::string> data)
{
    data.insert(data.begin(), {"Torvik Error Map;anything", "Point;Value"});
    return data;
}

TEST(ErrorMapFile, EveryLineErrorIsListedAndTheHeadersStopTheReading)
{
    const std::vector<std::string> lines = MapFile({"0x10;-128", "1;1.5", "511;127", "16;3"});
    std::vector<std::string> progress;
    ErrorMapFile file = ParseMap(lines, 8, [&](const std::string& t) { progress.push_back(t); });
    EXPECT_EQ(file.errorText, "Convert Error at line 4: 1;1.5\r\n");
    EXPECT_EQ(file.lineCount, 6u);
    EXPECT_FALSE(file.Complete(8));
    EXPECT_EQ(progress.front(), "Loading Line 1");
    EXPECT_EQ(progress.back(), "Loading Line 6");
    // The accepted lines, the later one for point 16 winning.
    EXPECT_EQ(file.pages[0][16], 3);
    EXPECT_EQ(file.pages[7][63], 127);

    // Four pages: point 300 lies in page 4, beyond the map.
    file = ParseMap(MapFile({"255;-1", "300;1"}), 4);
    EXPECT_EQ(file.errorText, "Bank number out of allowed range at line 4): 300;1");

    for (const auto& [first, second, error, count] :
         {std::tuple{"Torvik error map", "Point;Value", "Can't find \"Torvik Error Map\" on Line 1!", 1u},
          std::tuple{"Torvik Error Map", "Bank;Address;Value", "Can't find \"Point;Value\" on Line 2!", 2u}}) {
        file = ParseMap({first, second, "0;1", "1;2"}, 8);
        EXPECT_TRUE(file.headerError);
        EXPECT_EQ(file.errorText, error);
        EXPECT_EQ(file.lineCount, count);
    }
}

TEST(ErrorMapFile, ASavedMapLoadsBackToTheSameBytes)
{
    ErrorMapPages pages{};
    for (int p = 0; p < 512; ++p)
        pages[static_cast<size_t>(p / 64)][static_cast<size_t>(p % 64)] = static_cast<uint8_t>(p * 37 + 128);
    TEncoderSignature sig;
    sig.Zolvan_Serial = "T1234567";
    sig.Zolvan_PartNumber = "TV657-18B16-000";
    sig.SerialNumber = 0x12D687;
    sig.DeviceID = 0x545636353701;
    sig.ManufacturerID = 0x584B;
    const std::string path = TempFile("map.csv");
    ASSERT_EQ(WriteErrorMapFile(path, sig, pages, 8), "");

    const std::vector<std::string> lines = FileLines(path);
    ASSERT_EQ(lines.size(), 514u);
    EXPECT_EQ(lines[0], "Torvik Error Map;Serial: T1234567;Part: TV657-18B16-000;Serial#: 0x0012D687;"
                           "DeviID: 0x545636353701;ManufID: 0x4B58 = \"XK\"");
    EXPECT_EQ(lines[2], "0;-128");  // the stored signed byte, not a drawn value
    EXPECT_EQ(lines[3], "1;-91");
    const ErrorMapFile file = ParseMap(lines, 8);
    EXPECT_EQ(file.errorText, "");
    EXPECT_TRUE(file.Complete(8));
    EXPECT_EQ(file.pages, pages);

    EXPECT_EQ(WriteErrorMapFile("/nonexistent-k417/map.csv", sig, pages, 8),
              "Cannot create the file \"/nonexistent-k417/map.csv\": No such file or directory");
}

// --- Against the simulated encoder ------------------------------------------------

class MemoryTest : public ::testing::Test {
protected:
    void StartSim(SimOptions options = {})
    {
        options.speed = 0;
        sim = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        link.ComHandle = PosixSerialPort::Open(sim->PortPath(), &error);
        ASSERT_TRUE(link.ComHandle) << error;
        link.UserBankFirst = sim->EncoderInfo().userBankFirst;
        link.UserBankLast = sim->EncoderInfo().userBankLast;
    }
    std::vector<std::string> TakeLog() { return TakeCommands(*sim); }
    void Fault(void (*set)(SimFaults&))
    {
        SimFaults faults = sim->Faults();
        set(faults);
        sim->SetFaults(faults);
    }
    Pause Noting()
    {
        return [this](int ms) { pauses.push_back(ms); };
    }
    UserMemoryLoadOutcome Load(const std::vector<std::string>& lines, const ProgressText& progress = nullptr)
    {
        CsvLineReader in(Joined(lines));
        return LoadUserMemoryLines(link, UserBanksOf(link), in, progress, Noting());
    }

    std::unique_ptr<Simulator> sim;
    Link link;
    std::vector<int> pauses;
};

TEST_F(MemoryTest, UserMemoryLoadWritesEachRunOfLinesAsOneBankAndSavesOnce)
{
    StartSim();
    std::vector<std::string> progress;
    const UserMemoryLoadOutcome out =
        Load({"24;7;0x2A", "25;0;1", "25;63;255"}, [&](const std::string& t) { progress.push_back(t); });
    EXPECT_EQ(out.errorText, "");
    EXPECT_EQ(out.writtenBanks, "24, 25, ");
    EXPECT_TRUE(out.trafficOk);
    TBiSS_bank bank24{}, bank25{};
    bank24[7] = 42;
    bank25[0] = 1;
    bank25[63] = 255;
    EXPECT_EQ(TakeLog().back(), Ws(0x75, 0x49));
    EXPECT_EQ(pauses, std::vector<int>{500}); // after the save
    EXPECT_EQ(sim->StoredBankImage(24), bank24);
    EXPECT_EQ(sim->StoredBankImage(25), bank25);
    EXPECT_EQ(progress, (std::vector<std::string>{"Reading Line 1", "Reading Line 2", "Writing Bank  24",
                                                  "Reading Line 3", "Writing Bank  25"}));
}

TEST_F(MemoryTest, UserMemoryLoadListsBadLinesAndWritesNothingOutsideTheBank)
{
    StartSim();
    const UserMemoryLoadOutcome out = Load(
        {"Torvik user memory;Serial: x;Part: y;Serial#: 0x1;DeviID: 0x1;ManufID: z", "Bank;Address;Value", "24;64;1",
         "24;1;256", "280;1;1", "24;-1;1", "24;1,5;1", "23;1;1", "28;1;1", "24;2;0x1F", "\"24;3\";1",
         "24;  4; 9", "24;5;7\x1A", "24;\t6;1", "24;7 ;1", "24;8;\"1\""});
    EXPECT_EQ(out.errorText, "Ignoring data at line 1: Torvik user memory;Serial: x;Part: y;Serial#: 0x1;DeviID: "
                             "0x1;ManufID: z\r\n"
                             "Convert Error at line 2: Bank;Address;Value\r\n"
                             "Convert Error at line 3: 24;64;1\r\n"
                             "Convert Error at line 4: 24;1;256\r\n"
                             "Convert Error at line 5: 280;1;1\r\n"
                             "Convert Error at line 6: 24;-1;1\r\n"
                             "Convert Error at line 7: 24;1.5;1\r\n"
                             "Bank number out of allowed range at line 8): 23;1;1"
                             "Bank number out of allowed range at line 9): 28;1;1"
                             "Ignoring data at line 11: \"24;3\";1\r\n"
                             "Convert Error at line 13: 24;5;7\x1A\r\n"
                             "Convert Error at line 14: 24;\t6;1\r\n"
                             "Convert Error at line 15: 24;7 ;1\r\n"
                             "Convert Error at line 16: 24;8;\"1\"\r\n");
    EXPECT_EQ(out.writtenBanks, "24, ");
    TBiSS_bank expected{};
    expected[2] = 31;
    expected[4] = 9;
    EXPECT_EQ(sim->StoredBankImage(24), expected);
    EXPECT_EQ(sim->StoredBankImage(23), TBiSS_bank{});
}

TEST_F(MemoryTest, UserMemoryLoadStopsAtAFailedBankButRetriesItAndStillSaves)
{
    StartSim();
    Fault([](SimFaults& f) { f.refuseBank = 25; });
    const UserMemoryLoadOutcome out =
        Load({"24;0;1", "25;0;2", "26;0;3", "27;0;4"});
    EXPECT_EQ(out.errorText, "Bank 25 write error! Process terminated.\r\nBank 25 write error!\r\n");
    EXPECT_EQ(out.writtenBanks, "24, ");
    EXPECT_FALSE(out.trafficOk);
    EXPECT_EQ(out.statusText.rfind("Error\r\nNon-writable address or bank end", 0), 0u) << out.statusText;
    const std::vector<std::string> log = TakeLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), Ws(26, 0x40)), 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), Ws(25, 0x40)), 2);
    EXPECT_EQ(log.back(), Ws(0x75, 0x49));
    EXPECT_EQ(sim->StoredBankImage(24)[0], 1);

    // The save's own failures are listed too, and the command follows a failed key.
    Fault([](SimFaults& f) { f.answersLeft = 2; }); // the selection and the buffered write, then silence
    const UserMemoryLoadOutcome silent = Load({"24;0;9"});
    EXPECT_EQ(silent.errorText, "Save to flash: Error writing to KEY register\r\n"
                                "Save to flash: Error writing to CMD register\r\n");
    EXPECT_EQ(silent.writtenBanks, "24, ");
}

TEST_F(MemoryTest, UserMemorySaveStoppedByATimeOutLeavesTheEarlierFileAsItWas)
{
    StartSim();
    link.EncoderSignature.Zolvan_Serial = "T1234567";
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "k417_memory_save";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "user.csv").string();
    UserMemorySaveOutcome out = SaveUserMemoryFile(link, UserBanksOf(link), link.EncoderSignature, path, nullptr);
    EXPECT_TRUE(out.saved);
    const std::string good = FileContent(path);
    const std::vector<std::string> lines = FileLines(path);
    ASSERT_EQ(lines.size(), 2u + 4 * 64);
    EXPECT_EQ(lines[1], "Bank;Address;Value");
    EXPECT_EQ(lines[2], "24;0;117"); // "u" of the factory's "user memory"

    Fault([](SimFaults& f) { f.answersLeft = 3; }); // bank 24 read, bank 25 selected, then a time-out
    std::vector<std::string> progress;
    out = SaveUserMemoryFile(link, UserBanksOf(link), link.EncoderSignature, path,
                             [&](const std::string& t) { progress.push_back(t); });
    EXPECT_FALSE(out.saved);
    EXPECT_EQ(out.errorText, "Bank 25 read error! Process terminated.\r\nNothing was saved: the file is as it was.\r\n");
    EXPECT_EQ(out.statusText, "Error\r\nBiSS Timeout\r\nCMD: R64:000 RCV: 3:00:");
    EXPECT_EQ(out.fileError, "");
    EXPECT_EQ(progress, (std::vector<std::string>{"Reading Bank 24", "Reading Bank 25"}));
    EXPECT_EQ(FileContent(path), good);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);

    // A file that cannot be created costs no traffic.
    Fault([](SimFaults& f) { f.answersLeft = -1; });
    TakeLog();
    const UserMemorySaveOutcome refused =
        SaveUserMemoryFile(link, UserBanksOf(link), link.EncoderSignature, "/nonexistent-k417/user.csv", nullptr);
    EXPECT_EQ(refused.fileError, "Cannot create the file \"/nonexistent-k417/user.csv\": No such file or directory");
    EXPECT_FALSE(refused.saved);
    EXPECT_TRUE(TakeLog().empty());
    std::filesystem::remove_all(folder);
}

// A position recording of the "Test" page, rows as it writes them.
std::string PositionRecording(int rows)
{
    std::string text = "Time(ms);RX;MT;ST;Error;\r\n";
    for (int i = 0; i < rows; ++i)
        text += std::to_string(i) + ";0003A077B6400000;" + std::to_string(i % 7) + ";" + std::to_string(40000 + i) + ";0;\r\n";
    return text;
}

std::vector<std::string> ReportLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
}

TEST_F(MemoryTest, AWrongFileOfAnyLengthGivesAReportOfBoundedSize)
{
    StartSim();
    // 300,000 rows chosen by mistake as a user-memory file.
    const std::string path = TempFile("POSITION_T1234567.csv", PositionRecording(300000));
    CsvLineReader in;
    ASSERT_TRUE(in.Open(path));
    const UserMemoryLoadOutcome out = LoadUserMemoryLines(link, UserBanksOf(link), in, nullptr, Noting());
    std::vector<std::string> lines = ReportLines(out.errorText);
    ASSERT_EQ(lines.size(), LineErrorReport::kListed + 1);
    EXPECT_EQ(lines[0], "Ignoring data at line 1: Time(ms);RX;MT;ST;Error;");
    EXPECT_EQ(lines[49], "Ignoring data at line 50: 48;0003A077B6400000;6;40048;0;");
    EXPECT_EQ(lines[50], "\u2026 and 299951 more lines");
    EXPECT_LT(out.errorText.size(), 3000u);
    EXPECT_EQ(out.skippedLines.size(), LineErrorReport::kListed);
    EXPECT_EQ(out.writtenBanks, "");

    // The error map's loader: the same bound, and the count on a line of its
    // own after range messages, which end without a line break.
    std::string map = "Torvik Error Map;x\r\nPoint;Value\r\n";
    for (int i = 0; i < 60; ++i)
        map += "-5;1\r\n";
    map += PositionRecording(300000);
    CsvLineReader mapLines(map);
    const ErrorMapFile file = ParseErrorMapFile(mapLines, 8, nullptr);
    EXPECT_EQ(file.lineCount, 2u + 60 + 300001);
    lines = ReportLines(file.errorText);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Bank number out of allowed range at line 3): -5;1Bank number", 0), 0u);
    EXPECT_EQ(lines[1], "\u2026 and 300011 more lines");
    EXPECT_LT(file.errorText.size(), 3000u);
}

TEST_F(MemoryTest, AReportQuotesLinesAsUtf8AndCutsLongOnes)
{
    StartSim();
    const UserMemoryLoadOutcome out = Load({"24;1;\xB5", std::string(300, 'x')});
    EXPECT_EQ(out.errorText, "Convert Error at line 1: 24;1;\xC2\xB5\r\n"
                             "Ignoring data at line 2: " + std::string(200, 'x') + "\u2026\r\n");
}

class PowerThroughTheBox final : public PowerSwitch {
public:
    explicit PowerThroughTheBox(Link& link) : link_(link) {}
    bool IsOn() const override { return on_; }
    void Select(bool on) override
    {
        std::string reply;
        link_.Transact(on ? "N" : "F", reply);
        on_ = on;
    }

private:
    Link& link_;
    bool on_ = true;
};

TEST_F(MemoryTest, UserMemoryTestFindsABankChangedBehindItsBack)
{
    StartSim();
    PowerThroughTheBox power(link);
    std::vector<int> positions;
    UserMemoryTestHooks hooks;
    hooks.show = [&](int position, const std::string&) { positions.push_back(position); };
    hooks.block = Noting();
    // Another action writes 255, which no pattern holds, between two banks.
    hooks.serve = [&] {
        if (positions.size() == 1) {
            link.WriteRegister(0x40, 24);
            link.WriteRegister(5, 255);
        }
        return true;
    };
    const UserMemoryTestOutcome out = RunUserMemoryTest(link, power, UserBanksOf(link), 7, hooks);
    EXPECT_EQ(out.ending, UserMemoryTestOutcome::Ending::Failed);
    EXPECT_EQ(out.resultText.rfind("Error\r\nVerify failed\r\nBank: 24\r\nAddress: 5\r\nExpected ", 0), 0u) << out.resultText;
    EXPECT_EQ(out.resultText.substr(out.resultText.size() - 10), ", Read 255");
    EXPECT_EQ(out.statusText, out.resultText);
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, -1, -1}));
    EXPECT_EQ(pauses, (std::vector<int>{500, 1200, 200}));

    // Stopped from outside: no ending at all.
    hooks.serve = [] { return false; };
    EXPECT_EQ(RunUserMemoryTest(link, power, UserBanksOf(link), 7, hooks).ending, UserMemoryTestOutcome::Ending::Stopped);
}

TEST(UserMemoryRanges, OnlyARisingRangeOfAtMost255BanksIsTested)
{
    EXPECT_FALSE(UserMemoryTestRangeProblem({24, 27}));
    EXPECT_FALSE(UserMemoryTestRangeProblem({0, 254}));
    EXPECT_FALSE(UserMemoryTestRangeProblem({7, 7}));
    EXPECT_EQ(UserMemoryTestRangeProblem({30, 24}),
              "The datasheet declares the user banks 30 to 24: no range that can be tested. Nothing was written.");
    EXPECT_TRUE(UserMemoryTestRangeProblem({0, 255}));
    EXPECT_EQ(UserBankLimitsText({kBankNotRead, kBankNotRead}), "First user bank: 65535\r\nLast user bank:  65535");
    EXPECT_FALSE(UserBankRange({kBankNotRead, 27}).Contains(24));
}

// --- Bank browser -------------------------------------------------------------------

TEST(BankBrowser, KindsByNumberAndTheBankThatIsReallySelected)
{
    const std::vector<std::pair<int, std::string>> kinds = {{0, "Device Config"},         {15, "Device Config"},
                                                            {16, "Electronic Datasheet"}, {23, "Electronic Datasheet"},
                                                            {24, "User Memory"},          {87, "User Memory"},
                                                            {88, ""},                     {255, ""}};
    for (const auto& [bank, text] : kinds)
        EXPECT_EQ(BankKindText(static_cast<uint8_t>(bank)), text) << bank;

    Link link;
    FakeBox& box = AttachFakeBox(link);
    box.banks[0][1] = 0xAB;
    // An encoder that ignores the selection: register 0x40 stays 0.
    box.override = [](const std::string& c) -> std::optional<std::string> {
        if (c == Ws(20, 0x40))
            return "0\r";
        return std::nullopt;
    };
    BankReadOutcome out = ReadRegisterBank(link, 20);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.description, "0 Device Config");
    EXPECT_EQ((*out.rows)[1], (BankRow{"0x01", "0xAB", "171"}));
    EXPECT_EQ((*out.rows)[63][0], "0x3F");
    EXPECT_EQ(box.TakeLog(), (std::vector<std::string>{Ws(20, 0x40), "R01:064", "R64:000"}));

    // A failed bank read still names the bank; a failed selection names nothing.
    box.override = [](const std::string& c) -> std::optional<std::string> {
        return c == "R64:000" ? std::optional<std::string>("3:00:\r") : std::nullopt;
    };
    out = ReadRegisterBank(link, 100);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.description, "100 ");
    EXPECT_FALSE(out.rows);
    box.override = [](const std::string&) -> std::optional<std::string> { return "1\r"; };
    EXPECT_FALSE(ReadRegisterBank(link, 100).description);
}

// --- The simulator's options for these actions ------------------------------------

TEST(SimMemoryOptions, UserBanksAndTheFaultsOfWritesAndReads)
{
    SimCommandLine line;
    std::string error;
    ASSERT_TRUE(ParseSimCommandLine({"--user-banks", "4-5", "--refuse-write", "10.20", "--answers", "12"}, line, error))
        << error;
    EXPECT_EQ(line.options.userBankFirst, 4);
    EXPECT_EQ(line.options.userBankLast, 5);
    EXPECT_EQ(line.options.faults.refuseBank, 10);
    EXPECT_EQ(line.options.faults.refuseAddress, 20);
    EXPECT_EQ(line.options.faults.answersLeft, 12);
    ASSERT_TRUE(ParseSimCommandLine({"--refuse-write=25"}, line, error));
    EXPECT_EQ(line.options.faults.refuseAddress, -1);
    for (const char* bad : {"4", "4-256", "x-5"})
        EXPECT_FALSE(ParseSimCommandLine({"--user-banks", bad}, line, error)) << bad;
    // A fixed register (the command register 0x49) may be refused too; beyond 0x7F there is none.
    ASSERT_TRUE(ParseSimCommandLine({"--refuse-write", "0.0x49"}, line, error));
    EXPECT_EQ(line.options.faults.refuseAddress, 0x49);
    EXPECT_FALSE(ParseSimCommandLine({"--refuse-write", "10.128"}, line, error));

    // The declared range reaches the datasheet.
    Simulator sim(line.options);
    ASSERT_TRUE(sim.Start(&error)) << error;
    EXPECT_EQ(sim.BankImage(16)[2], 4);
    EXPECT_EQ(sim.BankImage(16)[3], 5);
}

} // namespace
