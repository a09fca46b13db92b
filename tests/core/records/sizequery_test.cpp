#include "core/records/sizequery.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kestrune;

TEST(NumericValue, ReadsTheLongestLeadingNumberIgnoringBlanks)
{
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("2")), 2);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("1.5k")), 1.5);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("abc")), 0);
    EXPECT_DOUBLE_EQ(numericValue(QString()), 0);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral(" 2 5 ")), 25);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("\t3\n1")), 31);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("-1.25")), -1.25);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("+4")), 4);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("-.5")), -0.5);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("7.")), 7);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("1.2.3")), 1.2);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("1e3")), 1000);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("2E-1x")), 0.2);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("1e")), 1);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("+-1")), 0);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("1,5")), 1);  // a comma is no decimal separator
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("\r2")), 0);   // only blanks, tabs and line feeds go
    EXPECT_TRUE(std::isinf(numericValue(QStringLiteral("1e999"))));
}

TEST(SizeQuery, UnitFactorsFollowTheListOrder)
{
    EXPECT_DOUBLE_EQ(unitFactor(0), 1048576);
    EXPECT_DOUBLE_EQ(unitFactor(1), 1024);
    EXPECT_DOUBLE_EQ(unitFactor(2), 1);
}

TEST(SizeQuery, BoundsAreWrittenInPlainDecimalWithASignPlace)
{
    EXPECT_EQ(formatBound(1048576), " 1048576");
    EXPECT_EQ(formatBound(-1048576), "-1048576");
    EXPECT_EQ(formatBound(0), " 0");
    EXPECT_EQ(formatBound(-0.0), " 0");
    EXPECT_EQ(formatBound(1228.8), " 1228.8");
    EXPECT_EQ(formatBound(0.1), " 0.1");
    EXPECT_EQ(formatBound(-0.25), "-0.25");
    EXPECT_EQ(formatBound(1e20), " 100000000000000000000");
    EXPECT_EQ(formatBound(123456789012345678.0), " 123456789012346000");
    EXPECT_EQ(formatBound(1.0 / 3.0), " 0.333333333333333");
    EXPECT_EQ(formatBound(0.000015), " 0.000015");
}

TEST(SizeQuery, CriteriaTextForUnitsAndTolerances)
{
    const auto criteria = [](const char* size, const char* tolerance, int unit) {
        return sizeRange(QString::fromUtf8(size), QString::fromUtf8(tolerance), unit).criteria();
    };
    EXPECT_EQ(criteria("2", "1", 0), "filesize between  1048576 and  3145728");
    EXPECT_EQ(criteria("2", "1", 1), "filesize between  1024 and  3072");
    EXPECT_EQ(criteria("2", "1", 2), "filesize between  1 and  3");
    EXPECT_EQ(criteria("1", "2", 0), "filesize between -1048576 and  3145728");
    EXPECT_EQ(criteria("1.5", "0.3", 1), "filesize between  1228.8 and  1843.2");
    EXPECT_EQ(criteria("1.5k", "0", 1), "filesize between  1536 and  1536");
    EXPECT_EQ(criteria("abc", "1", 2), "filesize between -1 and  1");
    EXPECT_EQ(criteria("abc", "abc", 0), "filesize between  0 and  0");
    EXPECT_EQ(criteria("0.5", "0.25", 2), "filesize between  0.25 and  0.75");

    const SizeRange r = sizeRange(QStringLiteral("2"), QStringLiteral("1"), 0);
    EXPECT_TRUE(r.valid());
    EXPECT_DOUBLE_EQ(r.lower, 1048576);
    EXPECT_DOUBLE_EQ(r.upper, 3145728);
    EXPECT_FALSE(sizeRange(QStringLiteral("1e308"), QStringLiteral("1"), 0).valid());
}
