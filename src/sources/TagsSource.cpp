#include "sources/TagsSource.h"

#include <algorithm>

#include "foundation/TextOperations.h"
#include "platform/graph/Predicate.h"

namespace tallowmere {

TagsSource& TagsSource::shared() {
    static TagsSource instance;
    return instance;
}

void TagsSource::addTag(const std::string& name, graph::Context& context, TagSet& tags, KnownTags* known) const {
    const std::string lowered = lowercased(name);
    auto remembered = known ? known->find(lowered) : KnownTags::iterator();
    // A remembered tag deleted since is looked up again.
    const bool live = known && remembered != known->end() && !remembered->second.isDeleted();
    std::optional<Tag> found = live ? std::optional(remembered->second) : tag(lowered, context);
    Tag result = found ? *found : makeTag(lowered, context);
    if (known) known->insert_or_assign(lowered, result);
    if (std::find(tags.begin(), tags.end(), result) == tags.end()) tags.push_back(result);
}

void TagsSource::setTags(const TagSet& tags, const Article& article) const {
    std::vector<graph::ObjectPtr> objects;
    objects.reserve(tags.size());
    for (const Tag& tag : tags) objects.push_back(tag.object());
    article.object()->setToMany(Article::Key::tags, objects);
}

std::optional<Tag> TagsSource::tag(const std::string& name, graph::Context& context) const {
    graph::FetchRequest request = Tag::fetchRequest();
    request.fetchLimit = 1;
    request.predicate = graph::Predicate::equalsFolded(Tag::Key::name, name);
    std::optional<Tag> found;
    context.performAndWait([&] {
        auto results = context.fetch(request);
        // A failed lookup counts as no tag: a new one is made.
        if (results.ok() && !results->empty()) found = Tag::from(results->front());
    });
    return found;
}

Tag TagsSource::makeTag(const std::string& name, graph::Context& context) const {
    std::optional<Tag> made;
    context.performAndWait([&] {
        made = Tag::insert(context);
        made->setName(name);
    });
    return *made;
}

}  // namespace tallowmere
