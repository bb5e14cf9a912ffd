#include "platform/readability/TextRenderer.h"

#include "platform/readability/HtmlNames.h"

namespace tallowmere::readability {

namespace {

bool isLineElement(const xmlNode* node) {
    const std::string_view name = HtmlNames::name(node);
    return name == "li" || name == "tr" || name == "dt" || name == "dd" || name == "option";
}

bool isCell(const xmlNode* node) { return HtmlNames::is(node, "td") || HtmlNames::is(node, "th"); }

// Elements whose content is never shown as text.
bool isOpaque(const xmlNode* node) {
    const std::string_view name = HtmlNames::name(node);
    return name == "script" || name == "style" || name == "noscript" || name == "template" ||
           name == "iframe" || name == "object" || name == "video" || name == "audio" || name == "svg" ||
           name == "head" || name == "select" || name == "textarea";
}

}  // namespace

std::string TextRenderer::render(const std::vector<xmlNodePtr>& nodes) {
    TextRenderer renderer;
    for (xmlNodePtr top : nodes) {
        xmlNodePtr node = top;
        while (node != nullptr) {
            renderer.enter(node);
            const bool descend = HtmlNames::isElement(node) && node->children != nullptr && !isOpaque(node);
            if (descend) {
                node = node->children;
                continue;
            }
            // Leave every element whose last child is done, up to a sibling.
            while (node != nullptr) {
                if (HtmlNames::isElement(node)) renderer.leave(node);
                if (node == top) {
                    node = nullptr;
                    break;
                }
                if (node->next != nullptr) {
                    node = node->next;
                    break;
                }
                node = node->parent;
            }
        }
        renderer.requestBreak(Break::paragraph);
    }
    return renderer.out_;
}

void TextRenderer::enter(const xmlNode* node) {
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
        if (node->content == nullptr) return;
        const char* text = reinterpret_cast<const char*>(node->content);
        if (preformatted_ > 0)
            appendPreformatted(text);
        else
            appendText(text);
        return;
    }
    if (!HtmlNames::isElement(node)) return;
    if (HtmlNames::is(node, "br")) {
        pendingSpace_ = false;
        requestBreak(pendingBreak_ == Break::none ? Break::line : Break::paragraph);
    } else if (HtmlNames::is(node, "hr") || HtmlNames::isBlock(node)) {
        requestBreak(isLineElement(node) ? Break::line : Break::paragraph);
    } else if (isLineElement(node)) {
        requestBreak(Break::line);
    } else if (isCell(node)) {
        pendingSpace_ = true;
    }
    if (HtmlNames::is(node, "pre")) ++preformatted_;
}

void TextRenderer::leave(const xmlNode* node) {
    if (HtmlNames::is(node, "pre")) --preformatted_;
    if (isLineElement(node))
        requestBreak(Break::line);
    else if (HtmlNames::isBlock(node))
        requestBreak(Break::paragraph);
    else if (isCell(node))
        pendingSpace_ = true;
}

void TextRenderer::requestBreak(Break level) {
    if (level > pendingBreak_) pendingBreak_ = level;
}

void TextRenderer::flushSeparator() {
    if (!out_.empty()) {
        if (pendingBreak_ == Break::paragraph)
            out_ += "\n\n";
        else if (pendingBreak_ == Break::line)
            out_ += '\n';
        else if (pendingSpace_)
            out_ += ' ';
    }
    pendingBreak_ = Break::none;
    pendingSpace_ = false;
}

void TextRenderer::appendText(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        const char c = *p;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
            pendingSpace_ = true;
        } else if (static_cast<unsigned char>(c) == 0xC2 && static_cast<unsigned char>(p[1]) == 0xA0) {
            pendingSpace_ = true;  // no-break space
            ++p;
        } else {
            if (pendingBreak_ != Break::none || pendingSpace_) flushSeparator();
            out_ += c;
        }
    }
}

void TextRenderer::appendPreformatted(const char* text) {
    if (*text == '\0') return;
    flushSeparator();
    for (const char* p = text; *p != '\0'; ++p)
        if (*p != '\r') out_ += *p;
}

}  // namespace tallowmere::readability
