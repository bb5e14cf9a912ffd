#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/URLIdentityHash.h"

using namespace tallowmere;

namespace {

TEST(URLIdentityHashTest, FnvOneAMatchesReferenceVectors) {
    // The empty text gives the offset basis; "a" and "foobar" are
    // reference vectors of 64-bit FNV-1a.
    EXPECT_EQ(fnv1aHash(""), static_cast<std::int64_t>(0xcbf29ce484222325ULL));
    EXPECT_EQ(fnv1aHash(""), INT64_C(-3750763034362895579));
    EXPECT_EQ(fnv1aHash("a"), static_cast<std::int64_t>(0xaf63dc4c8601ec8cULL));
    EXPECT_EQ(fnv1aHash("foobar"), static_cast<std::int64_t>(0x85944171f73967e8ULL));
    EXPECT_FALSE(fnv1aHash("\xff").has_value());
}

struct HashCase {
    std::string url;
    std::string normalized;
    std::int64_t hash;  // computed independently over the normalized text
};

TEST(URLIdentityHashTest, HashesTheNormalizedComponents) {
    const std::vector<HashCase> cases = {
        {"HTTPS://Example.COM:8443/feed/?a=1#top", "httpsexample.com8443/feeda=1", INT64_C(-48848985300916408)},
        {"http://example.com/", "httpexample.com/", INT64_C(7014629898251293003)},
        {"http://example.com/Feed", "httpexample.com/Feed", INT64_C(2573296814919409847)},
        {"http://example.com/feed", "httpexample.com/feed", INT64_C(-6572949948313471337)},
        {"http://www.example.com/feed", "httpwww.example.com/feed", INT64_C(-3746856397637349000)},
        {"https://example.com:443/feed", "httpsexample.com443/feed", INT64_C(-4751426507152466407)},
        {"https://example.com/feed", "httpsexample.com/feed", INT64_C(3387236959309871300)},
        {"https://user:pw@example.com/%C3%A9?q=%C3%A9", "httpsexample.com/éq=%C3%A9", INT64_C(4622742161646355984)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const auto url = URL::parse(c.url);
        ASSERT_TRUE(url.has_value());
        EXPECT_EQ(URLIdentityHash::normalizedText(*url), c.normalized);
        EXPECT_EQ(URLIdentityHash::hash(c.url), c.hash);
        EXPECT_EQ(URLIdentityHash::hash(*url), c.hash);
    }
}

TEST(URLIdentityHashTest, SameAndDifferentIdentities) {
    auto h = [](const char* text) { return URLIdentityHash::hash(text); };
    // Same identity.
    EXPECT_EQ(h("HTTP://EXAMPLE.COM/feed"), h("http://example.com/feed"));
    EXPECT_EQ(h("http://example.com/feed/"), h("http://example.com/feed"));
    EXPECT_EQ(h("http://example.com/feed#a"), h("http://example.com/feed#b"));
    EXPECT_EQ(h("http://example.com/feed"), h("http://example.com/feed#"));
    EXPECT_EQ(h("http://user@example.com/feed"), h("http://example.com/feed"));
    EXPECT_EQ(h("http://example.com/%61"), h("http://example.com/a"));
    // No separators: a host ending in digits equals the same digits as a port.
    EXPECT_EQ(h("http://example.com8080/x"), h("http://example.com:8080/x"));
    // Decoded hosts are lower-cased in full Unicode.
    EXPECT_EQ(h("http://%C3%89xample.com/"), h("http://%C3%A9xample.com/"));
    // Different identity.
    EXPECT_NE(h("http://example.com/Feed"), h("http://example.com/feed"));
    EXPECT_NE(h("http://example.com/feed?A=1"), h("http://example.com/feed?a=1"));
    EXPECT_NE(h("http://www.example.com/feed"), h("http://example.com/feed"));
    EXPECT_NE(h("https://example.com:443/feed"), h("https://example.com/feed"));
    EXPECT_NE(h("http://example.com/"), h("http://example.com"));
}

TEST(URLIdentityHashTest, TextThatIsNoURLHashesToZero) {
    for (const char* text : {"", "http://example.com/a b", "http://exa mple.com/", "http://example.com/<", "%",
                             "http://example.com:port/", "not a url"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(URLIdentityHash::hash(text), 0);
    }
}

}  // namespace
