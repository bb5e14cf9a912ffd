#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/URL.h"

using namespace tallowmere;

namespace {

struct ComponentCase {
    std::string text;
    std::string scheme;
    std::optional<std::string> host;
    std::optional<int> port;
    std::string path;
    std::optional<std::string> query;
    std::optional<std::string> fragment;
};

TEST(URLTest, ReportsComponentsAsWritten) {
    const std::vector<ComponentCase> cases = {
        {"HTTPS://Example.COM:8443/feed/?a=1#top", "HTTPS", "Example.COM", 8443, "/feed", "a=1", "top"},
        {"http://example.com", "http", "example.com", std::nullopt, "", std::nullopt, std::nullopt},
        {"http://example.com/", "http", "example.com", std::nullopt, "/", std::nullopt, std::nullopt},
        {"http://example.com//", "http", "example.com", std::nullopt, "/", std::nullopt, std::nullopt},
        {"http://example.com:/x", "http", "example.com", std::nullopt, "/x", std::nullopt, std::nullopt},
        {"http://example.com:0443/x", "http", "example.com", 443, "/x", std::nullopt, std::nullopt},
        {"http://user:pw@example.com/x", "http", "example.com", std::nullopt, "/x", std::nullopt, std::nullopt},
        {"http://example.com/a%20b/%C3%A9t%C3%A9/", "http", "example.com", std::nullopt, "/a b/été", std::nullopt,
         std::nullopt},
        {"http://example.com/a%2Fb%2F", "http", "example.com", std::nullopt, "/a/b", std::nullopt, std::nullopt},
        // Decoding to invalid UTF-8 keeps the path as written.
        {"http://example.com/%FF/x", "http", "example.com", std::nullopt, "/%FF/x", std::nullopt, std::nullopt},
        {"http://example.com/?q=%41&b#f?/x", "http", "example.com", std::nullopt, "/", "q=%41&b", "f?/x"},
        {"http://example.com?", "http", "example.com", std::nullopt, "", "", std::nullopt},
        {"http://[2001:db8::7]:80/x", "http", "2001:db8::7", 80, "/x", std::nullopt, std::nullopt},
        {"http://[::ffff:192.0.2.1]/", "http", "::ffff:192.0.2.1", std::nullopt, "/", std::nullopt, std::nullopt},
        {"http://[v7.fe80::a+b]/", "http", "v7.fe80::a+b", std::nullopt, "/", std::nullopt, std::nullopt},
        {"http://ex%41mple.com/", "http", "exAmple.com", std::nullopt, "/", std::nullopt, std::nullopt},
        {"http://192.0.2.16:8080", "http", "192.0.2.16", 8080, "", std::nullopt, std::nullopt},
        {"file:///etc/hosts", "file", "", std::nullopt, "/etc/hosts", std::nullopt, std::nullopt},
        {"mailto:someone@example.com", "mailto", std::nullopt, std::nullopt, "someone@example.com", std::nullopt,
         std::nullopt},
        {"urn:isbn:0451450523", "urn", std::nullopt, std::nullopt, "isbn:0451450523", std::nullopt, std::nullopt},
        {"feed:https://example.com/rss", "feed", std::nullopt, std::nullopt, "https://example.com/rss", std::nullopt,
         std::nullopt},
        {"//example.com/x", "", "example.com", std::nullopt, "/x", std::nullopt, std::nullopt},
        {"/x/y/", "", std::nullopt, std::nullopt, "/x/y", std::nullopt, std::nullopt},
        {"x/y?z", "", std::nullopt, std::nullopt, "x/y", "z", std::nullopt},
        {"#frag", "", std::nullopt, std::nullopt, "", std::nullopt, "frag"},
        {"./a:b", "", std::nullopt, std::nullopt, "./a:b", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto url = URL::parse(c.text);
        ASSERT_TRUE(url.has_value());
        EXPECT_EQ(url->absoluteString(), c.text);
        EXPECT_EQ(url->scheme(), c.scheme);
        EXPECT_EQ(url->host(), c.host);
        EXPECT_EQ(url->port(), c.port);
        EXPECT_EQ(url->path(), c.path);
        EXPECT_EQ(url->query(), c.query);
        EXPECT_EQ(url->fragment(), c.fragment);
    }
}

TEST(URLTest, RejectsTextThatIsNoURL) {
    const std::vector<std::string> cases = {
        "",
        "http://example.com/a b",
        " http://example.com/",
        "http://example.com/\n",
        "http://exa mple.com/",
        "http://example.com/é",
        "http://example.com/<x>",
        "http://example.com/\"x\"",
        "http://example.com/{x}",
        "http://example.com/a|b",
        "http://example.com/a\\b",
        "http://example.com/a^b",
        "http://example.com/a`b",
        "http://example.com/#a#b",
        "http://example.com/%",
        "http://example.com/%4",
        "http://example.com/%GG",
        "http://example.com/?q=%zz",
        "http://example.com:8o/",
        "http://example.com:65536/",
        "http://example.com:99999999999999999999/",
        "http://example.com:80:80/",
        "http://a@b@example.com/",
        "http://[2001:db8::7/",
        "http://[2001:db8::7]x/",
        "http://[2001:db8::7%25eth0]/",
        "http://[1:2:3:4:5:6:7:8:9]/",
        "http://[1::2::3]/",
        "http://[::256.0.0.1]/",
        "http://[example.com]/",
        "http://example.com/[x]",
        "http://ex[a]mple.com/",
        "1http://example.com/",
        ":foo",
        "a:b/c:d?x#y z",
        "ht tp://example.com",
        std::string("http://example.com/\0", 20),
    };
    for (const auto& text : cases) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(URL::parse(text).has_value());
    }
}

// RFC 3986 §5.4.1 and §5.4.2, against the base given there.
TEST(URLTest, ResolvesReferencesAfterRFC3986) {
    const auto base = URL::parse("http://a/b/c/d;p?q");
    ASSERT_TRUE(base.has_value());
    const std::vector<std::pair<std::string, std::string>> cases = {
        // Normal examples.
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
        // Abnormal examples.
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
        {"http:g", "http:g"},
    };
    for (const auto& [reference, expected] : cases) {
        SCOPED_TRACE(reference);
        const auto resolved = base->resolving(reference);
        ASSERT_TRUE(resolved.has_value());
        EXPECT_EQ(resolved->absoluteString(), expected);
        EXPECT_EQ(URL::parse(expected)->path(), resolved->path());
    }
}

TEST(URLTest, ResolvingKeepsAuthorityPartsAndRejectsBadReferences) {
    const auto base = URL::parse("https://user@[2001:db8::1]:8443/feeds/main.xml");
    ASSERT_TRUE(base.has_value());
    const auto resolved = base->resolving("../icon.png");
    ASSERT_TRUE(resolved.has_value());
    EXPECT_EQ(resolved->absoluteString(), "https://user@[2001:db8::1]:8443/icon.png");
    EXPECT_EQ(resolved->host(), "2001:db8::1");
    EXPECT_EQ(resolved->port(), 8443);

    const auto root = URL::parse("http://example.com")->resolving("/");
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->absoluteString(), "http://example.com/");
    EXPECT_EQ(URL::parse("http://example.com")->resolving("x")->absoluteString(), "http://example.com/x");

    EXPECT_FALSE(base->resolving("a b").has_value());
    EXPECT_FALSE(base->resolving("http://[::1").has_value());
}

TEST(URLTest, AppendsAPathComponent) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"https://example.com", "feed", "https://example.com/feed"},
        {"https://example.com/", "feed", "https://example.com/feed"},
        {"https://example.com/blog", "feed", "https://example.com/blog/feed"},
        {"https://example.com/blog/", "feed", "https://example.com/blog/feed"},
        {"https://example.com/blog?page=2#top", "feed", "https://example.com/blog/feed?page=2#top"},
        {"https://example.com/a", "b c%?#", "https://example.com/a/b%20c%25%3F%23"},
        {"https://example.com/a", "é", "https://example.com/a/%C3%A9"},
    };
    for (const auto& [base, component, expected] : cases) {
        SCOPED_TRACE(base + " + " + component);
        const auto url = URL::parse(base);
        ASSERT_TRUE(url.has_value());
        const URL appended = url->appendingPathComponent(component);
        EXPECT_EQ(appended.absoluteString(), expected);
        EXPECT_EQ(URL::parse(expected), appended);
    }
}

TEST(URLTest, EqualityFollowsTheText) {
    EXPECT_EQ(URL::parse("http://example.com/x"), URL::parse("http://example.com/x"));
    EXPECT_NE(URL::parse("http://example.com/x"), URL::parse("http://EXAMPLE.com/x"));
}

TEST(URLTest, LongAndHostileInputIsLinear) {
    std::string text = "http://example.com/";
    for (int i = 0; i < 200000; ++i) text += "a/../%41/./";
    const auto url = URL::parse(text);
    ASSERT_TRUE(url.has_value());
    const auto resolved = url->resolving("x/../y");
    ASSERT_TRUE(resolved.has_value());
    EXPECT_TRUE(resolved->absoluteString().starts_with("http://example.com/"));
    std::string colons = "http://[" + std::string(100000, ':') + "]/";
    EXPECT_FALSE(URL::parse(colons).has_value());
}

}  // namespace
