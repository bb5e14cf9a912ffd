#pragma once

#include <libxml/tree.h>

#include <string>
#include <vector>

namespace tallowmere::readability {

// The readable text of some elements: white space collapsed as a browser
// shows it, blocks separated by a blank line, list items, table rows and
// <br> on lines of their own, preformatted text kept as it stands.
class TextRenderer {
public:
    static std::string render(const std::vector<xmlNodePtr>& nodes);
    static std::string render(xmlNodePtr node) { return render(std::vector<xmlNodePtr>{node}); }

private:
    enum class Break { none, line, paragraph };

    void enter(const xmlNode* node);
    void leave(const xmlNode* node);
    void appendText(const char* text);
    void appendPreformatted(const char* text);
    void requestBreak(Break level);
    void flushSeparator();

    std::string out_;
    Break pendingBreak_ = Break::none;
    bool pendingSpace_ = false;
    int preformatted_ = 0;
};

}  // namespace tallowmere::readability
