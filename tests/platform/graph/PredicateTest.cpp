#include <algorithm>
#include <map>
#include <set>

#include "GraphTestModel.h"

using namespace tallowmere::graph;
using namespace tallowmere::graph::test;

namespace {
struct Row {
    std::string name;
    Predicate predicate;
    std::set<std::string> expected;  // article labels
};
}  // namespace

using PredicateTest = GraphTest;

// Each predicate runs as SQL over the stored rows and in memory over the same
// objects; both must give the expected set.
TEST_F(PredicateTest, SqlAndMemoryAgreeOnEveryPredicate) {
    std::map<std::string, ObjectID> ids;
    ObjectID feedA;
    main->performAndWait([&] {
        auto a = main->insert("Feed");
        a->setString("name", "Ärger");
        a->setString("url", "https://a_b.example/100%/feed");
        a->setString("sortName", "feed 2");
        auto b = main->insert("Feed");
        b->setString("name", "arger");
        b->setString("url", "https://aXb.example/100x/feed");
        b->setString("sortName", "feed 10");
        auto c = main->insert("Feed");
        c->setString("url", "HTTPS://Ünïcode.example/");
        auto folder = main->insert("Folder");
        folder->add("feeds", c);
        auto tag = main->insert("Tag");
        tag->setString("name", "design");
        auto article = [&](const std::string& label, const ObjectPtr& feed, std::optional<std::string> title, std::optional<double> date,
                           std::int64_t hash) {
            auto x = main->insert("Article");
            x->setString("link", label);
            x->setString("title", title);
            if (date) x->setDate("date", Date{*date});
            x->setInteger("tallowmereHash", hash);
            x->setToOne("feed", feed);
            return x;
        };
        auto a1 = article("a1", a, "Zebra", 100, 11);
        a1->setToOne("unreadInFeed", a);
        a1->add("tags", tag);
        auto a2 = article("a2", a, "almond", 200, 22);
        a2->setDate("readDate", Date{500});
        a2->setToOne("starredInFeed", a);
        a2->add("tags", tag);
        auto a3 = article("a3", b, std::nullopt, 300, 33);
        a3->setToOne("unreadInFeed", b);
        auto a4 = article("a4", nullptr, "Éclair", std::nullopt, 0);
        article("a5", c, "über", 50, 55);
        ASSERT_TRUE(main->save().ok());
        for (const auto& x : {a1, a2, a3, a4}) ids[*x->string("link")] = x->objectID();
        feedA = a->objectID();
    });

    const std::set<std::string> all{"a1", "a2", "a3", "a4", "a5"};
    std::vector<Row> table{
        {"true", Predicate::truePredicate(), all},
        {"equal", Predicate::equal("title", std::string("almond")), {"a2"}},
        {"not equal includes absent",
         Predicate::notEqual("title", std::string("almond")),
         {"a1", "a3", "a4", "a5"}},
        {"equal cd", Predicate::equalsFolded("title", "ALMOND"), {"a2"}},
        {"equal cd accent", Predicate::equalsFolded("title", "eclair"), {"a4"}},
        {"equal cd umlaut", Predicate::equalsFolded("title", "UBER"), {"a5"}},
        {"begins cd", Predicate::beginsWithFolded("title", "ÉC"), {"a4"}},
        {"begins cd underscore is literal",
         Predicate::beginsWithFolded("feed.url", "https://a_b"),
         {"a1", "a2"}},
        {"begins cd percent is literal",
         Predicate::beginsWithFolded("feed.url", "https://a_b.example/100%"),
         {"a1", "a2"}},
        {"begins cd no wildcard", Predicate::beginsWithFolded("feed.url", "https://a%"), {}},
        {"begins cd non-ascii", Predicate::beginsWithFolded("feed.url", "https://unicode"), {"a5"}},
        {"begins case-sensitive",
         Predicate::compare("title", Comparison::beginsWith, std::string("Ze")),
         {"a1"}},
        {"key path cd Ä == a", Predicate::equalsFolded("feed.name", "arger"), {"a1", "a2", "a3"}},
        {"key path exact", Predicate::equal("feed.name", std::string("arger")), {"a3"}},
        {"two hops", Predicate::isNil("feed.folder"), {"a1", "a2", "a3", "a4"}},
        {"date greater", Predicate::compare("readDate", Comparison::greater, Date{400}), {"a2"}},
        {"nil", Predicate::isNil("readDate"), {"a1", "a3", "a4", "a5"}},
        {"not nil relation", Predicate::notNil("unreadInFeed"), {"a1", "a3"}},
        {"not over absent",
         !Predicate::compare("readDate", Comparison::greater, Date{400}),
         {"a1", "a3", "a4", "a5"}},
        {"range",
         Predicate::compare("date", Comparison::greaterOrEqual, Date{200}) &&
             Predicate::compare("date", Comparison::less, Date{300}),
         {"a2"}},
        {"less or equal", Predicate::compare("date", Comparison::lessOrEqual, Date{100}), {"a1", "a5"}},
        {"object equal", Predicate::equal("feed", feedA), {"a1", "a2"}},
        {"self in", Predicate::in("self", {ids["a1"], ids["a4"]}), {"a1", "a4"}},
        {"integer in",
         Predicate::in("tallowmereHash", {std::int64_t{11}, std::int64_t{33}, std::int64_t{99}}),
         {"a1", "a3"}},
        {"string in",
         Predicate::in("feed.url", {std::string("https://a_b.example/100%/feed")}),
         {"a1", "a2"}},
        {"not in",
         !Predicate::in("tallowmereHash", {std::int64_t{11}, std::int64_t{22}}),
         {"a3", "a4", "a5"}},
        {"empty in", Predicate::in("tallowmereHash", {}), {}},
        {"count zero", Predicate::count("tags", Comparison::equal, 0), {"a3", "a4", "a5"}},
        {"count above", Predicate::count("tags", Comparison::greater, 0), {"a1", "a2"}},
        {"or and",
         (Predicate::notNil("unreadInFeed") ||
          Predicate::compare("readDate", Comparison::greater, Date{400})) &&
             Predicate::beginsWithFolded("feed.sortName", "FEED"),
         {"a1", "a2", "a3"}},
        {"binary text order", Predicate::compare("title", Comparison::less, std::string("b")), {"a1", "a2"}},
        {"less cd", Predicate::compareFolded("title", Comparison::less, "B"), {"a2"}},
        {"greater cd", Predicate::compareFolded("title", Comparison::greater, "D"), {"a1", "a4", "a5"}},
        {"not cd over absent", !Predicate::equalsFolded("title", "almond"), {"a1", "a3", "a4", "a5"}},
        {"empty and", Predicate::allOf({}), all},
        {"empty or", Predicate::anyOf({}), {}},
    };

    main->performAndWait([&] {
        FetchRequest everything("Article");
        auto objects = main->fetch(everything).value().all();
        ASSERT_EQ(objects.size(), 5u);
        for (const auto& row : table) {
            FetchRequest request("Article");
            request.predicate = row.predicate;
            auto fetched = main->fetch(request);
            ASSERT_TRUE(fetched.ok()) << row.name << ": " << fetched.error().message;
            std::set<std::string> viaSql, inMemory;
            for (const auto& o : fetched.value()) viaSql.insert(*o->string("link"));
            for (const auto& o : objects)
                if (row.predicate.evaluate(*o)) inMemory.insert(*o->string("link"));
            EXPECT_EQ(viaSql, row.expected) << row.name << " (SQL)";
            EXPECT_EQ(inMemory, row.expected) << row.name << " (memory)";
            EXPECT_EQ(main->count(request).value(), row.expected.size()) << row.name << " (count)";
        }
    });
}

TEST_F(PredicateTest, UnknownKeysAreReportedAsErrors) {
    main->performAndWait([&] {
        FetchRequest request("Article");
        request.predicate = Predicate::equal("nope", std::int64_t{1});
        EXPECT_FALSE(main->fetch(request).ok());
        request.predicate = Predicate::equal("tags.name", std::string("x"));  // through a to-many
        EXPECT_FALSE(main->fetch(request).ok());
        request.predicate = Predicate::truePredicate();
        request.sortDescriptors = {{"feed.nope", true, false}};
        EXPECT_FALSE(main->fetch(request).ok());
        EXPECT_FALSE(main->fetch(FetchRequest("Nothing")).ok());
    });
}

TEST_F(PredicateTest, LocalizedStandardOrderIsNumericAndTheSameInMemory) {
    const std::vector<std::string> names{"Feed 10", "Zebra", "Feed 2", "feed 1", "Äpfel", "apfel", "Feed 1a"};
    const std::vector<std::string> expected{"apfel", "Äpfel", "feed 1", "Feed 1a", "Feed 2", "Feed 10", "Zebra"};
    FetchRequest request("Node");
    request.sortDescriptors = {{"name", true, true}};
    main->performAndWait([&] {
        // Pending objects are ordered in memory, then the same names from the store by SQL.
        for (const auto& name : names) main->insert("Feed")->setString("name", name);
        auto pending = main->fetch(request).value().all();
        std::vector<std::string> inMemory;
        for (const auto& o : pending) inMemory.push_back(*o->string("name"));
        EXPECT_EQ(inMemory, expected);
        ASSERT_TRUE(main->save().ok());
        auto stored = main->fetch(request).value().all();
        std::vector<std::string> viaSql;
        for (const auto& o : stored) viaSql.push_back(*o->string("name"));
        EXPECT_EQ(viaSql, expected);
        request.sortDescriptors[0].ascending = false;
        auto reversed = main->fetch(request).value().all();
        EXPECT_EQ(*reversed.front()->string("name"), "Zebra");
        // A fetch of the parent entity returns the children.
        main->insert("Folder")->setString("name", "Feed 3");
        request.sortDescriptors[0].ascending = true;
        auto mixed = main->fetch(request).value().all();
        ASSERT_EQ(mixed.size(), 8u);
        EXPECT_EQ(mixed[5]->entity().name(), "Folder");
        ASSERT_TRUE(main->save().ok());
        EXPECT_EQ(main->fetch(request).value()[5]->entity().name(), "Folder");
        EXPECT_EQ(main->count(FetchRequest("Feed")).value(), 7u);
        EXPECT_EQ(main->count(FetchRequest("Folder")).value(), 1u);
    });
}

// Alternatives looked up one by one come back as one list: each row once,
// in the requested order, also when ordered by a related object's text and
// when a row fits more than one alternative or leaves one unknown.
TEST_F(PredicateTest, SeparateAlternativesGiveEachRowOnceInOrder) {
    std::map<ObjectID, std::string> labels;
    ObjectID feedB;
    main->performAndWait([&] {
        auto a = main->insert("Feed");
        a->setString("sortName", "feed 2");
        auto b = main->insert("Feed");
        b->setString("sortName", "feed 10");
        auto article = [&](const std::string& label, const ObjectPtr& feed, double date, bool unread, std::optional<double> readDate) {
            auto x = main->insert("Article");
            x->setString("link", label);
            x->setDate("date", Date{date});
            x->setToOne("feed", feed);
            if (unread) x->setToOne("unreadInFeed", feed);
            if (readDate) x->setDate("readDate", Date{*readDate});
            return x;
        };
        std::vector<ObjectPtr> made{article("both", a, 100, true, 900), article("readLater", a, 200, false, 500),
                                    article("unreadB", b, 300, true, std::nullopt), article("read", a, 400, false, 100),
                                    article("oldUnreadB", b, 50, true, std::nullopt)};
        ASSERT_TRUE(main->save().ok());
        for (const auto& x : made) labels[x->objectID()] = *x->string("link");
        feedB = b->objectID();
    });
    const Predicate unread = Predicate::anyOfSeparately(
        {Predicate::notNil("unreadInFeed"), Predicate::compare("readDate", Comparison::greater, Date{400})});
    struct Case {
        std::string name;
        Predicate predicate;
        std::vector<SortDescriptor> sorts;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"by date", unread, {{"date", true}}, {"oldUnreadB", "both", "readLater", "unreadB"}},
        {"by feed, then newest", unread, {{"feed.sortName", true, true}, {"date", false}},
         {"readLater", "both", "unreadB", "oldUnreadB"}},
        {"within a feed", unread && Predicate::equal("feed", feedB), {{"date", false}}, {"unreadB", "oldUnreadB"}},
    };
    main->performAndWait([&] {
        for (const auto& c : cases) {
            FetchRequest request("Article");
            request.predicate = c.predicate;
            request.sortDescriptors = c.sorts;
            auto ids = main->fetchObjectIDs(request);
            ASSERT_TRUE(ids.ok()) << c.name << ": " << ids.error().message;
            std::vector<std::string> got;
            for (const auto& id : ids.value()) got.push_back(labels[id]);
            EXPECT_EQ(got, c.expected) << c.name;
            EXPECT_EQ(main->count(request).value(), c.expected.size()) << c.name;
        }
    });
}
