#include <gtest/gtest.h>

#include "feeds/FeedsManagerFixture.h"
#include "platform/defaults/UserDefaults.h"
#include "support/BackendStub.h"
#include "service/NullTallowmereManager.h"
#include "support/TestCertificates.h"

namespace tallowmere::test {
namespace {

// The backend client installed from the settings for one test; the
// stand-in goes back before the web service it sends through goes away.
class InstalledBackend {
public:
    explicit InstalledBackend(const std::string& baseURL, const std::filesystem::path& settingsFile)
        : web_(WebService::SessionOptions{TestCertificates::shared().authority.string(), std::nullopt, {}}) {
        defaults::UserDefaults settings(settingsFile);
        settings.set(TallowmereManager::backendURLKey, baseURL);
        installed_ = TallowmereManager::installFromSettings(settings, web_);
    }
    ~InstalledBackend() { TallowmereManager::setShared(std::make_shared<NullTallowmereManager>()); }
    bool installed() const { return installed_; }

private:
    WebService web_;
    bool installed_ = false;
};

TEST_F(FeedsManagerTest, AnAddedFeedIsReportedToTheBackendNamedInTheSettings) {
    BackendStub stub;
    stub.answer("/add", StubAnswer{200, R"({"added": []})"});
    InstalledBackend backend(stub.baseURL(), dir.path() / "settings.json");
    ASSERT_TRUE(backend.installed());

    server->setFeed("news.xml", servedFeed("News", servedItems("n", 2)));
    const std::string url = server->feedURL("news.xml");
    EXPECT_EQ(addAndWait(url), std::nullopt);

    ASSERT_TRUE(stub.waitForRequests(1));
    const StubRequest request = stub.requests().front();
    EXPECT_EQ(request.path, "/api/add");
    EXPECT_EQ(nlohmann::json::parse(request.body), (nlohmann::json{{"feeds", {url}}}));
}

}  // namespace
}  // namespace tallowmere::test
