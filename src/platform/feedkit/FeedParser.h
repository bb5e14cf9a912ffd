#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/feedkit/Result.h"

namespace tallowmere::feedkit {

// Reads one feed document (RSS, Atom or JSON Feed, recognised from its bytes)
// into the object graph of its format. XML is read strictly first and, if that
// fails, once more with repairs; the second failure is final.
class FeedParser {
public:
    // Documents larger than this are refused unread.
    static constexpr size_t kMaximumDocumentSize = 50u * 1024u * 1024u;
    // Only the first items of a document are read (in document order), so a
    // feed of a million items costs what one of this many does.
    static constexpr size_t kMaximumItems = 5000;

    // `documentURL`: where the document was read from (after redirects), the
    // base of relative addresses. `contentType`: the HTTP Content-Type, whose
    // charset overrides the document's own declaration for text/* and
    // application/*+xml answers.
    explicit FeedParser(std::string data, std::string documentURL = {},
                        std::optional<std::string> contentType = std::nullopt);

    Result parse() const;
    // Parses on `queue` and hands the result to `callback` there, exactly once.
    void parseAsync(dispatch::Queue& queue, std::function<void(Result)> callback) const;

private:
    struct Source {
        std::string data;
        std::string documentURL;
        std::optional<std::string> contentType;
    };
    static Result parseSource(const Source& source);

    std::shared_ptr<const Source> source_;
};

}  // namespace tallowmere::feedkit
