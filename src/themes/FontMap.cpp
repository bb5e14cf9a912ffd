#include "themes/FontMap.h"

#include <QFile>
#include <QFontDatabase>
#include <algorithm>
#include <array>
#include <utility>

#include "foundation/Logger.h"

namespace tallowmere {

namespace {

constexpr const char* kFontsPrefix = ":/fonts/";

// Name of the themes → bundled face. The Avenir families become Lato (and
// Roboto Condensed for the condensed cut); each custom family becomes a face
// of a similar character.
std::vector<FontFace> mappedFaces() {
    return {
        {"AvenirNext-Regular", "Lato-Regular.ttf", "Lato", "", QFont::Normal, QFont::Unstretched},
        {"AvenirNext-DemiBold", "Lato-Semibold.ttf", "Lato", "", QFont::DemiBold, QFont::Unstretched},
        {"AvenirNext-Bold", "Lato-Bold.ttf", "Lato", "", QFont::Bold, QFont::Unstretched},
        {"Avenir Light", "Lato-Light.ttf", "Lato", "", QFont::Light, QFont::Unstretched},
        {"AvenirNextCondensed-Medium", "RobotoCondensed-Medium.ttf", "Roboto Condensed", "", QFont::Medium,
         QFont::Unstretched},
        {"Oranienbaum", "SolideMirageEtroit.otf", "Solide Mirage", "Etroit", QFont::Normal, QFont::Unstretched},
        {"Worcestershire_Sauce-Regular", "LobsterTwo-Regular.otf", "Lobster Two", "", QFont::Normal,
         QFont::Unstretched},
        {"BodoniXT", "OldStandard-Regular.ttf", "Old Standard TT", "", QFont::Normal, QFont::Unstretched},
        {"OstrichSans-Heavy", "BebasNeue-Bold.otf", "Bebas Neue", "", QFont::Bold, QFont::Unstretched},
    };
}

// Custom font file of the themes → bundled file.
constexpr std::array<std::pair<std::string_view, const char*>, 4> kCustomFiles{{
    {"Oranienbaum.ttf", "SolideMirageEtroit.otf"},
    {"Worcestershire_Sauce-Regular.ttf", "LobsterTwo-Regular.otf"},
    {"BodoniXT.ttf", "OldStandard-Regular.ttf"},
    {"OstrichSans-Heavy.otf", "BebasNeue-Bold.otf"},
}};

QFont makeFont(const FontFace& face, double size) {
    QFont font(face.family);
    if (!face.styleName.isEmpty()) font.setStyleName(face.styleName);
    font.setWeight(static_cast<QFont::Weight>(face.weight));
    font.setStretch(face.stretch);
    font.setPointSizeF(size);
    return font;
}

}  // namespace

const FontMap& FontMap::shared() {
    static const FontMap* map = new FontMap();  // lives for the whole process
    return *map;
}

FontMap::FontMap() : faces_(mappedFaces()) {
    std::vector<QString> files;
    for (const FontFace& face : faces_) {
        if (std::find(files.begin(), files.end(), face.file) == files.end()) files.push_back(face.file);
    }
    for (const QString& file : files) {
        const int id = QFontDatabase::addApplicationFont(QString(kFontsPrefix) + file);
        if (id < 0) {
            Logger::warning([&] { return "The bundled font file " + file.toStdString() + " did not load"; });
            continue;
        }
        loadedFiles_.push_back(file);
    }
}

bool FontMap::registered(const FontFace& face) const {
    return std::find(loadedFiles_.begin(), loadedFiles_.end(), face.file) != loadedFiles_.end();
}

const FontFace& FontMap::defaultFace() const { return faces_.front(); }

std::optional<FontFace> FontMap::face(std::string_view name) const {
    const auto found = std::find_if(faces_.begin(), faces_.end(), [&](const FontFace& f) { return f.name == name; });
    if (found == faces_.end()) return std::nullopt;
    return *found;
}

QFont FontMap::font(std::string_view name, double size) const {
    const std::optional<FontFace> mapped = face(name);
    if (mapped && registered(*mapped)) return makeFont(*mapped, size);
    Logger::warning([&] {
        return "The font " + std::string(name) + (mapped ? " did not load" : " is not known") + "; using " +
               defaultFace().family.toStdString() + " in its place";
    });
    return makeFont(defaultFace(), size);
}

std::optional<QByteArray> FontMap::fileData(std::string_view fileName) const {
    QString bundled;
    for (const auto& [custom, file] : kCustomFiles) {
        if (custom == fileName) bundled = file;
    }
    if (bundled.isEmpty()) {
        const QString asked = QString::fromUtf8(fileName.data(), static_cast<qsizetype>(fileName.size()));
        const bool isBundled =
            std::any_of(faces_.begin(), faces_.end(), [&](const FontFace& f) { return f.file == asked; });
        if (!isBundled) return std::nullopt;
        bundled = asked;
    }
    QFile file(QString(kFontsPrefix) + bundled);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

std::vector<std::string> FontMap::names() const {
    std::vector<std::string> names;
    for (const FontFace& face : faces_) names.push_back(face.name);
    return names;
}

}  // namespace tallowmere
