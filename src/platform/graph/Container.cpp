#include "platform/graph/Container.h"

#include <charconv>

#include "platform/dispatch/MainQueue.h"
#include "platform/graph/Store.h"

namespace tallowmere::graph {

Result<std::shared_ptr<Container>> Container::open(const std::string& path, const ModelDescription& model) {
    auto container = std::shared_ptr<Container>(new Container());
    container->model_ = std::make_unique<ModelDescription>(model);
    auto store = Store::open(path, *container->model_);
    if (!store) return store.error();
    container->store_ = std::move(store.value());
    container->main_ = std::shared_ptr<Context>(
        new Context(container.get(), nullptr, nullptr, dispatch::MainQueue::shared()));
    container->main_->gate_->noteQueueThreadIfCurrent();
    container->contexts_.push_back(container->main_);
    return container;
}

Container::~Container() { main_.reset(); }

const std::string& Container::storeIdentifier() const { return store_->identifier(); }

std::shared_ptr<Context> Container::newPrivateContext(std::string label) {
    auto queue = std::make_unique<dispatch::SerialQueue>(std::move(label), dispatch::QualityOfService::utility);
    dispatch::Queue& ref = *queue;
    auto context = std::shared_ptr<Context>(new Context(this, shared_from_this(), std::move(queue), ref));
    context->setMergePolicy(MergePolicy::objectTrumps);
    std::lock_guard lock(contextsMutex_);
    std::erase_if(contexts_, [](const auto& weak) { return weak.expired(); });
    contexts_.push_back(context);
    return context;
}

std::optional<ObjectID> Container::objectID(std::string_view uri) const {
    constexpr std::string_view scheme = "tallowmere://";
    if (uri.substr(0, scheme.size()) != scheme) return std::nullopt;
    uri.remove_prefix(scheme.size());
    auto slash = uri.find('/');
    if (slash == std::string_view::npos || uri.substr(0, slash) != storeIdentifier()) return std::nullopt;
    uri.remove_prefix(slash + 1);
    slash = uri.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const EntityDescription* entity = model_->entityNamed(uri.substr(0, slash));
    if (!entity) return std::nullopt;
    uri.remove_prefix(slash + 1);
    if (uri.size() < 2 || uri.front() != 'p') return std::nullopt;  // temporary IDs do not outlive their context
    std::int64_t key = 0;
    auto [end, error] = std::from_chars(uri.data() + 1, uri.data() + uri.size(), key);
    if (error != std::errc() || end != uri.data() + uri.size() || key <= 0) return std::nullopt;
    return ObjectID(entity, key);
}

Result<void> Container::batchDelete(std::string_view entityName) {
    const EntityDescription* entity = model_->entityNamed(entityName);
    if (!entity) return GraphError{GraphErrorCode::invalidRequest, "unknown entity " + std::string(entityName)};
    std::string sql = "DELETE FROM \"" + entity->table() + "\"";
    if (entity->hasEntityColumn() && entity != entity->root()) {
        std::string list;
        for (const auto* e : entity->descendants()) list += (list.empty() ? "'" : ",'") + e->name() + "'";
        sql += " WHERE entity IN (" + list + ")";
    }
    std::lock_guard lock(store_->mutex());
    auto done = store_->db().beginWrite();
    if (!done) return done;
    done = store_->db().exec(sql);
    if (!done) {
        store_->db().exec("ROLLBACK");
        return done;
    }
    done = store_->db().exec("COMMIT");
    if (!done) store_->db().exec("ROLLBACK");
    return done;
}

void Container::didSave(Context& source, const ChangeSet& changes) {
    std::vector<std::shared_ptr<Context>> targets;
    {
        std::lock_guard lock(contextsMutex_);
        for (const auto& weak : contexts_)
            if (auto context = weak.lock(); context && context.get() != &source) targets.push_back(context);
    }
    auto shared = std::make_shared<const ChangeSet>(changes);
    for (const auto& context : targets) {
        if (!context->automaticallyMergesChanges()) continue;
        std::weak_ptr<Context> weak = context;
        context->perform([weak, shared] {
            if (auto target = weak.lock()) target->mergeChanges(*shared);
        });
    }
}

}  // namespace tallowmere::graph
