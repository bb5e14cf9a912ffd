#pragma once

#include <libxml/tree.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/readability/PageMetadata.h"
#include "platform/readability/URLResolver.h"

namespace tallowmere::readability {

// Picks a page's top image and top video: what the page announces in its
// Open Graph and Twitter card tags first, else the first fitting element of
// its main content. Every address comes back absolute.
class MediaFinder {
public:
    // Images that declare a smaller width or height are icons, not pictures.
    static constexpr int minimumImageSide = 100;

    explicit MediaFinder(const URLResolver& resolver) : resolver_(resolver) {}

    // og:image, og:image:url, og:image:secure_url, twitter:image,
    // twitter:image:src, <link rel="image_src">: the first that resolves.
    std::optional<std::string> announcedImage(const PageMetadata& metadata) const;
    // The first sizeable, non-decorative <img> of the content.
    std::optional<std::string> imageInContent(const std::vector<xmlNodePtr>& content) const;
    // og:video, og:video:url, og:video:secure_url: the first that resolves.
    std::optional<std::string> announcedVideo(const PageMetadata& metadata) const;
    // The first video player or <video> of the content.
    std::optional<std::string> videoInContent(const std::vector<xmlNodePtr>& content) const;
    // An <iframe>, <embed> or <object> of a video player, or a <video> with a source.
    bool isVideoEmbed(const xmlNode* element) const { return videoSource(element).has_value(); }

private:
    std::optional<std::string> videoSource(const xmlNode* element) const;
    std::optional<std::string> imageSource(const xmlNode* image) const;
    std::optional<std::string> firstResolved(const std::vector<std::string>& references) const;
    static bool isVideoPlayer(const std::string& url);

    const URLResolver& resolver_;
};

}  // namespace tallowmere::readability
