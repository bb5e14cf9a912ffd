#include "cloud/CloudArticleRecord.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "foundation/TextOperations.h"
#include "foundation/UTF8.h"

namespace tallowmere {
namespace {

std::optional<std::string> fileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) return std::nullopt;
    std::string text = std::move(bytes).str();
    if (!utf8::isValid(text)) return std::nullopt;
    return text;
}

}  // namespace

std::optional<CloudArticle> CloudArticleRecord::article(const cloud::Record& record, Content source) {
    const auto title = record.get<std::string>(titleKey);
    if (!title) return std::nullopt;
    std::optional<cloud::Date> date = record.get<cloud::Date>(publishedDateKey);
    if (!date) date = record.creationDate();
    if (!date) return std::nullopt;
    const auto text = content(record, source);
    if (!text) return std::nullopt;
    const auto link = record.get<std::string>(linkKey);
    const auto feedURL = record.get<std::string>(feedURLKey);
    if (!link || !feedURL) return std::nullopt;
    return CloudArticle(trimmingWhitespace(*title), *date, trimmingWhitespace(*text), optionalText(record, authorKey),
                        trimmingWhitespace(*link), optionalText(record, topImageURLKey), std::nullopt,
                        trimmingWhitespace(*feedURL), optionalText(record, feedTitleKey));
}

std::optional<std::string> CloudArticleRecord::content(const cloud::Record& record, Content source) {
    if (source == Content::fileFirst) {
        if (const auto asset = record.get<cloud::Asset>(contentAssetKey)) return fileText(asset->fileURL);
    }
    return record.get<std::string>(contentKey);
}

std::optional<std::string> CloudArticleRecord::optionalText(const cloud::Record& record, const char* key) {
    const auto text = record.get<std::string>(key);
    if (!text) return std::nullopt;
    return trimmingWhitespace(*text);
}

std::vector<std::string> CloudArticleRecord::pushedKeys() {
    return {titleKey, publishedDateKey, contentKey, authorKey, linkKey, feedURLKey, topImageURLKey};
}

std::string CloudArticleRecord::normalizedFeedURL(const std::string& url) { return lowercasedTrimmingSlashes(url); }

}  // namespace tallowmere
