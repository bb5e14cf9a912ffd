#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/graph/ChangeSet.h"
#include "platform/graph/ObjectID.h"

namespace tallowmere::graph {

// What one context's save or merge changed, told to whoever listens to every
// context of the process: the updated objects come with the names of their
// changed keys.
struct ObjectsDidChange {
    std::vector<ObjectID> inserted;
    std::vector<std::pair<ObjectID, std::vector<std::string>>> updated;
    std::vector<ObjectID> deleted;
};

// The process-wide post of every context's changes. Listeners run on the
// thread of the context that changed, after its own observers; they hop to
// their own queue themselves.
class ObjectsDidChangeCenter {
public:
    using Listener = std::function<void(const ObjectsDidChange&)>;
    using Token = std::uint64_t;

    static ObjectsDidChangeCenter& shared();

    Token addListener(Listener listener);
    // After it returns the listener is not called again from a new post.
    void removeListener(Token token);
    void post(const ChangeSet& changes);

private:
    std::mutex mutex_;
    Token next_ = 1;
    std::vector<std::pair<Token, std::shared_ptr<const Listener>>> listeners_;
};

}  // namespace tallowmere::graph
