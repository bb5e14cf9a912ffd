#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "service/TallowmereRouter.h"

namespace tallowmere::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* base = "https://backend.example/api";

TallowmereRouter::Environment environment(std::map<std::string, std::string> variables) {
    return [variables = std::move(variables)](const char* name) -> const char* {
        auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    };
}

nlohmann::json bodyOf(const http::HTTPRequest& request) { return nlohmann::json::parse(*request.body); }

TEST(TallowmereRouterTest, EachRequestIsAPostToItsPathWithTheThreeHeadersInOrder) {
    struct Case {
        TallowmereRouter router;
        const char* path;
        const char* body;
    };
    const Case cases[] = {
        {TallowmereRouter::addFeeds({}), "/add", R"({"feeds": []})"},
        {TallowmereRouter::addFeeds({"https://a/feed"}), "/add", R"({"feeds": ["https://a/feed"]})"},
        {TallowmereRouter::getUserEmail("g-1"), "/user_guid_mail", R"({"guid": "g-1"})"},
        {TallowmereRouter::addUser("g-1", "a@b.c"), "/user_guid_mail", R"({"guid": "g-1", "email": "a@b.c", "verify": 1})"},
        {TallowmereRouter::removeUser("g-1", "a@b.c"), "/user_guid_mail",
         R"({"guid": "g-1", "email": "a@b.c", "delete": 1})"},
        {TallowmereRouter::getDiscovery(std::nullopt), "/discovery",
         R"({"region_code_system": "AT", "language_code_system": "de"})"},
        {TallowmereRouter::getDiscovery(TallowmereDiscoveryNode{"n", {}, {{"id", 3}}}), "/discovery",
         R"({"obj": {"id": 3}, "region_code_system": "AT", "language_code_system": "de"})"},
    };
    for (const Case& c : cases) {
        auto request = c.router.asURLRequest(base, environment({{"LANG", "de_AT.UTF-8"}}));
        ASSERT_TRUE(request) << c.path;
        EXPECT_EQ(request->url, std::string(base) + c.path);
        EXPECT_EQ(request->method, "POST");
        EXPECT_EQ(request->timeoutInterval, 10s);
        ASSERT_TRUE(request->body);
        EXPECT_EQ(bodyOf(*request), nlohmann::json::parse(c.body)) << c.path;
        const http::HeaderList expected = {
            {"tallowmere-api", "YnJpc2stbm9kZTpxdm10cmVsYXB3b3preWQ="},
            {"Content-Type", "application/json; charset=utf-8"},
            {"Content-Length", std::to_string(request->body->size())},
        };
        EXPECT_EQ(request->headers, expected) << c.path;
    }
}

TEST(TallowmereRouterTest, NoRequestWithoutAUsableBaseURLOrABodyThatCannotBeWritten) {
    EXPECT_FALSE(TallowmereRouter::addFeeds({}).asURLRequest("not a url"));
    EXPECT_FALSE(TallowmereRouter::getUserEmail("g").asURLRequest(""));
    // Sent without its body, the request would mean something else (or nothing).
    EXPECT_FALSE(TallowmereRouter::addUser("g", "a\xFF@b").asURLRequest(base));
    EXPECT_FALSE(TallowmereRouter::removeUser("g\xC3", "a@b").asURLRequest(base));
    EXPECT_FALSE(TallowmereRouter::getDiscovery(TallowmereDiscoveryNode{"n", {}, {{"x", INFINITY}}}).asURLRequest(base));
}

TEST(TallowmereRouterTest, LocaleCodesComeFromTheFirstLocaleVariableSet) {
    struct Case {
        std::map<std::string, std::string> variables;
        std::optional<std::string> region;
        std::optional<std::string> language;
    };
    const Case cases[] = {
        {{{"LANG", "de_AT.UTF-8"}}, "AT", "de"},
        {{{"LANG", "pt_BR"}}, "BR", "pt"},
        {{{"LANG", "sr_RS.UTF-8@latin"}}, "RS", "sr"},
        {{{"LANG", "es_419.UTF-8"}}, "419", "es"},
        {{{"LANG", "fr"}}, std::nullopt, "fr"},
        {{{"LANG", "C"}}, std::nullopt, std::nullopt},
        {{{"LANG", "C.UTF-8"}}, std::nullopt, std::nullopt},
        {{{"LANG", "POSIX"}}, std::nullopt, std::nullopt},
        {{}, std::nullopt, std::nullopt},
        {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "fi_FI.UTF-8"}}, "FI", "fi"},
        {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "fi_FI.UTF-8"}, {"LC_ALL", "it_CH"}}, "CH", "it"},
        {{{"LANG", "en_US.UTF-8"}, {"LC_ALL", ""}}, "US", "en"},
        {{{"LANG", "x_1"}}, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto codes = TallowmereRouter::localeCodes(environment(c.variables));
        EXPECT_EQ(codes.regionCode, c.region);
        EXPECT_EQ(codes.languageCode, c.language);
    }
    auto request = TallowmereRouter::getDiscovery(std::nullopt).asURLRequest(base, environment({{"LANG", "C"}}));
    ASSERT_TRUE(request);
    EXPECT_EQ(bodyOf(*request), nlohmann::json::parse(R"({"region_code_system": null, "language_code_system": null})"));
}

TEST(TallowmereRouterTest, Base64) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"}, {"\xff\xfe", "//4="},
    };
    for (const auto& [text, encoded] : cases) EXPECT_EQ(TallowmereRouter::base64(text), encoded) << text;
    EXPECT_EQ(TallowmereRouter::credential.size(), 26u);
}

TEST(TallowmereRouterTest, TheBaseURLSettingIsNormalisedOrRefused) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"https://backend.example/api", "https://backend.example/api"},
        {"https://backend.example/api/", "https://backend.example/api"},
        {"https://backend.example", "https://backend.example/api"},
        {"https://backend.example/", "https://backend.example/api"},
        {"https://127.0.0.1:8443/api", "https://127.0.0.1:8443/api"},
        {"HTTPS://backend.example/api", "HTTPS://backend.example/api"},
        {"http://backend.example/api", std::nullopt},
        {"https:///api", std::nullopt},
        {"https:/api", std::nullopt},
        {"/api", std::nullopt},
        {"https://backend.example/other", std::nullopt},
        {"https://backend.example/api?x=1", std::nullopt},
        {"https://user:pw@backend.example/api", std::nullopt},
        {"not a url", std::nullopt},
        {"", std::nullopt},
        {"ftp://backend.example/api", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        const auto checked = TallowmereRouter::checkBaseURL(text);
        EXPECT_EQ(checked.baseURL, expected) << text;
        EXPECT_EQ(checked.problem.empty(), expected.has_value()) << text;
    }
}

}  // namespace
}  // namespace tallowmere::test
