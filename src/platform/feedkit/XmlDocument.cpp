#include "platform/feedkit/XmlDocument.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/feedkit/XmlRepair.h"

namespace tallowmere::feedkit {
namespace {

struct Diagnostics {
    std::vector<int> codes;
    bool unreadableInput = false;  // bytes that do not convert from the document's encoding
    std::string firstMessage;
    // Item counting: the SAX handlers below see every element start and end.
    size_t itemLimit = SIZE_MAX;
    size_t items = 0;
    int depth = 0;
    bool cut = false;
    bool wellFormedAtCut = true;
    startElementNsSAX2Func startElement = nullptr;
    endElementNsSAX2Func endElement = nullptr;
};

bool isItemName(const xmlChar* name) {
    const char* local = reinterpret_cast<const char*>(name);
    return std::strcmp(local, "item") == 0 || std::strcmp(local, "entry") == 0;
}

// Items sit just below the root (Atom, RSS 1.0) or below the channel (RSS 2.0).
void countingStartElement(void* userData, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                          int namespaceCount, const xmlChar** namespaces, int attributeCount,
                          int defaultedCount, const xmlChar** attributes) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    auto* diagnostics = static_cast<Diagnostics*>(context->_private);
    ++diagnostics->depth;
    if ((diagnostics->depth == 2 || diagnostics->depth == 3) && isItemName(localName) &&
        ++diagnostics->items > diagnostics->itemLimit) {
        diagnostics->cut = true;
        diagnostics->wellFormedAtCut = context->wellFormed != 0;
        // Keep the tree read so far: the read ends here as if it were complete.
        context->recovery = 1;
        xmlStopParser(context);
        return;
    }
    diagnostics->startElement(userData, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                              defaultedCount, attributes);
}

void countingEndElement(void* userData, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    auto* diagnostics = static_cast<Diagnostics*>(context->_private);
    --diagnostics->depth;
    diagnostics->endElement(userData, localName, prefix, uri);
}

void collectError(void* userData, xmlErrorPtr error) {
    auto* context = static_cast<xmlParserCtxtPtr>(userData);
    auto* diagnostics = static_cast<Diagnostics*>(context->_private);
    if (!diagnostics || !error) return;
    if (diagnostics->codes.size() < 1000) diagnostics->codes.push_back(error->code);
    if (error->domain == XML_FROM_IO || error->domain == XML_FROM_I18N) diagnostics->unreadableInput = true;
    if (diagnostics->firstMessage.empty() && error->message) {
        diagnostics->firstMessage = error->message;
        while (!diagnostics->firstMessage.empty() && diagnostics->firstMessage.back() == '\n')
            diagnostics->firstMessage.pop_back();
    }
}

// Faults that the recovering read must not paper over: the document is cut
// off, its bytes are not text in its encoding, or a safety limit was hit.
bool isUnrecoverable(int code) {
    switch (code) {
        case XML_ERR_INTERNAL_ERROR:  // also the nesting depth limit
        case XML_ERR_NO_MEMORY:
        case XML_ERR_DOCUMENT_EMPTY:
        case XML_ERR_INVALID_CHAR:
        case XML_ERR_UNKNOWN_ENCODING:
        case XML_ERR_UNSUPPORTED_ENCODING:
        case XML_ERR_INVALID_ENCODING:
        case XML_ERR_ENTITY_LOOP:
        case XML_ERR_ENTITY_NOT_FINISHED:
        case XML_ERR_ATTRIBUTE_NOT_FINISHED:
        case XML_ERR_LITERAL_NOT_FINISHED:
        case XML_ERR_COMMENT_NOT_FINISHED:
        case XML_ERR_PI_NOT_FINISHED:
        case XML_ERR_XMLDECL_NOT_FINISHED:
        case XML_ERR_DOCTYPE_NOT_FINISHED:
        case XML_ERR_CDATA_NOT_FINISHED:
        case XML_ERR_GT_REQUIRED:
        case XML_ERR_LTSLASH_REQUIRED:
        case XML_ERR_TAG_NOT_FINISHED:
        case XML_ERR_USER_STOP:
            return true;
        default:
            return false;
    }
}

// NONET: never fetch; no NOENT/DTDLOAD/HUGE, so external entities and DTDs stay
// unread and the built-in limits hold. COMPACT: smaller, faster text nodes.
// IGNORE_ENC: the bytes are UTF-8 by now, whatever the declaration says.
constexpr int kSafeOptions = XML_PARSE_NONET | XML_PARSE_COMPACT | XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC;

// Encoding and I/O errors reach libxml2's thread-wide handler rather than the
// parser context's; catch them here too, so they count and nothing is printed.
class ErrorHandlerScope {
public:
    explicit ErrorHandlerScope(xmlParserCtxtPtr context)
        : previousHandler_(xmlStructuredError), previousContext_(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(context, collectError);
    }
    ~ErrorHandlerScope() { xmlSetStructuredErrorFunc(previousContext_, previousHandler_); }
    ErrorHandlerScope(const ErrorHandlerScope&) = delete;
    ErrorHandlerScope& operator=(const ErrorHandlerScope&) = delete;

private:
    xmlStructuredErrorFunc previousHandler_;
    void* previousContext_;
};

// The document is handed to libxml2 in small pieces, as from a file: a
// read that stops early (at the item limit) then never touches the rest,
// and libxml2 never shifts one huge buffer around as it consumes it.
struct MemoryInput {
    std::string_view bytes;
    size_t offset = 0;
};

int readPiece(void* context, char* buffer, int length) {
    auto* input = static_cast<MemoryInput*>(context);
    size_t count = std::min(static_cast<size_t>(length), input->bytes.size() - input->offset);
    std::memcpy(buffer, input->bytes.data() + input->offset, count);
    input->offset += count;
    return static_cast<int>(count);
}

int closeInput(void*) { return 0; }

void initialiseLibxml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace

std::variant<XmlDocument, FeedError> XmlDocument::load(std::string_view bytes, Mode mode,
                                                       const std::string& documentURL, size_t itemLimit) {
    initialiseLibxml();
    if (bytes.size() > static_cast<size_t>(INT_MAX))
        return FeedError{FeedError::Code::tooLarge, "document too large"};
    std::string repaired;
    if (mode == Mode::recovering) {
        repaired = XmlRepair::repair(bytes);
        bytes = repaired;
    }
    std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> context(xmlNewParserCtxt(), xmlFreeParserCtxt);
    if (!context) return FeedError{FeedError::Code::malformedXML, "out of memory"};
    Diagnostics diagnostics;
    context->_private = &diagnostics;
    context->sax->serror = collectError;
    diagnostics.itemLimit = itemLimit;
    diagnostics.startElement = context->sax->startElementNs;
    diagnostics.endElement = context->sax->endElementNs;
    context->sax->startElementNs = countingStartElement;
    context->sax->endElementNs = countingEndElement;
    int options = kSafeOptions | (mode == Mode::recovering ? XML_PARSE_RECOVER : 0);
    xmlDoc* doc = nullptr;
    {
        ErrorHandlerScope scope(context.get());
        MemoryInput input{bytes};
        doc = xmlCtxtReadIO(context.get(), readPiece, closeInput, &input,
                            documentURL.empty() ? nullptr : documentURL.c_str(), nullptr, options);
    }
    XmlDocument document(doc);
    document.cut_ = diagnostics.cut;
    bool failed = doc == nullptr || xmlDocGetRootElement(doc) == nullptr;
    bool wellFormed = diagnostics.cut ? diagnostics.wellFormedAtCut : context->wellFormed != 0;
    if (mode == Mode::strict) failed = failed || !wellFormed;
    failed = failed || diagnostics.unreadableInput;
    for (int code : diagnostics.codes)
        failed = failed || (mode == Mode::recovering && code != XML_ERR_USER_STOP && isUnrecoverable(code));
    if (failed) {
        std::string message =
            diagnostics.firstMessage.empty() ? "not an XML document" : diagnostics.firstMessage;
        return FeedError{FeedError::Code::malformedXML, message};
    }
    return document;
}

}  // namespace tallowmere::feedkit
