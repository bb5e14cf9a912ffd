#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sources/ArticlesSourceDelegate.h"

namespace tallowmere::test {

// Writes down every call of the article source as a short line:
// "reload", "will", "insert -/0", "move 2/0", "did", "updated 1".
class ArticlesRecordingDelegate : public ArticlesSourceDelegate {
public:
    void articlesSourceDidReloadArticles() override { record("reload"); }
    void articlesSourceWillChangeArticles() override { record("will"); }
    void articlesSourceDidChangeArticle(std::optional<std::size_t> oldRow, graph::ResultsChange type,
                                        std::optional<std::size_t> newRow) override {
        record(name(type) + " " + row(oldRow) + "/" + row(newRow));
    }
    void articlesSourceDidChangeArticles() override { record("did"); }
    void articlesSourceDidUpdate(const std::vector<Article>& articles) override {
        record("updated " + std::to_string(articles.size()));
    }

    std::vector<std::string> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }
    bool contains(const std::string& event) {
        std::lock_guard lock(mutex_);
        for (const auto& e : events_) {
            if (e == event) return true;
        }
        return false;
    }

private:
    static std::string row(std::optional<std::size_t> value) { return value ? std::to_string(*value) : "-"; }
    static std::string name(graph::ResultsChange type) {
        switch (type) {
        case graph::ResultsChange::insert: return "insert";
        case graph::ResultsChange::remove: return "delete";
        case graph::ResultsChange::move: return "move";
        case graph::ResultsChange::update: return "update";
        }
        return "?";
    }
    void record(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    std::mutex mutex_;
    std::vector<std::string> events_;
};

}  // namespace tallowmere::test
