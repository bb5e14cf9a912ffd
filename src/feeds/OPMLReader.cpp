#include "feeds/OPMLReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libxml/xpath.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/feedkit/XmlDocument.h"
#include "platform/feedkit/XmlText.h"

namespace tallowmere {
namespace {

using feedkit::XmlDocument;
using feedkit::XmlText;

struct XPathContextFree {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct XPathObjectFree {
    void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};
using XPathContext = std::unique_ptr<xmlXPathContext, XPathContextFree>;
using XPathObject = std::unique_ptr<xmlXPathObject, XPathObjectFree>;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

OPMLError unreadable(const std::filesystem::path& file, const std::string& reason) {
    return OPMLError::make(OPMLError::Code::unreadableFile, file, reason);
}

OPMLResult<std::string> readBytes(const std::filesystem::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return unreadable(file, std::strerror(errno));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return unreadable(file, std::strerror(errno));
    if (!S_ISREG(info.st_mode)) return unreadable(file, "it is not a regular file");
    if (static_cast<std::uintmax_t>(info.st_size) > OPMLReader::maximumFileSize)
        return unreadable(file, "it is too large");
    std::string bytes;
    char buffer[64 * 1024];
    for (;;) {
        ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return unreadable(file, std::strerror(errno));
        if (count == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(count));
        // The file may have grown since it was measured.
        if (bytes.size() > OPMLReader::maximumFileSize) return unreadable(file, "it is too large");
    }
    return bytes;
}

// The elements a query finds relative to `node`; nothing when the query fails
// or finds anything but elements.
std::optional<std::vector<xmlNode*>> elements(xmlXPathContext* context, xmlNode* node, const char* query) {
    context->node = node;
    XPathObject found(xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(query), context));
    if (!found || found->type != XPATH_NODESET) return std::nullopt;
    std::vector<xmlNode*> result;
    if (!found->nodesetval) return result;
    for (int i = 0; i < found->nodesetval->nodeNr; ++i) {
        xmlNode* element = found->nodesetval->nodeTab[i];
        if (!element || element->type != XML_ELEMENT_NODE) return std::nullopt;
        result.push_back(element);
    }
    return result;
}

std::optional<std::string> folderName(XmlText& text, xmlNode* folder) {
    if (auto name = text.attribute(folder, "text")) return name;
    return text.attribute(folder, "title");
}

std::optional<OPMLFolder> group(xmlXPathContext* context, XmlText& text, xmlNode* outline) {
    // A folder's feeds are all the outlines below it, however deep: files that
    // wrap everything in one outline, or nest folders, lose none of them.
    auto descendants = elements(context, outline, ".//outline");
    bool isFolder = descendants && !descendants->empty();
    std::vector<xmlNode*> feedElements = isFolder ? *descendants : std::vector<xmlNode*>{outline};
    OPMLFolder folder;
    for (xmlNode* feed : feedElements)
        if (auto url = text.attribute(feed, "xmlUrl")) folder.feeds.push_back(std::move(*url));
    if (folder.feeds.empty()) return std::nullopt;
    if (isFolder) folder.name = folderName(text, outline);
    return folder;
}

}  // namespace

OPMLResult<std::vector<OPMLFolder>> OPMLReader::read(const std::filesystem::path& file) {
    auto bytes = readBytes(file);
    if (!bytes) return bytes.error();
    return parse(bytes.value(), file);
}

OPMLResult<std::vector<OPMLFolder>> OPMLReader::parse(std::string_view bytes, const std::filesystem::path& file) {
    auto loaded = XmlDocument::load(bytes, XmlDocument::Mode::recovering);
    if (auto* failure = std::get_if<feedkit::FeedError>(&loaded))
        return OPMLError::make(OPMLError::Code::notXML, file, failure->message);
    const XmlDocument& document = std::get<XmlDocument>(loaded);
    XPathContext context(xmlXPathNewContext(document.get()));
    if (!context) return OPMLError::make(OPMLError::Code::notXML, file, "out of memory");

    // A file without any body holds no subscription list at all (a feed or
    // some other XML picked by mistake); say so rather than import nothing.
    auto bodies = elements(context.get(), xmlDocGetRootElement(document.get()), "//body");
    if (!bodies || bodies->empty())
        return OPMLError::make(OPMLError::Code::notOPML, file, "it has no body element");
    auto outlines = elements(context.get(), xmlDocGetRootElement(document.get()), "//body/outline");
    if (!outlines) return OPMLError::make(OPMLError::Code::notOPML, file, "its outlines could not be read");

    XmlText text(entityExpansionBudget);
    std::vector<OPMLFolder> folders;
    for (xmlNode* outline : *outlines)
        if (auto found = group(context.get(), text, outline)) folders.push_back(std::move(*found));
    if (text.exceeded())
        return OPMLError::make(OPMLError::Code::unsafeContent, file, "its entities expand beyond reason");
    return folders;
}

}  // namespace tallowmere
