#include "feeds/OPMLWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <unicode/utf8.h>
#include <libxml/tree.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

namespace tallowmere {
namespace {

const xmlChar* x(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

bool allowedInXML(UChar32 c) {
    if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
    return c != 0xFFFE && c != 0xFFFF;
}

// Names and addresses come from the store and from feeds: keep the file
// readable XML whatever they hold. Ill-formed bytes become U+FFFD; characters
// XML forbids are left out.
std::string xmlSafe(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t at = 0; at < length;) {
        UChar32 c;
        U8_NEXT(bytes, at, length, c);
        if (c < 0) c = 0xFFFD;
        else if (!allowedInXML(c)) continue;
        std::uint8_t encoded[U8_MAX_LENGTH];
        std::int32_t size = 0;
        U8_APPEND_UNSAFE(encoded, size, c);
        out.append(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(size));
    }
    return out;
}

void addAttribute(xmlNode* element, const char* name, const std::string& value) {
    xmlNewProp(element, x(name), x(xmlSafe(value).c_str()));
}

void addOutlines(xmlNode* parent, const std::vector<OPMLOutline>& outlines) {
    for (const OPMLOutline& outline : outlines) {
        xmlNode* element = xmlNewChild(parent, nullptr, x("outline"), nullptr);
        addAttribute(element, "text", outline.text);
        switch (outline.kind) {
            case OPMLOutline::Kind::folder:
                addOutlines(element, outline.children);
                break;
            case OPMLOutline::Kind::feed:
                addAttribute(element, "type", "rss");
                if (outline.xmlUrl) addAttribute(element, "xmlUrl", *outline.xmlUrl);
                break;
            case OPMLOutline::Kind::other:
                break;
        }
    }
}

OPMLError writeError(const std::filesystem::path& file, int error) {
    return OPMLError::make(OPMLError::Code::writeFailed, file, std::strerror(error));
}

std::string temporaryName(const std::filesystem::path& file) {
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".%llx%u.tmp", static_cast<unsigned long long>(random()), counter++);
    // Short enough that the suffix never makes the name too long.
    return "." + file.filename().string().substr(0, 200) + suffix;
}

bool writeAll(int fd, const std::string& data) {
    std::size_t written = 0;
    while (written < data.size()) {
        ssize_t count = ::write(fd, data.data() + written, data.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            if (count == 0) errno = EIO;
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    return true;
}

// Creates a new file of our own beside the target; its mode follows the
// umask, as the file written in place would have.
int createTemporary(const std::filesystem::path& folder, const std::filesystem::path& file,
                    std::filesystem::path& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder / temporaryName(file);
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

void syncFolder(const std::filesystem::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the file itself is complete either way
    ::close(fd);
}

}  // namespace

std::string OPMLWriter::serialize(const std::vector<OPMLOutline>& outlines) {
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> document(xmlNewDoc(x("1.0")), xmlFreeDoc);
    xmlNode* opml = xmlNewNode(nullptr, x("opml"));
    xmlDocSetRootElement(document.get(), opml);
    xmlNewProp(opml, x("version"), x("1.0"));
    xmlNode* body = xmlNewChild(opml, nullptr, x("body"), nullptr);
    addOutlines(body, outlines);

    xmlChar* data = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(document.get(), &data, &size, "UTF-8", 1);
    std::string result(reinterpret_cast<const char*>(data), data ? static_cast<std::size_t>(size) : 0);
    xmlFree(data);
    return result;
}

std::optional<OPMLError> OPMLWriter::write(const std::vector<OPMLOutline>& outlines, const std::filesystem::path& file) {
    return writeAtomically(serialize(outlines), file);
}

std::optional<OPMLError> OPMLWriter::writeAtomically(const std::string& data, const std::filesystem::path& file) {
    if (data.empty()) return OPMLError::make(OPMLError::Code::writeFailed, file, "the document could not be made");
    std::filesystem::path folder = file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    std::filesystem::path temporary;
    int fd = createTemporary(folder, file, temporary);
    if (fd < 0) return writeError(file, errno);

    int failure = 0;
    if (!writeAll(fd, data) || ::fsync(fd) != 0) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && ::rename(temporary.c_str(), file.c_str()) != 0) failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        return writeError(file, failure);
    }
    syncFolder(folder);
    return std::nullopt;
}

}  // namespace tallowmere
