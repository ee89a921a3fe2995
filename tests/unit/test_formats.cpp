#include "core/base/Erreurs.h"
#include "core/base/Formats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// ---- Dates and times shown to the user

TEST(Formats, ShortDateLongTimeAndTheMidnightRule)
{
    EXPECT_EQ(formats::date(QDate(2013, 3, 5)), u"05/03/2013");
    EXPECT_EQ(formats::heure(QTime(6, 30, 0)), u"06:30:00");
    EXPECT_EQ(formats::heure(QTime(23, 59, 59, 999)), u"23:59:59");
    EXPECT_EQ(formats::dateHeure(QDateTime(QDate(2013, 3, 25), QTime(6, 30, 0))), u"25/03/2013 06:30:00");
    // Exactly midnight: the date alone.
    EXPECT_EQ(formats::dateHeure(QDateTime(QDate(2013, 3, 25), QTime(0, 0))), u"25/03/2013");
    EXPECT_EQ(formats::dateHeure(QDateTime(QDate(2013, 3, 25), QTime(0, 0, 1))), u"25/03/2013 00:00:01");
    EXPECT_EQ(formats::dateHeure(QDateTime(QDate(2013, 3, 25), QTime(12, 0))), u"25/03/2013 12:00:00");
}

// ---- Floating-point: general form, 15 significant digits, decimal comma

TEST(Formats, NumbersInFixedForm)
{
    EXPECT_EQ(formats::nombre(0.0), u"0");
    EXPECT_EQ(formats::nombre(-0.0), u"0");
    EXPECT_EQ(formats::nombre(12.5), u"12,5");
    EXPECT_EQ(formats::nombre(-2.5), u"-2,5");
    EXPECT_EQ(formats::nombre(42.0), u"42");
    EXPECT_EQ(formats::nombre(100.0), u"100");
    EXPECT_EQ(formats::nombre(0.001), u"0,001");
    EXPECT_EQ(formats::nombre(0.00001), u"0,00001"); // smallest value still in fixed form
    EXPECT_EQ(formats::nombre(0.0000123), u"0,0000123");
    EXPECT_EQ(formats::nombre(0.1 + 0.2), u"0,3");     // rounded to 15 digits
    EXPECT_EQ(formats::nombre(1.0 / 3.0), u"0,333333333333333");
    EXPECT_EQ(formats::nombre(2.0 / 3.0), u"0,666666666666667");
    EXPECT_EQ(formats::nombre(9.9999999999999999), u"10"); // rounding carries into a new digit
    EXPECT_EQ(formats::nombre(999999999999999.0), u"999999999999999");
    EXPECT_EQ(formats::nombre(123456.789), u"123456,789"); // no thousands separator
}

TEST(Formats, NumbersInScientificForm)
{
    EXPECT_EQ(formats::nombre(1.5e-7), u"1,5E-7");
    EXPECT_EQ(formats::nombre(-1.5e-7), u"-1,5E-7");
    EXPECT_EQ(formats::nombre(0.000001), u"1E-6");
    EXPECT_EQ(formats::nombre(1e20), u"1E20");
    EXPECT_EQ(formats::nombre(1e15), u"1E15"); // sixteen digits before the comma
    EXPECT_EQ(formats::nombre(123456789012345678.0), u"1,23456789012346E17");
    EXPECT_EQ(formats::nombre(1e100), u"1E100");
    EXPECT_EQ(formats::nombre(std::numeric_limits<double>::denorm_min()), u"4,94065645841247E-324");
    EXPECT_EQ(formats::nombre(std::numeric_limits<double>::max()), u"1,79769313486232E308");
}

TEST(Formats, NumbersThatAreNotFinite)
{
    EXPECT_EQ(formats::nombre(std::nan("")), u"NAN");
    EXPECT_EQ(formats::nombre(std::numeric_limits<double>::infinity()), u"INF");
    EXPECT_EQ(formats::nombre(-std::numeric_limits<double>::infinity()), u"-INF");
}

// ---- Lenient reading of dates

const QDate aujourdhui(2024, 5, 1);

QDateTime lire(const char *texte, QDate jour = aujourdhui)
{
    return formats::lireDateHeure(QString::fromUtf8(texte), jour);
}

TEST(Formats, ReadsDatesWithOrWithoutTime)
{
    EXPECT_EQ(lire("25/03/2013 06:30:00"), QDateTime(QDate(2013, 3, 25), QTime(6, 30, 0)));
    EXPECT_EQ(lire("25/03/2013"), QDateTime(QDate(2013, 3, 25), QTime(0, 0)));
    EXPECT_EQ(lire("5/3/2013 6:30"), QDateTime(QDate(2013, 3, 5), QTime(6, 30, 0)));
    EXPECT_EQ(lire("  05/03/2013   6:05:09 "), QDateTime(QDate(2013, 3, 5), QTime(6, 5, 9)));
    EXPECT_EQ(lire("29/02/2012"), QDateTime(QDate(2012, 2, 29), QTime(0, 0)));
    // What the display writes reads back.
    const QDateTime dt(QDate(2013, 12, 31), QTime(23, 59, 59));
    EXPECT_EQ(formats::lireDateHeure(formats::dateHeure(dt), aujourdhui), dt);
}

TEST(Formats, TwoDigitYearsFallInAFiftyYearWindow)
{
    // In 2024: 1974 to 2073.
    EXPECT_EQ(lire("1/1/74").date(), QDate(1974, 1, 1));
    EXPECT_EQ(lire("1/1/73").date(), QDate(2073, 1, 1));
    EXPECT_EQ(lire("1/1/24").date(), QDate(2024, 1, 1));
    EXPECT_EQ(lire("1/1/00").date(), QDate(2000, 1, 1));
    EXPECT_EQ(lire("1/1/99").date(), QDate(1999, 1, 1));
    // Across a century: in 2049, 1999 to 2098.
    EXPECT_EQ(lire("1/1/99", QDate(2049, 6, 1)).date(), QDate(1999, 1, 1));
    EXPECT_EQ(lire("1/1/98", QDate(2049, 6, 1)).date(), QDate(2098, 1, 1));
    EXPECT_EQ(lire("1/1/50", QDate(2000, 1, 1)).date(), QDate(1950, 1, 1));
    EXPECT_EQ(lire("1/1/49", QDate(2000, 1, 1)).date(), QDate(2049, 1, 1));
}

TEST(Formats, TextsThatAreNotDatesAreRefused)
{
    for (const char *texte : {"", "abc", "25-03-2013", "25/03", "25/03/201", "25/03/20133", "32/01/2013",
                              "29/02/2013", "00/01/2013", "25/13/2013", "25/03/2013 25:00", "25/03/2013 10:60",
                              "25/03/2013 10:00:60", "25/03/2013 6", "25/03/2013x", "25/03/2013 06:30:00 x"}) {
        try {
            lire(texte);
            ADD_FAILURE() << texte;
        } catch (const HalvenorError &e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(texte))) << texte;
        }
    }
}

} // namespace
