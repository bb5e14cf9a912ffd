#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "cloud/CloudUserManager.h"

namespace tallowmere {

// The text form of one entry of the cloud feed lists: the feed URL as
// stored, then, for a feed in a named folder, one space and the folder's
// name with only space and percent escaped (%20, %25), so that the entry
// still splits at spaces.
class CloudFeedEntryText {
public:
    static std::string make(const std::string& urlString, const std::optional<std::string>& folder);
    // Nothing for an entry without any part. A folder part that does not
    // decode gives no folder; parts after the second are ignored.
    static std::optional<CloudFeedEntry> parse(std::string_view entry);

    // The entries of a list, those without any part left out.
    static std::vector<CloudFeedEntry> parseAll(const std::vector<std::string>& texts);
    // The entries' URLs lower-cased, "/" trimmed from both ends.
    static std::unordered_set<std::string> normalizedURLs(const std::vector<CloudFeedEntry>& entries);
    // Whether every local entry's URL, in that form, is among the URLs.
    static bool allListed(const std::vector<std::string>& localEntries,
                          const std::unordered_set<std::string>& normalizedURLs);

    static std::string encodeFolder(std::string_view name);
    static std::optional<std::string> decodeFolder(std::string_view encoded);
};

}  // namespace tallowmere
