#include <gtest/gtest.h>

#include "ArticlesTestSupport.h"
#include "sources/TagsSource.h"
#include "store/Tag.h"

using namespace tallowmere;
using test::daysAgo;

namespace {

class TagsSourceTest : public test::ArticlesStoreTest {
protected:
    std::vector<std::string> storedTagNames() {
        std::vector<std::string> names;
        background().performAndWait([&] {
            auto request = Tag::fetchRequest();
            request.sortDescriptors = {{Tag::Key::name, true, false}};
            for (const Tag& tag : makeHandles<Tag>(background().fetch(request)->all())) names.push_back(*tag.name());
        });
        return names;
    }
};

TEST_F(TagsSourceTest, OneTagPerNameAcrossCaseAndAccentsStoredLowerCased) {
    Feed feed = makeFeed("news");
    Article first = makeArticle(feed, "https://news.example/1", daysAgo(1));
    Article second = makeArticle(feed, "https://news.example/2", daysAgo(1));
    auto& tags = TagsSource::shared();
    TagsSource::TagSet firstTags, secondTags;
    background().performAndWait([&] {
        // Unsaved tags of the same context are found by the next lookup.
        for (const char* name : {"Design", "design", "DESIGN", "Café"}) tags.addTag(name, background(), firstTags);
        tags.setTags(firstTags, first);
        for (const char* name : {"cafe", "ÉCOLE", "Design"}) tags.addTag(name, background(), secondTags);
        tags.setTags(secondTags, second);
    });
    EXPECT_EQ(firstTags.size(), 2u);
    EXPECT_EQ(secondTags.size(), 3u);
    background().performAndWait([&] { ASSERT_TRUE(background().save().ok()); });
    EXPECT_EQ(storedTagNames(), (std::vector<std::string>{"café", "design", "école"}));

    // A saved tag is found again from another context, without regard to accents.
    TagsSource::TagSet fromMain;
    main().performAndWait([&] { tags.addTag("CAFE", main(), fromMain); });
    ASSERT_EQ(fromMain.size(), 1u);
    main().performAndWait([&] { EXPECT_EQ(fromMain.front().name(), "café"); });
    EXPECT_FALSE(main().hasChanges());
}

TEST_F(TagsSourceTest, SetTagsReplacesTheWholeRelation) {
    Feed feed = makeFeed("news");
    Article article = makeArticle(feed, "https://news.example/1", daysAgo(1));
    auto& tags = TagsSource::shared();
    background().performAndWait([&] {
        TagsSource::TagSet set;
        tags.addTag("one", background(), set);
        tags.addTag("two", background(), set);
        tags.setTags(set, article);
        EXPECT_EQ(article.tags().size(), 2u);

        TagsSource::TagSet other;
        tags.addTag("Two", background(), other);
        tags.setTags(other, article);
        ASSERT_EQ(article.tags().size(), 1u);
        EXPECT_EQ(article.tags().front().name(), "two");

        tags.setTags({}, article);
        EXPECT_TRUE(article.tags().empty());
        ASSERT_TRUE(background().save().ok());
    });
    EXPECT_EQ(storedTagNames(), (std::vector<std::string>{"one", "two"}));
}

}  // namespace
