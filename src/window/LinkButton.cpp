#include "window/LinkButton.h"

#include <QDesktopServices>
#include <QUrl>

namespace tallowmere {

LinkButton::LinkButton(const QString& title, std::optional<std::string> urlString, QWidget* parent)
    : QPushButton(title, parent), urlString_(std::move(urlString)) {
    setFlat(true);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"));
    connect(this, &QPushButton::clicked, this, [this] { openLink(); });
}

bool LinkButton::openLink() {
    if (!urlString_) return false;
    const QUrl url(QString::fromStdString(*urlString_), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != "http" && scheme != "https" && scheme != "mailto")) return false;
    if ((scheme == "http" || scheme == "https") && url.host().isEmpty()) return false;
    QDesktopServices::openUrl(url);
    return true;
}

}  // namespace tallowmere
