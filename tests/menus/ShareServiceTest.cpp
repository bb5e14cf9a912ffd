#include <gtest/gtest.h>

#include <QUrlQuery>
#include <string>
#include <vector>

#include "menus/ShareService.h"

using namespace tallowmere;

TEST(ShareService, AMailBodyStaysOneEncodedValue) {
    const std::vector<std::string> bodies = {
        "https://example.org/a?x=1&y=2#part",
        "https://example.org/?subject=hi&cc=eve@example.org",
        "line one\r\nline two\nbcc: eve@example.org",
        "percent %41 plus + space and unicode \xC3\xA9\xE2\x9C\x93",
        "",
    };
    for (const std::string& body : bodies) {
        const QUrl url = ShareService::mailtoURL(body);
        ASSERT_TRUE(url.isValid()) << body;
        const QByteArray encoded = url.toEncoded();
        EXPECT_TRUE(encoded.startsWith("mailto:?body=")) << encoded.toStdString();
        for (char raw : {'&', '#', '\n', '\r', ' ', '+'})
            EXPECT_EQ(encoded.mid(13).indexOf(raw), -1) << body << " keeps " << int(raw);
        const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
        ASSERT_EQ(items.size(), 1) << encoded.toStdString();
        EXPECT_EQ(items.front().second.toStdString(), body);
    }
}

TEST(ShareService, TheBrowserIsOfferedForWebLinksOnly) {
    struct Case {
        const char* link;
        std::vector<std::string> titles;
    };
    const std::string email = ShareService::localized("email"), browser = ShareService::localized("open_in_browser");
    EXPECT_EQ(email, "E-mail");
    EXPECT_EQ(browser, "Open in browser");
    for (const Case& c : std::vector<Case>{{"https://example.org/x", {email, browser}},
                                           {"http://example.org", {email, browser}},
                                           {"HtTpS://example.org/", {email, browser}},
                                           {"https:no-host", {email}},
                                           {"javascript:alert(1)", {email}},
                                           {"file:///etc/passwd", {email}},
                                           {"mailto:a@example.org", {email}},
                                           {"ftp://example.org/f", {email}}}) {
        auto url = URL::parse(c.link);
        ASSERT_TRUE(url) << c.link;
        std::vector<std::string> titles;
        for (const auto& service : ShareService::sharingServices({*url})) titles.push_back(service->menuItemTitle().toStdString());
        EXPECT_EQ(titles, c.titles) << c.link;
    }
    EXPECT_TRUE(ShareService::sharingServices({}).empty());
}
