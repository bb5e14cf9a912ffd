#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/readability/ReadabilityData.h"

namespace tallowmere::readability {

// Finds the main text, the top image and the top video of a web page.
// Parsing never touches the network and never loads external entities.
class Readability {
public:
    // Larger pages are refused without being parsed.
    static constexpr std::size_t maximumPageSize = 10 * 1024 * 1024;

    using Completion = std::function<void(ReadabilityResult)>;

    // Extracts on a global utility queue and calls `completion` exactly once,
    // on that queue's thread. `pageURL` is the address the page came from; it
    // makes relative image and video addresses absolute.
    static void parse(std::string page, std::string pageURL, Completion completion);

    // The same extraction, on the calling thread.
    static ReadabilityResult extract(std::string_view page, std::string_view pageURL);
};

}  // namespace tallowmere::readability
