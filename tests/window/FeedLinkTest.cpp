#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "window/AppDelegate.h"

using namespace tallowmere;

TEST(FeedLink, AddressOfLink) {
    struct Case {
        const char* link;
        std::optional<std::string> address;
    };
    const Case cases[] = {
        // An embedded address is taken from its scheme on, whatever came before.
        {"feed:https://example.org/rss.xml", "https://example.org/rss.xml"},
        {"feed://ignored/then/http://example.org/feed", "http://example.org/feed"},
        // The leading scheme alone turns into http; the rest stays as it is.
        {"feed://example.org/feed.xml", "http://example.org/feed.xml"},
        {"feed://example.org/feed://x", "http://example.org/feed://x"},
        // Both schemes embedded: the earlier one wins.
        {"feed:https://a.example/?next=http://b.example/", "https://a.example/?next=http://b.example/"},
        {"feed:http://a.example/?next=https://b.example/", "http://a.example/?next=https://b.example/"},
        // Beginning with "feed" without the full prefix: unchanged.
        {"feeds.example.org/rss", "feeds.example.org/rss"},
        // Anything else is no feed link; the test is case-sensitive.
        {"https://example.org/feed.xml", std::nullopt},
        {"FEED://example.org/feed.xml", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(AppDelegate::feedAddress(item.link), item.address) << item.link;
    }
}
