#include <gtest/gtest.h>

#include "db/DateTime.h"
#include "db/Errors.h"
#include "db/Value.h"

namespace fas::db {
namespace {

// Strict reads refuse Null and out-of-range values; joined() reads Null as ""; isTrue() as false.
TEST(Value, ThreeReadForms) {
    const Value null;
    EXPECT_THROW(null.asText(), ConversionError);
    EXPECT_THROW(null.asBool(), ConversionError);
    EXPECT_EQ(null.joined(), "");
    EXPECT_FALSE(null.isTrue());
    EXPECT_EQ(Value(-32768).asInt16(), -32768);
    EXPECT_THROW(Value(32768).asInt16(), ConversionError);
    EXPECT_THROW(Value(-32769).asInt16(), ConversionError);
    EXPECT_THROW(Value(1e6).asInt16(), ConversionError);
    EXPECT_THROW(Value(2147483648LL).asInt32(), ConversionError);
    EXPECT_EQ(Value("  42 ").asInt16(), 42);
    EXPECT_EQ(Value(2.5).asInt16(), 2);  // halves go to even
    EXPECT_THROW(Value("12abc").asInt32(), ConversionError);
    for (const char* yes : {"True", "true", "1", "-1"}) {
        EXPECT_TRUE(Value(yes).asBool()) << yes;
    }
    EXPECT_FALSE(Value("False").asBool());
    EXPECT_TRUE(Value(-1).asBool());
    EXPECT_THROW(Value("yes please").asBool(), ConversionError);
    EXPECT_EQ(Value(5.0).asText(), "5");
    EXPECT_EQ(Value(2.25).asText(), "2.25");
}

// Dates are read from every stored form and written as US general dates.
TEST(Value, UsDateTextBothWays) {
    const struct {
        const char* text;
        DateTime date;
    } cases[] = {
        {"3/15/2027", DateTime::fromDate(2027, 3, 15)},
        {"12/4/2026 6:48:34 PM", {2026, 12, 4, 18, 48, 34}},
        {"12/4/2026 12:00:01 AM", {2026, 12, 4, 0, 0, 1}},
        {"12/4/2026 12:05:00 PM", {2026, 12, 4, 12, 5, 0}},
        {"1/9/2026 9:07:03 AM", {2026, 1, 9, 9, 7, 3}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dateText(c.date), c.text);
        EXPECT_EQ(Value(c.text).asDateTime(), c.date) << c.text;
    }
    EXPECT_EQ(Value("2027-03-15T10:30:00.250").asDateTime(), (DateTime{2027, 3, 15, 10, 30, 0}));
    for (const char* bad :
         {"2027-02-30", "2/29/2027", "13/1/2027", "next Tuesday", "3/15/2027 13:00:00 PM"}) {
        EXPECT_THROW(Value(bad).asDateTime(), ConversionError) << bad;
    }
    EXPECT_THROW(Value(20270315).asDateTime(), ConversionError);
    EXPECT_EQ(DateTime::fromDate(2028, 2, 28).addDays(1), DateTime::fromDate(2028, 2, 29));
    EXPECT_EQ(DateTime::fromDate(1970, 1, 1).addDays(-1), DateTime::fromDate(1969, 12, 31));
    EXPECT_EQ(DateTime::fromDate(2000, 3, 1).addDays(-1), DateTime::fromDate(2000, 2, 29));
    EXPECT_EQ(DateTime::fromDate(1600, 3, 1).addDays(-1), DateTime::fromDate(1600, 2, 29));
}

}  // namespace
}  // namespace fas::db
