#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "service/JSONCoding.h"
#include "service/TallowmereAddFeedsRequest.h"
#include "service/TallowmereAddFeedsResponse.h"
#include "service/TallowmereDiscovery.h"
#include "service/TallowmereDiscoveryRequest.h"
#include "service/TallowmereUserGUIDRequest.h"
#include "service/TallowmereUserGUIDResponse.h"

namespace tallowmere::test {
namespace {

nlohmann::json json(const char* text) { return nlohmann::json::parse(text); }

// The written body as parsed JSON; null when writing failed.
template <typename Request>
nlohmann::json written(const Request& request) {
    auto body = request.encode();
    if (!body.ok()) return nullptr;
    auto text = JSONCoding::write(body.value());
    return text.ok() ? nlohmann::json::parse(text.value()) : nlohmann::json(nullptr);
}

TallowmereDiscoveryNode node(const char* text) {
    auto read = TallowmereDiscoveryNode::decode(json(text));
    EXPECT_TRUE(read.ok()) << text;
    return read.ok() ? read.value() : TallowmereDiscoveryNode{};
}

TEST(TallowmereModelsTest, UserRequestsWriteOnlyTheFieldsTheyHaveWithFlagsAsIntegers) {
    struct Case {
        TallowmereUserGUIDRequest request;
        const char* body;
    };
    const Case cases[] = {
        {{"g", {}, {}, {}}, R"({"guid": "g"})"},
        {{"g", "a@b.c", true, {}}, R"({"guid": "g", "email": "a@b.c", "verify": 1})"},
        {{"g", "a@b.c", {}, true}, R"({"guid": "g", "email": "a@b.c", "delete": 1})"},
        {{"g", {}, false, false}, R"({"guid": "g", "verify": 0, "delete": 0})"},
    };
    for (const Case& c : cases) {
        const nlohmann::json body = written(c.request);
        EXPECT_EQ(body, json(c.body)) << body.dump();
        for (const char* flag : {"verify", "delete"}) {
            if (body.contains(flag)) {
                EXPECT_TRUE(body[flag].is_number_integer());
            }
        }
    }
}

TEST(TallowmereModelsTest, AddFeedsRequestKeepsTheListInOrder) {
    EXPECT_EQ(written(TallowmereAddFeedsRequest{{}}), json(R"({"feeds": []})"));
    EXPECT_EQ(written(TallowmereAddFeedsRequest{{"https://b/feed", "https://a/feed"}}),
              json(R"({"feeds": ["https://b/feed", "https://a/feed"]})"));
}

TEST(TallowmereModelsTest, DiscoveryRequestAlwaysWritesTheLocaleAndObjOnlyWithANode) {
    EXPECT_EQ(written(TallowmereDiscoveryRequest{{}, {}, "de"}),
              json(R"({"region_code_system": null, "language_code_system": "de"})"));
    EXPECT_EQ(written(TallowmereDiscoveryRequest{{}, {}, {}}),
              json(R"({"region_code_system": null, "language_code_system": null})"));

    TallowmereDiscoveryNode empty{"News", {}, {}};
    EXPECT_EQ(written(TallowmereDiscoveryRequest{empty, "AT", "de"}),
              json(R"({"obj": {}, "region_code_system": "AT", "language_code_system": "de"})"));

    TallowmereDiscoveryNode full = node(R"({"navigation_name": "Tech", "obj": {"id": 7, "tags": ["a", null]}})");
    EXPECT_EQ(written(TallowmereDiscoveryRequest{full, "AT", "de"})["obj"], json(R"({"id": 7, "tags": ["a"]})"));

    TallowmereDiscoveryNode broken{"Bad", {}, {{"score", std::nan("")}}};
    EXPECT_FALSE((TallowmereDiscoveryRequest{broken, {}, {}}.encode().ok()));
}

TEST(TallowmereModelsTest, RepliesAreReadStrictly) {
    struct Case {
        const char* text;
        bool addFeeds;
        bool user;
        bool discovery;
    };
    const Case cases[] = {
        {R"({"added": []})", true, true, false},
        {R"({"added": ["a", "b"], "extra": 1})", true, true, false},
        {R"({})", false, true, false},
        {R"({"added": null})", false, true, false},
        {R"({"added": "a"})", false, true, false},
        {R"({"added": ["a", 1]})", false, true, false},
        {R"({"Added": []})", false, true, false},
        {R"({"guid": "g", "email": "e"})", false, true, false},
        {R"({"guid": null, "email": null})", false, true, false},
        {R"({"email": 5})", false, false, false},
        {R"({"guid": true})", false, false, false},
        {R"([])", false, false, false},
        {R"({"sections": []})", false, true, true},
        {R"({"sections": [{"objects": []}]})", false, true, true},
        {R"({"sections": [{"name": "A"}]})", false, true, false},
        {R"({"sections": [{"name": 3, "objects": []}]})", false, true, false},
        {R"({"sections": [{"objects": [{"navigation_name": "n", "obj": {}}]}]})", false, true, true},
        {R"({"sections": [{"objects": [{"navigation_name": "n"}]}]})", false, true, false},
        {R"({"sections": [{"objects": [{"navigation_name": "n", "obj": null}]}]})", false, true, false},
        {R"({"sections": [{"objects": [{"navigation_name": "n", "obj": [1]}]}]})", false, true, false},
        {R"({"sections": [{"objects": [{"navigation_name": 1, "obj": {}}]}]})", false, true, false},
        {R"({"sections": [{"objects": [{"navigation_name": "n", "navigation_url": 2, "obj": {}}]}]})", false, true, false},
        {R"({"sections": [{"objects": []}, {"name": "no objects"}]})", false, true, false},
    };
    for (const Case& c : cases) {
        const nlohmann::json value = json(c.text);
        EXPECT_EQ(TallowmereAddFeedsResponse::decode(value).ok(), c.addFeeds) << c.text;
        EXPECT_EQ(TallowmereUserGUIDResponse::decode(value).ok(), c.user) << c.text;
        EXPECT_EQ(TallowmereDiscovery::decode(value).ok(), c.discovery) << c.text;
    }
    auto user = TallowmereUserGUIDResponse::decode(json("{}"));
    ASSERT_TRUE(user.ok());
    EXPECT_EQ(user.value().guid, std::nullopt);
    EXPECT_EQ(user.value().email, std::nullopt);
}

TEST(TallowmereModelsTest, ACatalogueKeepsSectionsAndNodesInOrder) {
    auto read = TallowmereDiscovery::decode(json(R"({"sections": [
        {"name": "First", "objects": [{"navigation_name": "a", "navigation_url": "https://a", "obj": {"k": 1}},
                                      {"navigation_name": "b", "obj": {}}]},
        {"objects": []}]})"));
    ASSERT_TRUE(read.ok());
    const TallowmereDiscovery& discovery = read.value();
    ASSERT_EQ(discovery.sections.size(), 2u);
    EXPECT_EQ(discovery.sections[0].name, "First");
    EXPECT_EQ(discovery.sections[1].name, std::nullopt);
    ASSERT_EQ(discovery.sections[0].nodes.size(), 2u);
    EXPECT_EQ(discovery.sections[0].nodes[0].navigationURL, "https://a");
    EXPECT_EQ(discovery.sections[0].nodes[0].data.at("k"), UntypedValue(1));
    EXPECT_EQ(discovery.sections[0].nodes[1].navigationName, "b");
}

TEST(TallowmereModelsTest, NodeAccessorsGiveOnlyStrings) {
    const TallowmereDiscoveryNode read =
        node(R"({"navigation_name": "n", "obj": {"title": "Science", "region_code": 7, "domain": true}})");
    EXPECT_EQ(read.title(), "Science");
    EXPECT_EQ(read.regionCode(), std::nullopt);
    EXPECT_EQ(read.domain(), std::nullopt);
    EXPECT_EQ(node(R"({"navigation_name": "n", "obj": {"domain": "a.example", "region_code": "AT"}})").domain(),
              "a.example");
}

TEST(TallowmereModelsTest, NodesAreEqualByNameAndURLOnly) {
    const TallowmereDiscoveryNode a{"n", "https://u", {{"k", 1}}};
    const TallowmereDiscoveryNode b{"n", "https://u", {{"k", "other"}}};
    const TallowmereDiscoveryNode noURL{"n", {}, {}};
    EXPECT_EQ(a, b);
    EXPECT_NE(a, noURL);
    EXPECT_EQ(noURL, (TallowmereDiscoveryNode{"n", {}, {{"x", false}}}));
    EXPECT_NE(a, (TallowmereDiscoveryNode{"m", "https://u", {}}));
}

}  // namespace
}  // namespace tallowmere::test
