#pragma once

#include <optional>
#include <string>
#include <string_view>

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

    static std::string encodeFolder(std::string_view name);
    static std::optional<std::string> decodeFolder(std::string_view encoded);
};

}  // namespace tallowmere
