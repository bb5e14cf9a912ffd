#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/defaults/Value.h"
#include "platform/defaults/ValueJson.h"

using namespace tallowmere::defaults;
using namespace std::chrono;

TEST(Value, LenientReadingsOfEveryKind) {
    struct Case {
        Value value;
        bool boolean;
        std::int64_t integer;
    };
    const double huge = 1e30;
    const std::vector<Case> cases = {
        {Value(true), true, 1},
        {Value(false), false, 0},
        {Value(0), false, 0},
        {Value(-3), true, -3},
        {Value(2.9), true, 2},
        {Value(-2.9), true, -2},
        {Value(huge), true, std::numeric_limits<std::int64_t>::max()},
        {Value(-huge), true, std::numeric_limits<std::int64_t>::min()},
        {Value(std::numeric_limits<double>::quiet_NaN()), true, 0},
        {Value("YES"), true, 0},
        {Value(" true "), true, 0},
        {Value("no"), false, 0},
        {Value("15"), true, 15},
        {Value("-1"), true, -1},
        {Value("7 minutes"), true, 7},
        {Value(""), false, 0},
        {Value(Date(seconds(1000))), false, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value.toBoolean(), c.boolean) << c.value.description();
        EXPECT_EQ(c.value.toInteger(), c.integer) << c.value.description();
    }
}

TEST(Value, KindsStayApart) {
    EXPECT_FALSE(Value("2026-01-01T00:00:00Z").asDate());
    EXPECT_FALSE(Value(5).asString());
    EXPECT_NE(Value(1), Value(true));
    EXPECT_NE(Value(1), Value(1.0));
    EXPECT_EQ(Value(std::string("a")), Value("a"));
}

TEST(ValueJson, EveryKindRoundTrips) {
    const Date precise = Date(nanoseconds(1765372689123456789LL));
    const Date beforeEpoch = Date(nanoseconds(-1500000000LL));
    const std::vector<Value> values = {
        Value(true),
        Value(std::int64_t{-9007199254740993}),
        Value(std::numeric_limits<std::int64_t>::max()),
        Value(0.1),
        Value(std::numeric_limits<double>::infinity()),
        Value(-std::numeric_limits<double>::infinity()),
        Value("text with \"quotes\" and ünïcode"),
        Value(precise),
        Value(beforeEpoch),
    };
    for (const auto& value : values) {
        const auto text = ValueJson::encode(value).dump();
        const auto decoded = ValueJson::decode(nlohmann::json::parse(text));
        ASSERT_TRUE(decoded) << text;
        EXPECT_EQ(*decoded, value) << text;
    }
    const auto nan = ValueJson::decode(ValueJson::encode(Value(std::nan(""))));
    ASSERT_TRUE(nan && nan->isReal());
    EXPECT_TRUE(std::isnan(nan->toReal()));
    EXPECT_EQ(ValueJson::formatDate(precise), "2025-12-10T13:18:09.123456789Z");
    EXPECT_EQ(ValueJson::formatDate(beforeEpoch), "1969-12-31T23:59:58.500000000Z");
}

TEST(ValueJson, DatesParseStrictly) {
    EXPECT_EQ(ValueJson::parseDate("1970-01-01T00:00:10Z"), Date(seconds(10)));
    EXPECT_EQ(ValueJson::parseDate("1970-01-01T00:00:10.25Z"), Date(milliseconds(10250)));
    for (const char* bad :
         {"", "1970-01-01", "1970-13-01T00:00:00Z", "1970-01-01T24:00:00Z", "1970-01-01T00:00:00",
          "1970-01-01T00:00:00.Z", "1970-01-01T00:00:00Zjunk", "yesterday"}) {
        EXPECT_FALSE(ValueJson::parseDate(bad)) << bad;
    }
}

TEST(ValueJson, OtherShapesAreNotValues) {
    for (const char* json :
         {"null", "[1,2]", "{}", R"({"$date": 5})", R"({"$date": "soon"})", R"({"$real": "lots"})",
          R"({"$date": "1970-01-01T00:00:00Z", "x": 1})", R"({"colour": "red"})"}) {
        EXPECT_FALSE(ValueJson::decode(nlohmann::json::parse(json))) << json;
    }
    const auto beyond = ValueJson::decode(nlohmann::json::parse("18446744073709551615"));
    ASSERT_TRUE(beyond);
    EXPECT_TRUE(beyond->isReal());
}

TEST(Value, EveryIntegerTypeIsAWholeNumber) {
    EXPECT_EQ(Value(5), Value(std::int64_t{5}));
    EXPECT_EQ(Value(5L), Value(5LL));
    EXPECT_EQ(Value(5U), Value(static_cast<short>(5)));
    EXPECT_TRUE(Value(true).isBoolean());
    EXPECT_TRUE(Value("text").isString());
}
