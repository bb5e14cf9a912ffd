#include "reader/PageTemplate.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tallowmere {

std::string PageTemplate::fill(std::string_view text, const std::map<std::string, std::string>& values) {
    // Keys by first byte, longest first, so a scan tries few candidates.
    std::array<std::vector<const std::pair<const std::string, std::string>*>, 256> byFirst;
    for (const auto& entry : values) {
        if (entry.first.empty()) continue;
        byFirst[static_cast<unsigned char>(entry.first.front())].push_back(&entry);
    }
    for (auto& keys : byFirst)
        std::sort(keys.begin(), keys.end(), [](auto* a, auto* b) { return a->first.size() > b->first.size(); });

    std::string result;
    result.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto& candidates = byFirst[static_cast<unsigned char>(text[i])];
        const std::pair<const std::string, std::string>* match = nullptr;
        for (const auto* entry : candidates) {
            if (text.compare(i, entry->first.size(), entry->first) == 0) {
                match = entry;
                break;
            }
        }
        if (match) {
            result += match->second;
            i += match->first.size();
        } else {
            result += text[i];
            ++i;
        }
    }
    return result;
}

}  // namespace tallowmere
