#pragma once

#include <QFont>
#include <QString>
#include <string>

namespace tallowmere {

// The bundled face that stands in for one font name of the themes.
struct FontFace {
    std::string name;   // the name the themes use ("AvenirNext-Regular")
    QString file;       // the bundled file, below ":/fonts/"
    QString family;     // its family as the font database knows it
    QString styleName;  // empty when the weight alone picks the face
    int weight = QFont::Normal;
    int stretch = QFont::Unstretched;
};

}  // namespace tallowmere
