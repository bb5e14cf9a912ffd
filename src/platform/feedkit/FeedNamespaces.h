#pragma once

#include <string_view>

namespace tallowmere::feedkit::ns {

// Namespace URIs of the feed formats; elements are matched by these, never by prefix.
inline constexpr std::string_view rss090 = "http://my.netscape.com/rdf/simple/0.9/";
inline constexpr std::string_view rss090Channel = "http://channel.netscape.com/rdf/simple/0.9/";
inline constexpr std::string_view rss10 = "http://purl.org/rss/1.0/";
inline constexpr std::string_view rssUserland = "http://backend.userland.com/rss2";
inline constexpr std::string_view rssUserlandOld = "http://backend.userland.com/rss";
inline constexpr std::string_view rdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
inline constexpr std::string_view dublinCore = "http://purl.org/dc/elements/1.1/";
inline constexpr std::string_view dublinCoreTerms = "http://purl.org/dc/terms/";
inline constexpr std::string_view iTunes = "http://www.itunes.com/dtds/podcast-1.0.dtd";
inline constexpr std::string_view mediaRSS = "http://search.yahoo.com/mrss/";
inline constexpr std::string_view mediaRSSOld = "http://search.yahoo.com/mrss";
inline constexpr std::string_view content = "http://purl.org/rss/1.0/modules/content/";
inline constexpr std::string_view atom10 = "http://www.w3.org/2005/Atom";
inline constexpr std::string_view atom03 = "http://purl.org/atom/ns#";
inline constexpr std::string_view xhtml = "http://www.w3.org/1999/xhtml";

}  // namespace tallowmere::feedkit::ns
