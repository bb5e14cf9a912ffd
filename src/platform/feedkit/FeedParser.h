#pragma once

#include <cstddef>
#include <functional>
#include <memory>
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

    explicit FeedParser(std::string data);

    Result parse() const;
    // Parses on `queue` and hands the result to `callback` there, exactly once.
    void parseAsync(dispatch::Queue& queue, std::function<void(Result)> callback) const;

private:
    std::shared_ptr<const std::string> data_;
};

}  // namespace tallowmere::feedkit
