#include "platform/feedkit/FeedParser.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/feedkit/AtomReader.h"
#include "platform/feedkit/DocumentCharset.h"
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

std::string itemsCutNotice(const std::string& documentURL) {
    return "only the first " + std::to_string(FeedParser::kMaximumItems) + " items of " +
           (documentURL.empty() ? std::string("a feed") : documentURL) + " were read";
}

Result readXmlFeed(const XmlDocument& document, size_t documentSize, const std::string& documentURL) {
    XmlText text(std::max(kMinimumExpansionBudget, documentSize * 4));
    const xmlNode* root = document.root();
    auto finished = [&](Result result) {
        if (text.exceeded())
            return Result::failure({FeedError::Code::unsafeContent, "entity expansion exceeds the limit"});
        std::vector<std::string> notices = std::move(text.notices());
        if (document.cutAtItemLimit()) notices.push_back(itemsCutNotice(documentURL));
        result.setNotices(std::move(notices));
        return result;
    };
    if (RssReader::isRoot(root)) return finished(Result::rss(RssReader(text).read(root)));
    if (AtomReader::isRoot(root)) return finished(Result::atom(AtomReader(text).read(root)));
    return Result::failure({FeedError::Code::notAFeed, "the document is neither RSS nor Atom"});
}

Result parseXml(std::string_view bytes, const std::string& documentURL) {
    constexpr size_t limit = FeedParser::kMaximumItems;
    auto strict = XmlDocument::load(bytes, XmlDocument::Mode::strict, documentURL, limit);
    if (auto* document = std::get_if<XmlDocument>(&strict)) return readXmlFeed(*document, bytes.size(), documentURL);
    auto recovered = XmlDocument::load(bytes, XmlDocument::Mode::recovering, documentURL, limit);
    if (auto* document = std::get_if<XmlDocument>(&recovered))
        return readXmlFeed(*document, bytes.size(), documentURL);
    // The strict read's message names the first fault, which is the useful one.
    return Result::failure(std::get<FeedError>(strict));
}

}  // namespace

Result FeedParser::parseSource(const Source& source) {
    std::string_view bytes = source.data;
    if (bytes.size() > kMaximumDocumentSize)
        return Result::failure({FeedError::Code::tooLarge, "the document is larger than 50 MiB"});
    if (looksLikeJSON(bytes)) {
        bytes = withoutUTF8ByteOrderMark(bytes);
        auto repaired = DocumentCharset::repairedUTF8(bytes);
        bool cut = false;
        auto read = JsonFeedReader::read(repaired ? *repaired : bytes, source.documentURL, kMaximumItems, &cut);
        if (auto* feed = std::get_if<JSONFeed>(&read)) {
            Result result = Result::json(std::move(*feed));
            if (cut) result.setNotices({itemsCutNotice(source.documentURL)});
            return result;
        }
        return Result::failure(std::get<FeedError>(read));
    }
    std::optional<std::string> httpCharset;
    if (source.contentType) httpCharset = DocumentCharset::fromContentType(*source.contentType);
    auto text = DocumentCharset::toUTF8(bytes, httpCharset);
    return parseXml(text ? std::string_view(*text) : bytes, source.documentURL);
}

FeedParser::FeedParser(std::string data, std::string documentURL, std::optional<std::string> contentType)
    : source_(std::make_shared<const Source>(
          Source{std::move(data), std::move(documentURL), std::move(contentType)})) {}

Result FeedParser::parse() const { return parseSource(*source_); }

void FeedParser::parseAsync(dispatch::Queue& queue, std::function<void(Result)> callback) const {
    queue.async([source = source_, callback = std::move(callback)] { callback(parseSource(*source)); });
}

}  // namespace tallowmere::feedkit
