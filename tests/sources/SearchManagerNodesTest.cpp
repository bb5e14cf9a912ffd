// The node source deleting feeds through the real search index.
#include <future>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "NodesSourceTestSupport.h"
#include "sources/SearchManager.h"
#include "sources/SearchManagerIndexing.h"
#include "store/Article.h"
#include "store/Feed.h"

using namespace tallowmere;
using tallowmere::graph::ObjectID;

namespace {

class SearchManagerWithNodes : public test::NodesSourceTest {
protected:
    void SetUp() override {
        test::NodesSourceTest::SetUp();
        manager = std::make_unique<SearchManager>(dir.path() / "Tallowmere.index", controller);
        source = NodesSource::make(controller, std::make_shared<SearchManagerIndexing>(*manager));
    }
    void TearDown() override {
        source.reset();
        manager.reset();
        test::NodesSourceTest::TearDown();
    }

    Article storedArticle(const std::string& title, const std::optional<Feed>& feed) {
        Article article = Article::insert(main());
        article.setTitle(title);
        if (feed) article.setFeed(Feed(main().object(feed->objectID())));
        return article;
    }
    std::set<ObjectID> found(const std::string& text) {
        std::set<ObjectID> ids;
        std::promise<void> done;
        manager->search(
            text, [&](std::vector<ObjectID> batch) { ids.insert(batch.begin(), batch.end()); },
            [&] { done.set_value(); });
        done.get_future().wait();
        return ids;
    }

    std::unique_ptr<SearchManager> manager;
};

}  // namespace

TEST_F(SearchManagerWithNodes, RemovingAllNodesTakesTheirArticlesOutOfTheIndex) {
    Feed a = addFeed("a", "https://a.example/feed");
    Feed b = addFeed("b", "https://b.example/feed");
    std::vector<Article> articles = {storedArticle("Harbour one", a), storedArticle("Harbour two", b),
                                     storedArticle("Harbour three", b), storedArticle("Harbour loose", std::nullopt)};
    saveAndWait();
    for (const Article& article : articles) manager->indexArticle(article);
    ASSERT_EQ(found("harbour").size(), 4u);

    wait([&](NodesSource::Completion done) { source->removeAllNodes(std::move(done)); });
    EXPECT_EQ(found("harbour"), std::set<ObjectID>{articles[3].objectID()});
}
