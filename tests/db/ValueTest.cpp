#include <gtest/gtest.h>

#include "db/DateTime.h"
#include "db/Errors.h"
#include "db/Value.h"

namespace fas::db {
namespace {

TEST(ValueReadForms, NullIsAnErrorStrictlyEmptyWhenJoinedFalseAsCondition) {
    const Value null;
    EXPECT_THROW(null.asText(), ConversionError);
    EXPECT_THROW(null.asInt16(), ConversionError);
    EXPECT_THROW(null.asBool(), ConversionError);
    EXPECT_THROW(null.asDateTime(), ConversionError);
    EXPECT_EQ(null.joined(), "");
    EXPECT_FALSE(null.isTrue());
}

TEST(ValueReadForms, NumbersConvertWithinTheirRangeOnly) {
    EXPECT_EQ(Value(32767).asInt16(), 32767);
    EXPECT_EQ(Value(-32768).asInt16(), -32768);
    EXPECT_THROW(Value(32768).asInt16(), ConversionError);
    EXPECT_THROW(Value(-32769).asInt16(), ConversionError);
    EXPECT_THROW(Value(40000LL).asInt16(), ConversionError);
    EXPECT_EQ(Value(2147483647LL).asInt32(), 2147483647);
    EXPECT_THROW(Value(2147483648LL).asInt32(), ConversionError);
    EXPECT_EQ(Value("  42 ").asInt16(), 42);
    EXPECT_EQ(Value(2.5).asInt16(), 2);  // halves go to even
    EXPECT_EQ(Value(3.5).asInt16(), 4);
    EXPECT_THROW(Value("12abc").asInt32(), ConversionError);
    EXPECT_THROW(Value("").asInt32(), ConversionError);
    EXPECT_THROW(Value(DateTime::fromDate(2027, 3, 15)).asInt32(), ConversionError);
}

TEST(ValueReadForms, FlagsReadInEveryStoredForm) {
    EXPECT_TRUE(Value(1).asBool());
    EXPECT_TRUE(Value(-1).asBool());
    EXPECT_FALSE(Value(0).asBool());
    EXPECT_TRUE(Value("True").asBool());
    EXPECT_TRUE(Value("true").asBool());
    EXPECT_FALSE(Value("False").asBool());
    EXPECT_TRUE(Value("1").asBool());
    EXPECT_FALSE(Value("0").asBool());
    EXPECT_TRUE(Value("-1").isTrue());
    EXPECT_THROW(Value("yes please").asBool(), ConversionError);
}

TEST(ValueReadForms, TextOfEachKind) {
    EXPECT_EQ(Value(587).asText(), "587");
    EXPECT_EQ(Value(5.0).asText(), "5");
    EXPECT_EQ(Value(2.25).asText(), "2.25");
    EXPECT_EQ(Value("O'Brien").asText(), "O'Brien");
    EXPECT_EQ(Value(DateTime{2026, 12, 4, 18, 48, 34}).asText(), "12/4/2026 6:48:34 PM");
}

TEST(ValueReadForms, DatesFromStoredText) {
    EXPECT_EQ(Value("2027-03-15").asDateTime(), DateTime::fromDate(2027, 3, 15));
    EXPECT_EQ(Value("2027-03-15 10:30:00").asDateTime(), (DateTime{2027, 3, 15, 10, 30, 0}));
    EXPECT_EQ(Value("2027-03-15T10:30:00.250").asDateTime(), (DateTime{2027, 3, 15, 10, 30, 0}));
    EXPECT_EQ(Value("12/4/2026 6:48:34 PM").asDateTime(), (DateTime{2026, 12, 4, 18, 48, 34}));
    EXPECT_EQ(Value("3/15/2027").asDateTime(), DateTime::fromDate(2027, 3, 15));
    EXPECT_THROW(Value("2027-02-30").asDateTime(), ConversionError);
    EXPECT_THROW(Value("next Tuesday").asDateTime(), ConversionError);
    EXPECT_THROW(Value(20270315).asDateTime(), ConversionError);
}

TEST(DateText, UsGeneralDateWithTheDateAloneAtMidnight) {
    EXPECT_EQ(dateText(DateTime::fromDate(2027, 3, 15)), "3/15/2027");
    EXPECT_EQ(dateText(DateTime{2026, 12, 4, 18, 48, 34}), "12/4/2026 6:48:34 PM");
    EXPECT_EQ(dateText(DateTime{2026, 12, 4, 0, 0, 1}), "12/4/2026 12:00:01 AM");
    EXPECT_EQ(dateText(DateTime{2026, 12, 4, 12, 5, 0}), "12/4/2026 12:05:00 PM");
    EXPECT_EQ(dateText(DateTime{2026, 1, 9, 9, 7, 3}), "1/9/2026 9:07:03 AM");
}

TEST(DateTimeArithmetic, DaysCrossMonthsYearsAndLeapDays) {
    EXPECT_EQ(DateTime::fromDate(2028, 2, 28).addDays(1), DateTime::fromDate(2028, 2, 29));
    EXPECT_EQ(DateTime::fromDate(2027, 2, 28).addDays(1), DateTime::fromDate(2027, 3, 1));
    EXPECT_EQ(DateTime::fromDate(2026, 12, 31).addDays(1), DateTime::fromDate(2027, 1, 1));
    EXPECT_EQ(DateTime::fromDate(2027, 1, 1).addDays(-1), DateTime::fromDate(2026, 12, 31));
    EXPECT_EQ((DateTime{2026, 12, 31, 23, 59, 59}).addSeconds(1), DateTime::fromDate(2027, 1, 1));
    EXPECT_EQ(DateTime::fromDate(1970, 1, 1).dayNumber(), 0);
    const DateTime t{2031, 7, 19, 4, 5, 6};
    EXPECT_EQ(DateTime::fromSecondsSinceEpoch(t.secondsSinceEpoch()), t);
}

}  // namespace
}  // namespace fas::db
