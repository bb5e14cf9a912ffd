#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/graph/Object.h"

namespace tallowmere::graph {

// The objects a fetch found, in order. With a batch size the rows are loaded
// a batch at a time as they are read; read only inside the context's blocks.
class FetchResults {
public:
    FetchResults() = default;
    FetchResults(std::weak_ptr<Context> context, std::vector<ObjectID> ids, std::vector<ObjectPtr> loaded,
                 std::size_t batchSize, std::vector<std::string> prefetch);

    std::size_t size() const { return ids_.size(); }
    bool empty() const { return ids_.empty(); }
    ObjectPtr at(std::size_t index) const;
    ObjectPtr operator[](std::size_t index) const { return at(index); }
    ObjectPtr front() const { return empty() ? nullptr : at(0); }
    const std::vector<ObjectID>& objectIDs() const { return ids_; }
    std::vector<ObjectPtr> all() const;

    class Iterator {
    public:
        Iterator(const FetchResults* results, std::size_t index) : results_(results), index_(index) {}
        ObjectPtr operator*() const { return results_->at(index_); }
        Iterator& operator++() {
            ++index_;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return index_ != other.index_; }

    private:
        const FetchResults* results_;
        std::size_t index_;
    };
    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, size()); }

private:
    std::weak_ptr<Context> context_;
    std::vector<ObjectID> ids_;
    mutable std::vector<ObjectPtr> objects_;
    std::size_t batchSize_ = 0;
    std::vector<std::string> prefetch_;
};

}  // namespace tallowmere::graph
