#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/readability/URLResolver.h"

using tallowmere::readability::URLResolver;

namespace {

struct Resolution {
    const char* base;
    const char* reference;
    std::optional<std::string> expected;
};

std::ostream& operator<<(std::ostream& out, const Resolution& r) {
    return out << r.base << " + " << r.reference;
}

}  // namespace

class Resolve : public testing::TestWithParam<Resolution> {};

TEST_P(Resolve, FollowsRfc3986) {
    const Resolution& r = GetParam();
    EXPECT_EQ(URLResolver(r.base, "").resolve(r.reference), r.expected);
}

// The reference resolution examples of RFC 3986 section 5.4 (the empty
// reference aside: an empty attribute names nothing here).
INSTANTIATE_TEST_SUITE_P(
    RfcExamples, Resolve,
    testing::Values(Resolution{"http://a/b/c/d;p?q", "g", "http://a/b/c/g"},
                    Resolution{"http://a/b/c/d;p?q", "./g", "http://a/b/c/g"},
                    Resolution{"http://a/b/c/d;p?q", "g/", "http://a/b/c/g/"},
                    Resolution{"http://a/b/c/d;p?q", "/g", "http://a/g"},
                    Resolution{"http://a/b/c/d;p?q", "//g", "http://g"},
                    Resolution{"http://a/b/c/d;p?q", "?y", "http://a/b/c/d;p?y"},
                    Resolution{"http://a/b/c/d;p?q", "g?y", "http://a/b/c/g?y"},
                    Resolution{"http://a/b/c/d;p?q", "#s", "http://a/b/c/d;p?q#s"},
                    Resolution{"http://a/b/c/d;p?q", "g#s", "http://a/b/c/g#s"},
                    Resolution{"http://a/b/c/d;p?q", "g?y#s", "http://a/b/c/g?y#s"},
                    Resolution{"http://a/b/c/d;p?q", ";x", "http://a/b/c/;x"},
                    Resolution{"http://a/b/c/d;p?q", "g;x", "http://a/b/c/g;x"},
                    Resolution{"http://a/b/c/d;p?q", ".", "http://a/b/c/"},
                    Resolution{"http://a/b/c/d;p?q", "./", "http://a/b/c/"},
                    Resolution{"http://a/b/c/d;p?q", "..", "http://a/b/"},
                    Resolution{"http://a/b/c/d;p?q", "../", "http://a/b/"},
                    Resolution{"http://a/b/c/d;p?q", "../g", "http://a/b/g"},
                    Resolution{"http://a/b/c/d;p?q", "../..", "http://a/"},
                    Resolution{"http://a/b/c/d;p?q", "../../g", "http://a/g"},
                    Resolution{"http://a/b/c/d;p?q", "../../../g", "http://a/g"},
                    Resolution{"http://a/b/c/d;p?q", "../../../../g", "http://a/g"},
                    Resolution{"http://a/b/c/d;p?q", "/./g", "http://a/g"},
                    Resolution{"http://a/b/c/d;p?q", "/../g", "http://a/g"},
                    Resolution{"http://a/b/c/d;p?q", "g.", "http://a/b/c/g."},
                    Resolution{"http://a/b/c/d;p?q", ".g", "http://a/b/c/.g"},
                    Resolution{"http://a/b/c/d;p?q", "g..", "http://a/b/c/g.."},
                    Resolution{"http://a/b/c/d;p?q", "..g", "http://a/b/c/..g"},
                    Resolution{"http://a/b/c/d;p?q", "./../g", "http://a/b/g"},
                    Resolution{"http://a/b/c/d;p?q", "./g/.", "http://a/b/c/g/"},
                    Resolution{"http://a/b/c/d;p?q", "g/./h", "http://a/b/c/g/h"},
                    Resolution{"http://a/b/c/d;p?q", "g/../h", "http://a/b/c/h"},
                    Resolution{"http://a/b/c/d;p?q", "g;x=1/./y", "http://a/b/c/g;x=1/y"},
                    Resolution{"http://a/b/c/d;p?q", "g;x=1/../y", "http://a/b/c/y"},
                    Resolution{"http://a/b/c/d;p?q", "g?y/./x", "http://a/b/c/g?y/./x"},
                    Resolution{"http://a/b/c/d;p?q", "g#s/../x", "http://a/b/c/g#s/../x"}));

INSTANTIATE_TEST_SUITE_P(
    PageAddresses, Resolve,
    testing::Values(
        Resolution{"https://ex.com/a", "//cdn.ex.com/y.jpg", "https://cdn.ex.com/y.jpg"},
        Resolution{"https://ex.com/a/", " \n img a.png\t", "https://ex.com/a/img%20a.png"},
        Resolution{"https://ex.com/", "bild/größe.png", "https://ex.com/bild/gr%C3%B6%C3%9Fe.png"},
        Resolution{"https://ex.com/", "a%20b.png", "https://ex.com/a%20b.png"},
        Resolution{"https://ex.com/", "HTTPS://Other.example/x.png", "HTTPS://Other.example/x.png"},
        Resolution{"", "https://cdn.example/x.png", "https://cdn.example/x.png"},
        Resolution{"", "x.png", std::nullopt}, Resolution{"https://ex.com/", "", std::nullopt},
        Resolution{"https://ex.com/", "   ", std::nullopt},
        Resolution{"https://ex.com/", "data:image/png;base64,iVBORw0KGgo=", std::nullopt},
        Resolution{"https://ex.com/", "javascript:void(0)", std::nullopt},
        Resolution{"https://ex.com/", "mailto:desk@ex.com", std::nullopt},
        Resolution{"https://ex.com/", "ftp://files.ex.com/a.jpg", std::nullopt},
        Resolution{"https://ex.com/", "http://", std::nullopt}));

TEST(URLResolver, BaseHrefIsResolvedAgainstThePage) {
    EXPECT_EQ(URLResolver("https://ex.com/news/today.html", "/static/").resolve("a.jpg"),
              "https://ex.com/static/a.jpg");
    EXPECT_EQ(URLResolver("https://ex.com/news/today.html", "").resolve("a.jpg"),
              "https://ex.com/news/a.jpg");
}

TEST(URLResolver, HostIsLowerCasedWithoutWwwPortOrUser) {
    EXPECT_EQ(URLResolver::host("https://WWW.YouTube.com/embed/x"), "youtube.com");
    EXPECT_EQ(URLResolver::host("http://user:pw@player.vimeo.com:8080/v?x"), "player.vimeo.com");
    EXPECT_EQ(URLResolver::host("no url"), "");
}
