#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>

#include "service/JSONCoding.h"
#include "service/UntypedJSONCoding.h"

namespace tallowmere::test {
namespace {

nlohmann::json parsed(const std::string& text) {
    auto document = JSONCoding::read(text);
    EXPECT_TRUE(document.ok()) << text << ": " << (document.ok() ? "" : document.error().description());
    return document.ok() ? document.value() : nlohmann::json();
}

UntypedDictionary readObject(const std::string& text) { return UntypedJSONCoding::decodeUntypedDictionary(parsed(text)); }

// The dictionary written under "obj", parsed again.
nlohmann::json writtenUnderObj(const UntypedDictionary& dictionary) {
    nlohmann::json object = nlohmann::json::object();
    auto error = UntypedJSONCoding::encodeUntyped(object, "obj", dictionary);
    EXPECT_FALSE(error) << error->description();
    auto text = JSONCoding::write(object);
    EXPECT_TRUE(text.ok());
    return nlohmann::json::parse(text.value());
}

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(UntypedJSONCodingTest, ReadsEachMemberAsTheFirstKindThatFitsAndWritesItBackByKind) {
    struct Case {
        const char* member;
        UntypedValue read;
        const char* writtenBack;
    };
    const Case cases[] = {
        {"true", UntypedValue(true), "true"},
        {"false", UntypedValue(false), "false"},
        {"1", UntypedValue(1), "1"},
        {"1.0", UntypedValue(1), "1"},
        {"-3", UntypedValue(-3), "-3"},
        {"-0", UntypedValue(0), "0"},
        {"-0.0", UntypedValue(0), "0"},
        {"1.5", UntypedValue(1.5), "1.5"},
        {"1e30", UntypedValue(1e30), "1e30"},
        {"9223372036854775807", UntypedValue(std::int64_t{9223372036854775807}), "9223372036854775807"},
        {"9223372036854775808", UntypedValue(9223372036854775808.0), "9223372036854775808.0"},
        {"-9223372036854775808", UntypedValue(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
        {"\"1\"", UntypedValue("1"), "\"1\""},
        {"null", UntypedValue(true), "true"},
        {"{}", UntypedValue(UntypedDictionary{}), "{}"},
        {"[]", UntypedValue(UntypedArray{}), "[]"},
    };
    for (const Case& c : cases) {
        const UntypedDictionary dictionary = readObject(std::string("{\"m\": ") + c.member + "}");
        ASSERT_EQ(dictionary.size(), 1u) << c.member;
        EXPECT_EQ(dictionary.at("m"), c.read) << c.member;
        EXPECT_EQ(writtenUnderObj(dictionary)["obj"]["m"], nlohmann::json::parse(c.writtenBack)) << c.member;
        // An integer never comes back as a double, nor a Boolean as a number.
        EXPECT_EQ(writtenUnderObj(dictionary)["obj"]["m"].type(), nlohmann::json::parse(c.writtenBack).type())
            << c.member;
    }
}

TEST(UntypedJSONCodingTest, NestedArraysAndObjectsInArraysRoundTrip) {
    const UntypedDictionary dictionary =
        readObject(R"({"a": [1, [2, 3]], "b": [{"x": "y", "n": null}], "c": ["s", 2, "t", 1.5, false]})");
    const UntypedArray* a = dictionary.at("a").get<UntypedArray>();
    ASSERT_TRUE(a);
    ASSERT_EQ(a->size(), 2u);
    EXPECT_EQ((*a)[0], UntypedValue(1));
    EXPECT_EQ((*a)[1], UntypedValue(UntypedArray{2, 3}));
    const UntypedArray* b = dictionary.at("b").get<UntypedArray>();
    ASSERT_TRUE(b && b->size() == 1u);
    EXPECT_EQ((*b)[0], UntypedValue(UntypedDictionary{{"x", "y"}, {"n", true}}));
    EXPECT_EQ(dictionary.at("c"), UntypedValue(UntypedArray{"s", 2, "t", 1.5, false}));

    EXPECT_EQ(writtenUnderObj(dictionary)["obj"],
              nlohmann::json::parse(R"({"a": [1, [2, 3]], "b": [{"x": "y", "n": true}], "c": ["s", 2, "t", 1.5, false]})"));
}

TEST(UntypedJSONCodingTest, ANullArrayElementIsDroppedAndTheRestKept) {
    const UntypedDictionary dictionary = readObject(R"({"a": [null, 1, null, "x", null]})");
    EXPECT_EQ(dictionary.at("a"), UntypedValue(UntypedArray{1, "x"}));
}

TEST(UntypedJSONCodingTest, AValueOfAnotherKindIsLeftOutAndTheOthersWritten) {
    const UntypedValue date(UntypedValue::Foreign{std::chrono::system_clock::now()});
    const UntypedDictionary dictionary{{"when", date}, {"title", "A"}, {"list", UntypedArray{date, 1}}};
    EXPECT_EQ(writtenUnderObj(dictionary)["obj"], nlohmann::json::parse(R"({"title": "A", "list": [1]})"));
}

TEST(UntypedJSONCodingTest, WritingANonFiniteNumberFails) {
    for (double number : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        nlohmann::json object = nlohmann::json::object();
        const UntypedDictionary dictionary{{"deep", UntypedArray{UntypedDictionary{{"n", number}}}}};
        auto error = UntypedJSONCoding::encodeUntyped(object, "obj", dictionary);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), JSONCodingError::Kind::invalidValue);
    }
}

TEST(UntypedJSONCodingTest, ReadingRefusesDocumentsNestedBeyondTheLimit) {
    EXPECT_TRUE(JSONCoding::read(nested(JSONCoding::maxDepth)).ok());
    EXPECT_TRUE(JSONCoding::read("{\"a\":" + nested(JSONCoding::maxDepth - 1) + "}").ok());
    for (const std::string& text : {nested(JSONCoding::maxDepth + 1), nested(100'000),
                                    "{\"a\":" + nested(JSONCoding::maxDepth) + "}",
                                    std::string(100'000, '[')}) {
        auto document = JSONCoding::read(text);
        ASSERT_FALSE(document.ok());
        EXPECT_EQ(document.error().kind(), JSONCodingError::Kind::dataCorrupted);
    }
}

TEST(UntypedJSONCodingTest, ReaderEdgeForms) {
    struct Case {
        std::string text;
        bool readable;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF{\"a\": 1}", true},      // byte-order mark
        {"{\"a\": \"\xC3\x28\"}", false},       // not UTF-8
        {"{\"a\": 1e400}", false},              // beyond a double
        {"{\"a\": 1, \"a\": 2}", true},         // duplicate key
        {"", false},
        {"{\"a\": 1} trailing", false},
        {std::string("\x00\x01garbage", 9), false},
    };
    for (const Case& c : cases) EXPECT_EQ(JSONCoding::read(c.text).ok(), c.readable) << c.text;
    EXPECT_EQ(UntypedJSONCoding::decodeUntypedDictionary(JSONCoding::read("{\"a\": 1, \"a\": 2}").value()).size(), 1u);
}

TEST(UntypedJSONCodingTest, WritingTextThatIsNotUTF8Fails) {
    auto written = JSONCoding::write(nlohmann::json{{"email", "a\xFF@b"}});
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().kind(), JSONCodingError::Kind::invalidValue);
}

}  // namespace
}  // namespace tallowmere::test
