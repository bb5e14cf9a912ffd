#pragma once

#include <string>
#include <string_view>

namespace tallowmere::feedkit {

// Mends the two faults that make most real feeds ill-formed, before the
// recovering read: a bare "&" becomes "&amp;", and an HTML entity that XML does
// not know (&nbsp;) becomes its numeric reference. CDATA sections, comments,
// processing instructions and the document type declaration are left alone.
class XmlRepair {
public:
    static std::string repair(std::string_view document);
};

}  // namespace tallowmere::feedkit
