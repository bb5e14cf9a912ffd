#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace tallowmere::dispatch {

// A thread-safe cache that keeps at most `countLimit` entries, dropping the
// least recently used first. A limit of 0 means no limit.
template <typename Key, typename Value, typename Hash = std::hash<Key>>
class ObjectCache {
public:
    explicit ObjectCache(std::size_t countLimit) : countLimit_(countLimit) {}

    std::optional<Value> object(const Key& key) {
        std::lock_guard lock(mutex_);
        auto found = index_.find(key);
        if (found == index_.end()) return std::nullopt;
        order_.splice(order_.begin(), order_, found->second);
        return found->second->second;
    }

    void setObject(const Key& key, Value value) {
        std::lock_guard lock(mutex_);
        if (auto found = index_.find(key); found != index_.end()) {
            found->second->second = std::move(value);
            order_.splice(order_.begin(), order_, found->second);
            return;
        }
        order_.emplace_front(key, std::move(value));
        index_.emplace(key, order_.begin());
        while (countLimit_ > 0 && order_.size() > countLimit_) {
            index_.erase(order_.back().first);
            order_.pop_back();
        }
    }

    void removeObject(const Key& key) {
        std::lock_guard lock(mutex_);
        if (auto found = index_.find(key); found != index_.end()) {
            order_.erase(found->second);
            index_.erase(found);
        }
    }

    void removeAll() {
        std::lock_guard lock(mutex_);
        index_.clear();
        order_.clear();
    }

    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return order_.size();
    }
    std::size_t countLimit() const { return countLimit_; }

private:
    using Entry = std::pair<Key, Value>;
    const std::size_t countLimit_;
    mutable std::mutex mutex_;
    std::list<Entry> order_;
    std::unordered_map<Key, typename std::list<Entry>::iterator, Hash> index_;
};

}  // namespace tallowmere::dispatch
