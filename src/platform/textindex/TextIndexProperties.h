#pragma once

#include <cstddef>
#include <set>
#include <string>

namespace tallowmere::textindex {

// How an index cuts text into terms. Fixed when the index file is created and
// stored in it, so that every later session indexes and queries alike.
struct TextIndexProperties {
    // Besides letters, digits and marks, these join a word when they stand
    // inside it ("e-mail", "user@example.com", "l'amore"); at its edges they
    // are dropped.
    std::string termCharacters = "-_@.'";
    // Terms with fewer characters (after folding) are not indexed.
    std::size_t minimumTermLength = 3;
    // Terms not indexed; compared after folding case and diacritics.
    std::set<std::string> stopWords;

    bool operator==(const TextIndexProperties&) const = default;
};

}  // namespace tallowmere::textindex
