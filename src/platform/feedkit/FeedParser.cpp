#include "platform/feedkit/FeedParser.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/feedkit/AtomReader.h"
#include "platform/feedkit/JsonFeedReader.h"
#include "platform/feedkit/RssReader.h"
#include "platform/feedkit/XmlDocument.h"
#include "platform/feedkit/XmlText.h"

namespace tallowmere::feedkit {
namespace {

// What the document's own entities may add to the text, beyond its size.
constexpr size_t kMinimumExpansionBudget = 1u << 20;

std::string_view withoutUTF8ByteOrderMark(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return bytes;
}

bool looksLikeJSON(std::string_view bytes) {
    bytes = withoutUTF8ByteOrderMark(bytes);
    auto first = std::find_if(bytes.begin(), bytes.end(),
                              [](char c) { return !std::isspace(static_cast<unsigned char>(c)); });
    return first != bytes.end() && *first == '{';
}

Result readXmlFeed(const XmlDocument& document, size_t documentSize) {
    XmlText text(std::max(kMinimumExpansionBudget, documentSize * 4));
    const xmlNode* root = document.root();
    auto refuseIfExpanded = [&](Result result) {
        if (text.exceeded())
            return Result::failure({FeedError::Code::unsafeContent, "entity expansion exceeds the limit"});
        return result;
    };
    if (RssReader::isRoot(root)) return refuseIfExpanded(Result::rss(RssReader(text).read(root)));
    if (AtomReader::isRoot(root)) return refuseIfExpanded(Result::atom(AtomReader(text).read(root)));
    return Result::failure({FeedError::Code::notAFeed, "the document is neither RSS nor Atom"});
}

Result parseXml(std::string_view bytes) {
    auto strict = XmlDocument::load(bytes, XmlDocument::Mode::strict);
    if (auto* document = std::get_if<XmlDocument>(&strict)) return readXmlFeed(*document, bytes.size());
    auto recovered = XmlDocument::load(bytes, XmlDocument::Mode::recovering);
    if (auto* document = std::get_if<XmlDocument>(&recovered)) return readXmlFeed(*document, bytes.size());
    // The strict read's message names the first fault, which is the useful one.
    return Result::failure(std::get<FeedError>(strict));
}

Result parseBytes(std::string_view bytes) {
    if (bytes.size() > FeedParser::kMaximumDocumentSize)
        return Result::failure({FeedError::Code::tooLarge, "the document is larger than 50 MiB"});
    if (looksLikeJSON(bytes)) {
        auto read = JsonFeedReader::read(withoutUTF8ByteOrderMark(bytes));
        if (auto* feed = std::get_if<JSONFeed>(&read)) return Result::json(std::move(*feed));
        return Result::failure(std::get<FeedError>(read));
    }
    return parseXml(bytes);
}

}  // namespace

FeedParser::FeedParser(std::string data) : data_(std::make_shared<const std::string>(std::move(data))) {}

Result FeedParser::parse() const { return parseBytes(*data_); }

void FeedParser::parseAsync(dispatch::Queue& queue, std::function<void(Result)> callback) const {
    queue.async([data = data_, callback = std::move(callback)] { callback(parseBytes(*data)); });
}

}  // namespace tallowmere::feedkit
