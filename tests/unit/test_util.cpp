#include "FileSizeLimit.h"
#include "util/AtomicFile.h"
#include "util/Bits.h"
#include "util/LineFit.h"
#include "util/NumberText.h"
#include "util/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

TEST(Text, CleanIdTextTrimsControlAndDropsInnerBlanks)
{
    EXPECT_EQ(CleanIdText("  AB 12 "), "AB12");
    EXPECT_EQ(CleanIdText(std::string("TV641\0\0\0", 8)), "TV641");
    EXPECT_EQ(CleanIdText("A\x01" "B"), "A\x01" "B");
    EXPECT_EQ(CleanIdText(std::string(8, '\0')), "");
}

TEST(Text, SplitFieldsHonoursQuotesBlanksAndLengthLimit)
{
    std::vector<std::string> f;
    SplitFields("1;2;3", ';', f);
    EXPECT_EQ(f, (std::vector<std::string>{"1", "2", "3"}));
    SplitFields("a;b;", ';', f);
    EXPECT_EQ(f, (std::vector<std::string>{"a", "b", ""}));
    SplitFields("  a  b ", ' ', f);
    EXPECT_EQ(f, (std::vector<std::string>{"a", "b", ""}));
    SplitFields("", ';', f);
    EXPECT_EQ(f, (std::vector<std::string>{""}));
    SplitFields("\"x;y\";z", ';', f);
    EXPECT_EQ(f, (std::vector<std::string>{"\"x;y\"", "z"}));
    SplitFields(std::string(300, 'q') + ";r", ';', f);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].size(), 255u);
}

TEST(Text, HexPrefixAndCommaRewrites)
{
    std::string a = "0x40", b = " 0x40", c = "0X40", d = "1,5,6";
    HexPrefixToDollar(a);
    HexPrefixToDollar(b);
    HexPrefixToDollar(c);
    CommaToPoint(d);
    EXPECT_EQ(a, "$40");
    EXPECT_EQ(b, " $40");
    EXPECT_EQ(c, "0X40");
    EXPECT_EQ(d, "1.5.6");
}

TEST(Text, ParseIntegerAcceptsDecimalAndDollarHexOnly)
{
    long long v = 0;
    EXPECT_TRUE(ParseInteger(" 42 ", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(ParseInteger("$1F", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(ParseInteger("-7", v));
    EXPECT_EQ(v, -7);
    EXPECT_FALSE(ParseInteger("", v));
    EXPECT_FALSE(ParseInteger("12a", v));
    EXPECT_FALSE(ParseInteger("0x10", v));
    EXPECT_FALSE(ParseInteger("99999999999999999999", v));
}

TEST(Bits, FormatBitsAndCrc6Table)
{
    EXPECT_EQ(FormatBits(16, 5), "0000000000000101");
    EXPECT_EQ(FormatBits(4, 0x1F), "1111");
    EXPECT_EQ(FormatBits(0, 7), "");
    EXPECT_EQ(FormatBits(-3, 7), "");
    EXPECT_EQ(FormatBits(64, ~0ull), std::string(64, '1'));
    const uint8_t head[] = {0, 3, 6, 5, 12, 15, 10, 9, 24, 27};
    for (size_t i = 0; i < sizeof head; ++i)
        EXPECT_EQ(Crc6Table[i], head[i]) << i;
    EXPECT_EQ(Crc6Table[60], 7);
    EXPECT_EQ(Crc6Table[63], 2);
    EXPECT_EQ(Crc6(6, 0x123AAF37), 0x35);
}

class NumberTextTest : public ::testing::Test {
protected:
    void SetUp() override { SetNumberSeparators({".", ","}); }
    void TearDown() override { SetNumberSeparators({".", ","}); }
};

TEST_F(NumberTextTest, FixedFormRoundsAndGroups)
{
    EXPECT_EQ(FormatNumberText(1000.0L / 8, 4, 2), "125.00");
    EXPECT_EQ(FormatNumberText(1000.0L / 3, 4, 2), "333.30");
    EXPECT_EQ(FormatNumberText(2.5L, 4, 2), "2.50");
    EXPECT_EQ(FormatNumberText(1234567.891L, 8, 1), "1,234,567.9");
    EXPECT_EQ(FormatNumberText(-1234.5L, 8, 0), "-1,235");
    EXPECT_EQ(FormatNumberText(2.5L, 4, 0), "3");
    EXPECT_EQ(FormatNumberText(0.25L, 8, 3), "0.250");
    EXPECT_EQ(FormatNumberText(0, 4, 2), "0.00");
    EXPECT_EQ(FormatNumberText(0.004L, 4, 2), "0.00");
    EXPECT_EQ(FormatNumberText(-0.004L, 4, 2), "0.00");
    EXPECT_EQ(FormatNumberText(0.006L, 4, 2), "0.01");
    EXPECT_EQ(FormatNumberText(9999.6L, 4, 0), "1E4");
    EXPECT_EQ(FormatNumberText(999.96L, 4, 1), "1,000.0");
}

TEST_F(NumberTextTest, ExponentFormWhenIntegerDigitsExceedPrecision)
{
    EXPECT_EQ(FormatNumberText(12345, 4, 0), "1.235E4");
    EXPECT_EQ(FormatNumberText(123456789, 8, 3), "1.2345679E008");
    EXPECT_EQ(FormatNumberText(-120000, 4, 2), "-1.2E05");
    EXPECT_EQ(FormatNumberText(100000, 4, 5), "1E5");
}

TEST_F(NumberTextTest, SeparatorSwitchAppliesToLaterTexts)
{
    SetNumberSeparators({",", "."});
    EXPECT_EQ(FormatNumberText(1234.5L, 8, 2), "1.234,50");
    UsePointAsDecimalSeparator();
    EXPECT_EQ(CurrentNumberSeparators().decimal, ".");
    EXPECT_EQ(FormatNumberText(1234.5L, 8, 2), "1,234.50");
}

TEST(LineFit, FitsSlopeInterceptAndCorrelation)
{
    TRealPointArray pts;
    for (int i = 0; i < 10; ++i)
        pts.push_back({static_cast<long double>(i), 2.0L * i + 1});
    long double a = 0, b = 0, r = 0;
    FitLine(pts, a, b, r);
    EXPECT_NEAR(static_cast<double>(a), 2.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(b), 1.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(r), 1.0, 1e-12);

    TRealPointArray flat = {{1, 5}, {2, 5}, {3, 5}};
    r = 42;
    FitLine(flat, a, b, r);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(r, 42);
    FitLine({}, a, b, r);
    EXPECT_EQ(a, 0);
}

// --- Files written whole -----------------------------------------------------------

namespace {
struct Folder {
    std::filesystem::path path = std::filesystem::temp_directory_path() / ("k417_atomic_" + std::to_string(::getpid()));
    Folder()
    {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string File(const char* name) const { return (path / name).string(); }
    // The names in the folder: a temporary file left behind shows here.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

std::string Content(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
} // namespace

TEST(AtomicFile, ReplacesTheFileOnlyOnCommitAndKeepsItsModeAndLinks)
{
    Folder folder;
    const std::string map = folder.File("map.csv");
    std::ofstream(map) << "the good map";
    std::filesystem::permissions(map, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                          std::filesystem::perms::group_read);
    {
        AtomicFile file;
        ASSERT_TRUE(file.Open(map)) << file.ErrorText();
        EXPECT_TRUE(file.Write("half of a new"));
        EXPECT_EQ(Content(map), "the good map"); // nothing shows before the commit
    } // ended without a commit
    EXPECT_EQ(Content(map), "the good map");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"map.csv"});

    AtomicFile file;
    ASSERT_TRUE(file.Open(map));
    EXPECT_TRUE(file.Write("a new "));
    EXPECT_TRUE(file.Write("map"));
    EXPECT_TRUE(file.Commit());
    EXPECT_EQ(Content(map), "a new map");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"map.csv"});
    EXPECT_EQ(std::filesystem::status(map).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read);

    // A link keeps pointing where it did; the file it names is the one replaced.
    const std::string link = folder.File("latest.csv");
    std::filesystem::create_symlink(map, link);
    EXPECT_EQ(WriteWholeFile(link, "through the link"), "");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Content(map), "through the link");
    // Not a regular file: written as it is.
    EXPECT_EQ(WriteWholeFile("/dev/null", "x"), "");
    EXPECT_EQ(WriteWholeFile(folder.File("none/map.csv"), "x"),
              "Cannot create the file \"" + folder.File("none/map.csv") + "\": No such file or directory");
}

TEST(AtomicFile, AFailedWriteLeavesTheEarlierFileAndNoTemporaryOne)
{
    Folder folder;
    const std::string map = folder.File("map.csv");
    std::ofstream(map) << "the good map";
    {
        FileSizeLimit full(100);
        EXPECT_EQ(WriteWholeFile(map, std::string(1000, 'x')),
                  "Cannot write the file \"" + map + "\": " + std::strerror(EFBIG));
    }
    EXPECT_EQ(Content(map), "the good map");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"map.csv"});
}
