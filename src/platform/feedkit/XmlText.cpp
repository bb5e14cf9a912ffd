#include "platform/feedkit/XmlText.h"

#include <unicode/utf8.h>
#include <libxml/entities.h>

#include <cctype>
#include <cstring>
#include <memory>

#include "platform/feedkit/FeedDate.h"
#include "platform/text/HTMLEntities.h"
#include "platform/feedkit/PlainText.h"

#include <libxml/uri.h>

namespace tallowmere::feedkit {
namespace {

constexpr int kMaximumEntityDepth = 16;

void appendUTF8(std::string& out, char32_t c) {
    std::uint8_t encoded[U8_MAX_LENGTH];
    std::int32_t size = 0;
    U8_APPEND_UNSAFE(encoded, size, static_cast<UChar32>(c));
    out.append(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(size));
}

const char* chars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }

bool isHiddenText(const xmlNode* element) {
    return XmlText::named(element, "script") || XmlText::named(element, "style");
}

// A scheme ("http:", "tag:", "urn:") makes an address absolute already.
bool hasScheme(std::string_view reference) {
    if (reference.empty() || !std::isalpha(static_cast<unsigned char>(reference[0]))) return false;
    for (char c : reference) {
        if (c == ':') return true;
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
    }
    return false;
}

std::string_view trimmedSpaces(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

bool hasElementChild(const xmlNode* element) {
    for (const xmlNode* child = element->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE) return true;
    return false;
}

}  // namespace

bool XmlText::named(const xmlNode* node, const char* localName) {
    return node->type == XML_ELEMENT_NODE && std::strcmp(chars(node->name), localName) == 0;
}

bool XmlText::inNamespace(const xmlNode* node, std::initializer_list<std::string_view> uris, bool orNone) {
    if (!node->ns || !node->ns->href) return orNone;
    std::string_view href = chars(node->ns->href);
    for (auto uri : uris)
        if (href == uri) return true;
    return false;
}

void XmlText::charge(size_t bytes) {
    if (bytes > budget_) {
        budget_ = 0;
        exceeded_ = true;
    } else {
        budget_ -= bytes;
    }
}

void XmlText::appendEntity(std::string& out, const xmlNode* reference, int depth) {
    const auto* entity = reinterpret_cast<const xmlEntity*>(reference->children);
    if (!entity) {
        // Undeclared: the recovering read keeps the reference; HTML names are
        // known, any other is kept as written rather than lost.
        if (auto codePoint = text::HTMLEntities::codePoint(chars(reference->name))) {
            appendUTF8(out, *codePoint);
        } else {
            out += '&';
            out += chars(reference->name);
            out += ';';
        }
        return;
    }
    if (entity->etype != XML_INTERNAL_GENERAL_ENTITY || depth >= kMaximumEntityDepth) return;
    size_t before = out.size();
    if (entity->children) {
        appendText(out, entity->children, depth + 1);
    } else if (entity->content) {
        out += chars(entity->content);
    }
    charge(out.size() - before);
    if (exceeded_) out.resize(before);
}

void XmlText::appendText(std::string& out, const xmlNode* first, int depth) {
    for (const xmlNode* node = first; node && !exceeded_; node = node->next) {
        switch (node->type) {
            case XML_TEXT_NODE:
            case XML_CDATA_SECTION_NODE:
                if (node->content) out += chars(node->content);
                break;
            case XML_ENTITY_REF_NODE:
                appendEntity(out, node, depth);
                break;
            case XML_ELEMENT_NODE:
                appendText(out, node->children, depth);
                break;
            default:
                break;
        }
    }
}

std::string XmlText::content(const xmlNode* element) {
    if (hasElementChild(element)) return innerMarkup(element);
    std::string out;
    const xmlNode* only = element->children;
    if (only && !only->next && (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE)) {
        if (only->content) out = chars(only->content);
        return out;
    }
    appendText(out, element->children, 0);
    return out;
}

std::string XmlText::innerMarkup(const xmlNode* element) {
    std::unique_ptr<xmlBuffer, void (*)(xmlBufferPtr)> buffer(xmlBufferCreate(), xmlBufferFree);
    if (!buffer) return {};
    for (xmlNode* child = element->children; child; child = child->next)
        xmlNodeDump(buffer.get(), element->doc, child, 0, 0);
    return std::string(chars(xmlBufferContent(buffer.get())),
                       static_cast<size_t>(xmlBufferLength(buffer.get())));
}

std::optional<std::string> XmlText::attribute(const xmlNode* element, const char* name) {
    for (const xmlAttr* attr = element->properties; attr; attr = attr->next) {
        if (attr->ns || std::strcmp(chars(attr->name), name) != 0) continue;
        const xmlNode* value = attr->children;
        if (!value) return std::string();
        if (!value->next && value->type == XML_TEXT_NODE && value->content)
            return std::string(chars(value->content));
        std::string out;
        appendText(out, value, 0);
        return out;
    }
    return std::nullopt;
}

}  // namespace tallowmere::feedkit

namespace tallowmere::feedkit {

std::string XmlText::plainText(const xmlNode* element) {
    std::string out;
    auto collect = [&](auto& self, const xmlNode* first) -> void {
        for (const xmlNode* node = first; node && !exceeded_; node = node->next) {
            if (node->type == XML_ELEMENT_NODE) {
                if (!isHiddenText(node)) self(self, node->children);
            } else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
                if (node->content) out += chars(node->content);
            } else if (node->type == XML_ENTITY_REF_NODE) {
                appendEntity(out, node, 0);
            }
        }
    };
    collect(collect, element->children);
    return PlainText::withoutMarkup(out);
}

std::optional<std::chrono::system_clock::time_point> XmlText::date(const xmlNode* element) {
    std::string unknownZone;
    auto date = FeedDate::parse(content(element), &unknownZone);
    if (date && !unknownZone.empty() && notices_.size() < 10)
        notices_.push_back("a date in the unknown time zone \"" + unknownZone + "\" was read as UTC");
    return date;
}

namespace {

std::string resolvedAgainst(std::string reference, const xmlChar* base) {
    if (!base) return reference;
    std::string relative(trimmedSpaces(reference));
    std::unique_ptr<xmlChar, void (*)(void*)> absolute(
        xmlBuildURI(reinterpret_cast<const xmlChar*>(relative.c_str()), base), xmlFree);
    if (!absolute) return reference;
    return chars(absolute.get());
}

bool needsBase(std::string_view reference) {
    std::string_view trimmed = trimmedSpaces(reference);
    return !trimmed.empty() && !hasScheme(trimmed);
}

}  // namespace

std::string XmlText::resolved(const xmlNode* element, std::string reference) {
    if (!needsBase(reference)) return reference;
    std::unique_ptr<xmlChar, void (*)(void*)> base(xmlNodeGetBase(element->doc, element), xmlFree);
    return resolvedAgainst(std::move(reference), base.get());
}

std::string XmlText::resolved(std::string reference, const std::string& base) {
    if (base.empty() || !needsBase(reference)) return reference;
    return resolvedAgainst(std::move(reference), reinterpret_cast<const xmlChar*>(base.c_str()));
}

}  // namespace tallowmere::feedkit
