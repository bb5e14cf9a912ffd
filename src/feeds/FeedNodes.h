#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/URL.h"
#include "platform/graph/Context.h"
#include "platform/graph/ObjectID.h"
#include "platform/graph/Value.h"
#include "store/Feed.h"
#include "store/Folder.h"
#include "store/NewsletterType.h"
#include "store/Node.h"

namespace tallowmere {

// The lookups and changes of the node tree that the feeds manager makes,
// named as the node source names them. Lookups run in the background
// context and return its objects.
class FeedNodes {
public:
    using Completion = std::function<void()>;

    virtual ~FeedNodes() = default;

    // A feed with the URL's identity hash, or whose URL equals it ignoring
    // case and diacritics.
    virtual bool containsFeed(const URL& url) = 0;
    virtual std::optional<Feed> feed(const URL& url) = 0;
    // The first feed whose URL begins with the text, ignoring case and diacritics.
    virtual std::optional<Feed> feed(const std::string& urlPrefix) = 0;
    // Name equal ignoring case and diacritics.
    virtual std::optional<Folder> folder(const std::string& name) = 0;
    virtual Folder addFolder(const std::string& name) = 0;
    // Creates and saves the feed (the identity hash computed from the URL string).
    virtual Feed addFeed(const std::string& name, const std::string& urlString,
                         const std::optional<graph::Bytes>& icon, const std::optional<graph::ObjectID>& folderID,
                         bool notifyUpdates, NewsletterType newsletterType) = 0;
    virtual std::optional<std::vector<Feed>> notifyingFeeds() = 0;
    // Nothing while the list has not been loaded.
    virtual std::optional<std::vector<Feed>> allFeeds() = 0;
    // Deletes the node (with what the model deletes with it), saves through
    // the save chain, then the completion.
    virtual void deleteNodes(const Node& node, Completion completion) = 0;
    // Sets the name and saves; nothing for a node without a context.
    virtual void setName(const Node& node, const std::string& name) = 0;
    // Body form: runs inside the feed's context, sets both values, saves the context.
    virtual void setHTTPInfo(const Feed& feed, const std::optional<std::string>& lastModified,
                             const std::optional<std::string>& eTag, graph::Context& context) = 0;
    // Files the node in the folder (none: top level) at the index; whether it moved.
    virtual bool moveNode(const graph::ObjectID& nodeID, const std::optional<graph::ObjectID>& folderID,
                          std::size_t index) = 0;
};

}  // namespace tallowmere
