#include "util/Bits.h"
#include "util/LineFit.h"
#include "util/NumberText.h"
#include "util/Text.h"

#include <gtest/gtest.h>

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
