#include "FileSizeLimit.h"
#include "util/AtomicFile.h"
#include "util/Bits.h"
#include "util/LineFit.h"
#include "util/NumberText.h"
#include "util/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

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
    // Every count, whole bytes or not, against a bit-by-bit reading; beyond
    // 64 the leading bits are zeros.
    for (const uint64_t value : {0x8000000000000001ull, 0x0123456789ABCDEFull, 0xFEDCBA9876543210ull}) {
        std::string reused(3, 'x');
        for (int count = 1; count <= 72; ++count) {
            std::string expected;
            for (int bit = count - 1; bit >= 0; --bit)
                expected += bit < 64 && ((value >> bit) & 1u) ? '1' : '0';
            EXPECT_EQ(FormatBits(count, value), expected) << count;
            FormatBitsInto(count, value, reused);
            EXPECT_EQ(reused, expected) << count;
        }
    }
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

namespace {
using Wide = unsigned __int128;

std::string DigitsText(const SignificantDigits& d)
{
    return std::string(d.digits, sizeof d.digits) + "e" + std::to_string(d.exponent);
}

// The digits (and, when asked, the texts) worked out without printf are the
// ones printf gives.
::testing::AssertionResult SameAsPrintf(long double value, bool texts = false)
{
    const SignificantDigits fast = SignificantDigitsOf(value);
    const SignificantDigits slow = SignificantDigitsByPrintf(value);
    auto shown = [&] {
        char text[64];
        std::snprintf(text, sizeof text, "%La (%.25Lg)", value, value);
        return std::string(text);
    };
    if (std::memcmp(fast.digits, slow.digits, sizeof fast.digits) != 0 || fast.exponent != slow.exponent)
        return ::testing::AssertionFailure() << shown() << ": " << DigitsText(fast) << " instead of " << DigitsText(slow);
    if (texts) {
        static const int kForms[][2] = {{18, 18}, {4, 2}, {7, 3}, {1, 0}, {8, 3}, {9, 4}};
        for (const auto& form : kForms) {
            const std::string text = FormatNumberText(value, form[0], form[1]);
            const std::string expected = FormatNumberText(value, form[0], form[1], slow);
            if (text != expected)
                return ::testing::AssertionFailure() << shown() << " as (" << form[0] << ", " << form[1] << "): " << text
                                                     << " instead of " << expected;
        }
    }
    return ::testing::AssertionSuccess();
}

template <typename T, typename Bits>
T FromBits(Bits bits)
{
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
} // namespace

TEST_F(NumberTextTest, DigitsAgreeWithPrintfForRandomFloatsDoublesAndLongDoubles)
{
    std::mt19937_64 rng(417);
    for (int i = 0; i < 800'000; ++i) {
        const float value = FromBits<float>(static_cast<uint32_t>(rng()));
        if (std::isfinite(value)) {
            ASSERT_TRUE(SameAsPrintf(value, i % 16 == 0));
        }
    }
    std::uniform_real_distribution<float> angle(0.0f, 360.0f);
    for (int i = 0; i < 1'000'000; ++i)
        ASSERT_TRUE(SameAsPrintf(angle(rng), i % 16 == 0));
    std::uniform_real_distribution<float> wide(-1e6f, 1e6f);
    for (int i = 0; i < 400'000; ++i)
        ASSERT_TRUE(SameAsPrintf(wide(rng), i % 16 == 0));
    for (int i = 0; i < 100'000; ++i) {
        // Every exponent, and short mantissas that take the integer path.
        const double any = FromBits<double>(rng());
        if (std::isfinite(any)) {
            ASSERT_TRUE(SameAsPrintf(any, i % 16 == 0));
        }
        const uint64_t shortMantissa = rng() >> (11 + rng() % 53);
        ASSERT_TRUE(SameAsPrintf(std::ldexp(static_cast<double>(shortMantissa), static_cast<int>(rng() % 160) - 80), i % 16 == 0));
    }
    for (int i = 0; i < 100'000; ++i) {
        const uint64_t mantissa = rng() | (1ULL << 63);
        if (i % 8 == 0) {
            const int anyExponent = static_cast<int>(rng() % 32'700) - 16'400;
            ASSERT_TRUE(SameAsPrintf(std::ldexp(static_cast<long double>(mantissa), anyExponent)));
        }
        ASSERT_TRUE(SameAsPrintf(std::ldexp(static_cast<long double>(mantissa), static_cast<int>(rng() % 160) - 96), i % 16 == 0));
    }
}

TEST_F(NumberTextTest, DigitsOfExactHalvesRoundToEven)
{
    // m * 2^-k = m * 5^k * 10^-k: with m odd and m * 5^k of 22 digits the last
    // digit is a 5 right after the 21 kept ones, an exact half.
    std::mt19937_64 rng(5);
    const Wide low = Wide(1'000'000'000'000'000'000ULL) * 1000, high = low * 10;
    int upToEven = 0, downToEven = 0;
    Wide power = 1;
    for (int k = 1; k <= 30; ++k) {
        power *= 5;
        const Wide first = (low + power - 1) / power, last = std::min<Wide>(high / power, ~0ULL);
        if (first + 2 > last)
            continue;
        for (int i = 0; i < 300; ++i) {
            uint64_t m = static_cast<uint64_t>(first + rng() % static_cast<uint64_t>(last - first)) | 1;
            if (m > last)
                m -= 2;
            const long double value = std::ldexp(static_cast<long double>(m), -k);
            ASSERT_TRUE(SameAsPrintf(value, true));
            ASSERT_TRUE(SameAsPrintf(std::nextafter(value, 0.0L), true));
            ASSERT_TRUE(SameAsPrintf(std::nextafter(value, 1e30L), true));
            const int lastKept = (static_cast<int>((m * power / 10) % 10));
            (lastKept % 2 ? upToEven : downToEven)++;
        }
    }
    EXPECT_GT(upToEven, 1000);
    EXPECT_GT(downToEven, 1000);
    // 2^-3 * 8000000000000000001 = 1000000000000000000.125: the kept 21st digit 2 stays.
    EXPECT_EQ(DigitsText(SignificantDigitsOf(std::ldexp(8'000'000'000'000'000'001.0L, -3))), "100000000000000000012e18");
    EXPECT_EQ(DigitsText(SignificantDigitsOf(std::ldexp(8'000'000'000'000'000'003.0L, -3))), "100000000000000000038e18");
}

TEST_F(NumberTextTest, DigitsAgreeWithPrintfAtTheEdges)
{
    std::vector<long double> values = {0.0L,
                                       -0.0L,
                                       std::numeric_limits<float>::denorm_min(),
                                       std::numeric_limits<float>::min(),
                                       std::numeric_limits<float>::max(),
                                       std::numeric_limits<double>::denorm_min(),
                                       std::numeric_limits<double>::min(),
                                       std::numeric_limits<double>::max(),
                                       std::numeric_limits<long double>::denorm_min(),
                                       std::numeric_limits<long double>::min(),
                                       std::numeric_limits<long double>::max(),
                                       std::ldexp(static_cast<long double>(~0ULL), 64), // the largest integer path value
                                       std::ldexp(static_cast<long double>(~0ULL), 65),
                                       0.9999999f,
                                       9999999.0f,
                                       359.99997f,
                                       0.5L,
                                       0.05L,
                                       0.0005f};
    for (int e = -40; e <= 40; ++e) {
        // Powers of ten and their neighbours, the 9.99.. that carry.
        const long double ten = std::strtold(("1e" + std::to_string(e)).c_str(), nullptr);
        for (const long double v : {ten, std::nextafter(ten, 0.0L), std::nextafter(ten, 1e100L)})
            values.insert(values.end(), {v, static_cast<double>(v), static_cast<float>(v), std::nextafter(static_cast<float>(v), 0.0f)});
    }
    for (int b = -150; b <= 130; ++b) {
        // Powers of two and the values a half unit either side of them.
        const long double two = std::ldexp(1.0L, b);
        values.insert(values.end(), {two, two * (1 - 0x1p-25L), two * (1 + 0x1p-24L), two * (1 - 0x1p-54L), two * (1 - 0x1p-65L)});
    }
    for (int i = 1; i < 2000; ++i)
        values.push_back(FromBits<float>(static_cast<uint32_t>(i * 4099)));
    for (const long double v : values) {
        ASSERT_TRUE(SameAsPrintf(v, true));
        ASSERT_TRUE(SameAsPrintf(-v, true));
    }
    EXPECT_EQ(DigitsText(SignificantDigitsOf(0.0L)), std::string(21, '0') + "e0");
    EXPECT_EQ(FormatNumberText(-0.0L, 7, 3), "0.000");
    EXPECT_EQ(FormatNumberText(0.9999999f, 7, 3), "1.000");
    EXPECT_EQ(FormatNumberText(9999999.0f, 4, 2), "1E07");
}

TEST_F(NumberTextTest, TextsOfHalvesAtTheLastShownDigitAgreeWithPrintf)
{
    // j / 2^k ends in an exact 5 at its last decimal, which the texts round away from zero.
    std::mt19937_64 rng(11);
    for (int i = 0; i < 20'000; ++i) {
        const long double value = std::ldexp(static_cast<long double>(rng() % (1U << 20)), -static_cast<int>(1 + rng() % 12));
        ASSERT_TRUE(SameAsPrintf(value, true));
        ASSERT_TRUE(SameAsPrintf(-value, true));
    }
    EXPECT_EQ(FormatNumberText(0.125L, 4, 2), "0.13");
    EXPECT_EQ(FormatNumberText(-0.375L, 7, 2), "-0.38");
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
