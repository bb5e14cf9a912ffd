#pragma once

#include <libxml/tree.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tallowmere::readability {

// What a page says about itself in <meta>, <link>, <base> and <title>,
// gathered before the page is cut down to its content.
class PageMetadata {
public:
    explicit PageMetadata(xmlNodePtr root);

    // The values of the first <meta property|name="key" content> per key
    // (keys lower-cased), in the order of `keys`, skipping absent ones.
    std::vector<std::string> metaValues(std::initializer_list<std::string_view> keys) const;
    const std::string& imageSource() const { return imageSource_; }  // <link rel="image_src">
    const std::string& baseHref() const { return baseHref_; }
    // <title>, else og:title, with white space collapsed.
    const std::string& title() const { return title_; }

private:
    void read(xmlNodePtr element);

    std::map<std::string, std::string, std::less<>> meta_;
    std::string imageSource_;
    std::string baseHref_;
    std::string title_;
};

}  // namespace tallowmere::readability
