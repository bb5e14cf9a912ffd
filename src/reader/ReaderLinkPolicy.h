#pragma once

#include <QUrl>

namespace tallowmere {

// Where a clicked link of a reader page goes: web, mail and feed addresses
// to their desktop handler (feeds reach the program's own), nothing else
// anywhere.
class ReaderLinkPolicy {
public:
    ReaderLinkPolicy() = delete;
    static bool opensOutside(const QUrl& url);
    // Opens the link when the policy allows it; true when it was handed on.
    static bool open(const QUrl& url);
};

}  // namespace tallowmere
