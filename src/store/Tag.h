#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/graph/FetchRequest.h"
#include "store/StoredObject.h"

namespace tallowmere {

class Article;

// A category an article was filed under by its feed.
class Tag : public StoredObject {
public:
    static constexpr const char* entityName = "Tag";
    struct Key {
        static constexpr const char* name = "name";
        static constexpr const char* articles = "articles";
    };

    explicit Tag(graph::ObjectPtr object) : StoredObject(std::move(object), entityName) {}
    static std::optional<Tag> from(const graph::ObjectPtr& object);
    static graph::FetchRequest fetchRequest() { return graph::FetchRequest(entityName); }
    static Tag insert(graph::Context& context) { return Tag(context.insert(entityName)); }

    std::optional<std::string> name() const { return text(Key::name); }
    bool setName(std::optional<std::string> value) const { return setText(Key::name, std::move(value)); }

    std::vector<Article> articles() const;
    std::size_t articleCount() const { return object_->count(Key::articles); }
};

}  // namespace tallowmere

#include "store/Article.h"
