#pragma once

#include <string>
#include <string_view>

namespace tallowmere::feedkit {

// Mends the faults that make most real feeds ill-formed, before the recovering
// read: a bare "&" becomes "&amp;", an HTML entity that XML does not know
// (&nbsp;) becomes its numeric reference, a "<" that opens no markup becomes
// "&lt;", and control characters that XML forbids are dropped. CDATA sections,
// comments, processing instructions and the document type declaration are left
// alone, and so are documents in UTF-16 or UTF-32.
class XmlRepair {
public:
    static std::string repair(std::string_view document);
};

}  // namespace tallowmere::feedkit
