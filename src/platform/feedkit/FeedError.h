#pragma once

#include <string>

namespace tallowmere::feedkit {

// Why a document could not be read as a feed.
struct FeedError {
    enum class Code {
        notAFeed,       // well-formed, but neither RSS, Atom nor JSON Feed
        malformedXML,   // neither the strict nor the recovering read succeeded
        malformedJSON,  // not valid JSON, or nested beyond reason
        tooLarge,       // over the size we are willing to read
        unsafeContent,  // entity expansion beyond the budget
    };

    Code code;
    std::string message;
};

}  // namespace tallowmere::feedkit
