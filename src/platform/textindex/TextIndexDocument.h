#pragma once

#include <string>

namespace tallowmere::textindex {

// One document to index: its key and its text.
struct TextIndexDocument {
    std::string uri;
    std::string text;
};

}  // namespace tallowmere::textindex
