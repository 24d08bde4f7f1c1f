#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "config/NumberText.h"

namespace {

struct ScanCase {
    const char *text;
    double value;
    bool wholeText;
};

class ScanNumberTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanNumberTest, ReadsTheLeadingNumberAndWhetherItIsAllOfTheText) {
    const ScanCase &c = GetParam();
    const NumberScan scan = ScanNumber(QString::fromUtf8(c.text));
    EXPECT_DOUBLE_EQ(scan.value, c.value) << c.text;
    EXPECT_EQ(scan.wholeText, c.wholeText) << c.text;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Texts, ScanNumberTest,
    ::testing::Values(
        ScanCase{"", 0, false}, ScanCase{"   ", 0, false}, ScanCase{"abc", 0, false},
        ScanCase{"5555", 5555, true}, ScanCase{"  8080  ", 8080, true},
        ScanCase{"\t42\t", 42, true}, ScanCase{"2500ms", 2500, false}, ScanCase{"-1", -1, true},
        ScanCase{"+7", 7, true}, ScanCase{"-", 0, false}, ScanCase{"+", 0, false},
        ScanCase{".", 0, false}, ScanCase{".5", 0.5, true}, ScanCase{"5.", 5, true},
        ScanCase{"-.25", -0.25, true}, ScanCase{"8080.5", 8080.5, true},
        ScanCase{"1e3", 1000, true}, ScanCase{"1E+3", 1000, true}, ScanCase{"25e-1", 2.5, true},
        ScanCase{"1e", 1, false}, ScanCase{"1e+", 1, false}, ScanCase{"1ex", 1, false},
        ScanCase{"+.e3", 0, false}, ScanCase{"e3", 0, false}, ScanCase{"1 2", 1, false},
        ScanCase{"1,5", 1, false}, ScanCase{"0x10", 0, false}, ScanCase{"inf", 0, false},
        ScanCase{"nan", 0, false}, ScanCase{"\xef\xbc\x95", 0, false},
        ScanCase{"1e999", kInf, true}, ScanCase{"-1e999", -kInf, true},
        ScanCase{"0.0001e-999", 0, true}, ScanCase{"1e-999", 0, true},
        ScanCase{"0e99999999999999999999", 0, true}, ScanCase{"1e99999999999999999999", kInf, true},
        ScanCase{"00012", 12, true}, ScanCase{"10.0.0.7", 10.0, false}));

TEST(ScanNumber, HandlesVeryLongDigitRuns) {
    const QString digits(1 << 20, QLatin1Char('9'));
    EXPECT_EQ(ScanNumber(digits).value, kInf);
    const QString tiny =
        QStringLiteral("0.") + QString(1 << 20, QLatin1Char('0')) + QStringLiteral("1");
    const NumberScan scan = ScanNumber(tiny);
    EXPECT_EQ(scan.value, 0.0);
    EXPECT_TRUE(scan.wholeText);
}

TEST(RoundToInt32, RoundsHalvesToEvenAndClamps) {
    const struct {
        double in;
        qint32 out;
    } cases[] = {
        {2.5, 2},
        {3.5, 4},
        {-2.5, -2},
        {-3.5, -4},
        {0.5, 0},
        {1.5, 2},
        {2.4999, 2},
        {2.5001, 3},
        {-0.4, 0},
        {8080.5, 8080},
        {2147483647.0, 2147483647},
        {2147483647.4, 2147483647},
        {2147483647.5, 2147483647},
        {1e10, 2147483647},
        {-2147483648.0, -2147483647 - 1},
        {-2147483648.5, -2147483647 - 1},
        {-1e10, -2147483647 - 1},
        {kInf, 2147483647},
        {-kInf, -2147483647 - 1},
        {std::nan(""), 0},
    };
    for (const auto &c : cases) EXPECT_EQ(RoundToInt32(c.in), c.out) << c.in;
}

TEST(ShortestDecimal, WritesPlainDecimalsWithoutExponent) {
    EXPECT_EQ(ShortestDecimal(5), QStringLiteral("5"));
    EXPECT_EQ(ShortestDecimal(1.5), QStringLiteral("1.5"));
    EXPECT_EQ(ShortestDecimal(1e6), QStringLiteral("1000000"));
    EXPECT_EQ(ShortestDecimal(-3), QStringLiteral("-3"));
    EXPECT_EQ(ShortestDecimal(-0.0), QStringLiteral("0"));
    EXPECT_EQ(ShortestDecimal(0.1), QStringLiteral("0.1"));
}

TEST(TrimBlanks, RemovesOnlySpacesAtBothEnds) {
    EXPECT_EQ(TrimBlanks(QStringLiteral("  a b  ")), QStringLiteral("a b"));
    EXPECT_EQ(TrimBlanks(QStringLiteral("   ")), QString());
    EXPECT_EQ(TrimBlanks(QStringLiteral("\ta\t")), QStringLiteral("\ta\t"));
}

}  // namespace
