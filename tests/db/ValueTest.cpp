#include <gtest/gtest.h>

#include "db/DateTime.h"
#include "db/Errors.h"
#include "db/Value.h"

namespace fas::db {
namespace {

// Strict reads refuse Null and out-of-range values; joined() reads Null as ""; isTrue() as false.
TEST(Value, ThreeReadForms) {
    EXPECT_THROW(Value().asText(), ConversionError);
    EXPECT_EQ(Value().joined(), "");
    EXPECT_FALSE(Value().isTrue());
    EXPECT_EQ(Value(-32768).asInt16(), -32768);
    for (const Value& tooBig : {Value(32768), Value(-32769), Value(1e6), Value("12abc")}) {
        EXPECT_THROW(tooBig.asInt16(), ConversionError) << tooBig.debugString();
    }
    EXPECT_EQ(Value("  42 ").asInt16() + Value(2.5).asInt16(), 44);  // halves go to even
    for (const char* yes : {"True", "true", "1", "-1"}) {
        EXPECT_TRUE(Value(yes).asBool() && !Value("False").asBool()) << yes;
    }
    EXPECT_THROW(Value("yes please").asBool(), ConversionError);
    EXPECT_EQ(Value(5.0).asText() + " " + Value(2.25).asText(), "5 2.25");
}

// Dates are read from every stored form and written as US general dates.
TEST(Value, UsDateTextBothWays) {
    const std::pair<const char*, DateTime> cases[] = {
        {"3/15/2027", DateTime::fromDate(2027, 3, 15)},
        {"12/4/2026 6:48:34 PM", {2026, 12, 4, 18, 48, 34}},
        {"12/4/2026 12:00:01 AM", {2026, 12, 4, 0, 0, 1}},
        {"1/9/2026 12:07:03 PM", {2026, 1, 9, 12, 7, 3}},
    };
    for (const auto& [text, date] : cases) {
        EXPECT_EQ(dateText(date), text);
        EXPECT_EQ(Value(text).asDateTime(), date) << text;
    }
    EXPECT_EQ(Value("2027-03-15T10:30:00.250").asDateTime(), (DateTime{2027, 3, 15, 10, 30, 0}));
    EXPECT_EQ(Value(" \t3/15/2027 ").asDateTime(), DateTime::fromDate(2027, 3, 15))
        << "blanks around a date typed into a text column";
    for (const Value& bad : {Value("2027-02-30"), Value("2/29/2027"), Value("3//2027"),
                             Value("2027-03-15 10:"), Value("next Tuesday"), Value(20270315)}) {
        EXPECT_THROW(bad.asDateTime(), ConversionError) << bad.debugString();
    }
    EXPECT_EQ(DateTime::fromDate(1970, 1, 1).addDays(-1), DateTime::fromDate(1969, 12, 31));
    EXPECT_EQ(DateTime::fromDate(2000, 3, 1).addDays(-1), DateTime::fromDate(2000, 2, 29));
}

}  // namespace
}  // namespace fas::db
