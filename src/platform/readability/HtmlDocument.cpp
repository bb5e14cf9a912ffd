#include "platform/readability/HtmlDocument.h"

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <mutex>
#include <string>

#include "platform/readability/CharsetSniffer.h"
#include "platform/readability/HtmlNames.h"

namespace tallowmere::readability {

namespace {

constexpr std::size_t binaryProbeLength = 8192;

constexpr int parseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                             HTML_PARSE_NONET | HTML_PARSE_COMPACT | HTML_PARSE_IGNORE_ENC;

void initialiseLibxml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

void ignoreError(void*, xmlErrorPtr) {}
void ignoreMessage(void*, const char*, ...) {}

// Encoding errors go to libxml2's thread-wide handlers rather than the
// parser context's, and by default to stderr; silence them while parsing.
class QuietErrors {
public:
    QuietErrors()
        : structured_(xmlStructuredError),
          structuredContext_(xmlStructuredErrorContext),
          generic_(xmlGenericError),
          genericContext_(xmlGenericErrorContext) {
        xmlSetStructuredErrorFunc(nullptr, ignoreError);
        xmlSetGenericErrorFunc(nullptr, ignoreMessage);
    }
    ~QuietErrors() {
        xmlSetStructuredErrorFunc(structuredContext_, structured_);
        xmlSetGenericErrorFunc(genericContext_, generic_);
    }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
    xmlGenericErrorFunc generic_;
    void* genericContext_;
};

}  // namespace

bool HtmlDocument::looksBinary(std::string_view page) {
    const std::string_view probe = page.substr(0, binaryProbeLength);
    std::size_t controls = 0;
    for (const char c : probe) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) return true;
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f') ++controls;
    }
    return controls * 20 > probe.size();  // more than 5 %
}

std::unique_ptr<HtmlDocument> HtmlDocument::parse(std::string_view page, std::string_view pageURL) {
    initialiseLibxml();
    const CharsetSniffer::Encoding encoding = CharsetSniffer::detect(page);
    page.remove_prefix(encoding.byteOrderMark);
    // UTF-16 pages are full of zero bytes; everything else must not be.
    const bool wide = encoding.name.rfind("UTF-16", 0) == 0;
    if (!wide && looksBinary(page)) return nullptr;

    // libxml2 falls back to Latin-1 for the rest of a page at the first bad
    // UTF-8 byte; mend the bytes instead so one stray byte costs one character.
    std::string repaired;
    if (encoding.name == "UTF-8" && !CharsetSniffer::isValidUTF8(page)) {
        repaired = CharsetSniffer::repairedUTF8(page);
        page = repaired;
    }

    htmlParserCtxtPtr context = htmlNewParserCtxt();
    if (context == nullptr) return nullptr;
    context->sax->serror = ignoreError;
    context->sax->error = nullptr;
    context->sax->warning = nullptr;
    const std::string url(pageURL);
    QuietErrors quiet;
    xmlDocPtr document =
        htmlCtxtReadMemory(context, page.data(), static_cast<int>(page.size()),
                           url.empty() ? nullptr : url.c_str(), encoding.name.c_str(), parseOptions);
    htmlFreeParserCtxt(context);
    if (document == nullptr) return nullptr;
    if (xmlDocGetRootElement(document) == nullptr) {
        xmlFreeDoc(document);
        return nullptr;
    }
    return std::unique_ptr<HtmlDocument>(new HtmlDocument(document));
}

HtmlDocument::~HtmlDocument() { xmlFreeDoc(document_); }

xmlNodePtr HtmlDocument::root() const { return xmlDocGetRootElement(document_); }

xmlNodePtr HtmlDocument::body() const {
    xmlNodePtr root = this->root();
    for (xmlNodePtr child = root->children; child != nullptr; child = child->next)
        if (HtmlNames::is(child, "body")) return child;
    return root;
}

}  // namespace tallowmere::readability
