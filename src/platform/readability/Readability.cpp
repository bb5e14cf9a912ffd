#include "platform/readability/Readability.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/GlobalQueue.h"
#include "platform/readability/ContentExtractor.h"
#include "platform/readability/HtmlDocument.h"
#include "platform/readability/MediaFinder.h"
#include "platform/readability/PageMetadata.h"
#include "platform/readability/TextRenderer.h"
#include "platform/readability/URLResolver.h"

namespace tallowmere::readability {

namespace {

// Below this much text, or when an element the class and id hints cut away
// held more text than was found, the hints may have cut away the article
// itself (an article body whose id is made from a headline about "social
// media"); the page is read again without them, reader comments still cut
// away, and the longer text wins.
constexpr std::size_t poorText = 500;

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\n\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\n\r");
    return text.substr(first, last - first + 1);
}

// What the content of one parse gave; the document itself is gone.
struct Reading {
    std::string text;
    std::optional<std::string> image;
    std::optional<std::string> video;
    bool prunedByHints = false;
    double largestPrunedByHints = 0;
};

// A page written as HTML, not some other markup read as HTML (a feed).
bool isWrittenAsHTML(std::string_view page) {
    const std::string_view head = page.substr(0, 4096);
    for (std::string_view tag : {"<html", "<HTML", "<body", "<BODY", "<!DOCTYPE html", "<!doctype html"})
        if (head.find(tag) != std::string_view::npos) return true;
    return false;
}

Reading readContent(std::unique_ptr<HtmlDocument> document, const PageMetadata& metadata,
                    const MediaFinder& media, bool pruneByHints, bool isHTML) {
    ContentExtractor extractor(
        document->body(),
        {metadata.title(), [&media](const xmlNode* element) { return media.isVideoEmbed(element); },
         pruneByHints, isHTML});
    const std::vector<xmlNodePtr> content = extractor.extract();
    return {trimmed(TextRenderer::render(content)), media.imageInContent(content),
            media.videoInContent(content), extractor.prunedByHints(), extractor.largestPrunedByHints()};
}

}  // namespace

ReadabilityResult Readability::extract(std::string_view page, std::string_view pageURL) {
    if (page.empty()) return ReadabilityError::emptyPage;
    if (page.size() > maximumPageSize) return ReadabilityError::pageTooLarge;

    std::unique_ptr<HtmlDocument> document = HtmlDocument::parse(page, pageURL);
    if (!document) return ReadabilityError::notHTML;
    // Read before extraction cuts the document down to its content.
    const PageMetadata metadata(document->root());
    const URLResolver resolver(pageURL, metadata.baseHref());
    const MediaFinder media(resolver);

    const bool isHTML = isWrittenAsHTML(page);
    Reading reading = readContent(std::move(document), metadata, media, true, isHTML);
    const bool poor = reading.text.size() < poorText ||
                      reading.largestPrunedByHints > static_cast<double>(reading.text.size());
    if (poor && reading.prunedByHints) {
        if (auto again = HtmlDocument::parse(page, pageURL)) {
            Reading second = readContent(std::move(again), metadata, media, false, isHTML);
            if (second.text.size() > reading.text.size()) reading = std::move(second);
        }
    }

    ReadabilityData data;
    if (!reading.text.empty()) data.text = std::move(reading.text);
    data.topImage = media.announcedImage(metadata);
    if (!data.topImage) data.topImage = std::move(reading.image);
    data.topVideo = media.announcedVideo(metadata);
    if (!data.topVideo) data.topVideo = std::move(reading.video);
    if (!data.text && !data.topImage && !data.topVideo) return ReadabilityError::nothingFound;
    return data;
}

void Readability::parse(std::string page, std::string pageURL, Completion completion) {
    auto work = [page = std::move(page), pageURL = std::move(pageURL), completion = std::move(completion)] {
        ReadabilityResult result = ReadabilityError::nothingFound;
        try {
            result = extract(page, pageURL);
        } catch (const std::exception&) {
            // Out of memory on a monstrous page: the caller still hears back once.
        }
        if (completion) completion(std::move(result));
    };
    dispatch::GlobalQueue::shared(dispatch::QualityOfService::utility).async(std::move(work));
}

}  // namespace tallowmere::readability
