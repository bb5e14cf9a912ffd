#pragma once

#include <QByteArray>
#include <QFont>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "themes/FontFace.h"

namespace tallowmere {

// The themes name their fonts as another desktop knows them. None of those
// faces is on Linux, so open-licence faces are bundled and every name of the
// themes maps to one of them; the custom font files the reader page asks for
// ("Fonts/Oranienbaum.ttf") map to the bundled substitute's bytes.
class FontMap {
public:
    // Registers the bundled faces with the application's font database on
    // first use; needs the GUI application object.
    static const FontMap& shared();

    // The font for a theme's name and size in points. A name that is not
    // mapped, or whose face did not load, gives the default face with a
    // warning that names it: a missing font never stops the program.
    QFont font(std::string_view name, double size) const;
    std::optional<FontFace> face(std::string_view name) const;
    // The bundled bytes behind a custom font file name of the themes, or
    // behind a bundled file's own name; nothing for any other name.
    std::optional<QByteArray> fileData(std::string_view fileName) const;
    // Every mapped name, in table order.
    std::vector<std::string> names() const;
    const FontFace& defaultFace() const;

private:
    FontMap();
    bool registered(const FontFace& face) const;

    std::vector<FontFace> faces_;
    std::vector<QString> loadedFiles_;
};

}  // namespace tallowmere
