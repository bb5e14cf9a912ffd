#include "platform/htmlquery/HTMLDocument.h"

#include <climits>
#include <mutex>
#include <string>

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>

namespace tallowmere::htmlquery {

namespace {

void initialiseLibxmlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

// Hostile pages are common; their complaints are not ours to print. The
// handler is per thread and may belong to another user of libxml2, so it is
// put back afterwards.
void ignoreStructuredError(void*, xmlErrorPtr) {}

class SilencedErrors {
public:
    SilencedErrors() : handler_(xmlStructuredError), context_(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(nullptr, ignoreStructuredError);
    }
    ~SilencedErrors() { xmlSetStructuredErrorFunc(context_, handler_); }
    SilencedErrors(const SilencedErrors&) = delete;
    SilencedErrors& operator=(const SilencedErrors&) = delete;

private:
    xmlStructuredErrorFunc handler_;
    void* context_;
};

struct XPathContextDeleter {
    void operator()(xmlXPathContextPtr context) const { xmlXPathFreeContext(context); }
};
struct XPathObjectDeleter {
    void operator()(xmlXPathObjectPtr object) const { xmlXPathFreeObject(object); }
};

}  // namespace

std::optional<HTMLDocument> HTMLDocument::parse(std::span<const std::uint8_t> bytes) {
    return parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::optional<HTMLDocument> HTMLDocument::parse(std::string_view bytes) {
    initialiseLibxmlOnce();
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    const SilencedErrors silenced;
    constexpr int options = HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                            HTML_PARSE_COMPACT;
    htmlDocPtr raw = htmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr, options);
    if (!raw) return std::nullopt;
    std::shared_ptr<xmlDoc> document(raw, xmlFreeDoc);
    if (!xmlDocGetRootElement(raw)) return std::nullopt;
    return HTMLDocument(std::move(document));
}

std::optional<std::vector<HTMLNode>> HTMLDocument::xPath(std::string_view expression) const {
    const SilencedErrors silenced;
    std::unique_ptr<xmlXPathContext, XPathContextDeleter> context(xmlXPathNewContext(document_.get()));
    if (!context) return std::nullopt;
    const std::string text(expression);
    std::unique_ptr<xmlXPathObject, XPathObjectDeleter> result(
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(text.c_str()), context.get()));
    if (!result || result->type != XPATH_NODESET) return std::nullopt;
    std::vector<HTMLNode> nodes;
    if (const xmlNodeSetPtr set = result->nodesetval) {
        nodes.reserve(static_cast<std::size_t>(set->nodeNr));
        for (int index = 0; index < set->nodeNr; ++index) nodes.emplace_back(document_, set->nodeTab[index]);
    }
    return nodes;
}

}  // namespace tallowmere::htmlquery
