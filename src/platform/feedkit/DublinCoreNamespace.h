#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tallowmere::feedkit {

// The Dublin Core elements (and the two dates of its terms vocabulary) read
// from a channel or an item.
struct DublinCoreNamespace {
    std::optional<std::chrono::system_clock::time_point> dcDate;
    std::optional<std::string> dcCreator;
    std::optional<std::string> dcTitle;
    std::optional<std::string> dcDescription;
    std::optional<std::vector<std::string>> dcSubjects;
    std::optional<std::chrono::system_clock::time_point> dctermsIssued;
    std::optional<std::chrono::system_clock::time_point> dctermsModified;
};

}  // namespace tallowmere::feedkit
