#include "menus/ShareService.h"

#include <QByteArray>
#include <QDesktopServices>
#include <algorithm>
#include <string>
#include <utility>

namespace tallowmere {

ShareService::ShareService(QString menuItemTitle, QIcon image, Handler handler)
    : menuItemTitle_(std::move(menuItemTitle)), image_(std::move(image)), handler_(std::move(handler)) {}

void ShareService::perform(const std::vector<URL>& items) const {
    if (handler_) handler_(items);
}

bool ShareService::isWebLink(const URL& url) {
    const QString scheme = QString::fromStdString(url.scheme()).toLower();
    return url.hasAuthority() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QUrl ShareService::mailtoURL(std::string_view body) {
    const QByteArray encoded = QByteArray(body.data(), static_cast<qsizetype>(body.size())).toPercentEncoding();
    return QUrl::fromEncoded("mailto:?body=" + encoded, QUrl::StrictMode);
}

std::vector<std::shared_ptr<ShareService>> ShareService::sharingServices(const std::vector<URL>& items) {
    std::vector<std::shared_ptr<ShareService>> services;
    if (items.empty()) return services;
    services.push_back(std::make_shared<ShareService>(
        QString::fromStdString(localized("email")), QIcon::fromTheme(QStringLiteral("mail-message-new")),
        [](const std::vector<URL>& links) {
            std::string body;
            for (const URL& link : links) body += (body.empty() ? "" : "\n") + link.absoluteString();
            QDesktopServices::openUrl(mailtoURL(body));
        }));
    const bool allWeb = std::all_of(items.begin(), items.end(), [](const URL& url) { return isWebLink(url); });
    if (allWeb) {
        services.push_back(std::make_shared<ShareService>(
            QString::fromStdString(localized("open_in_browser")), QIcon::fromTheme(QStringLiteral("internet-web-browser")),
            [](const std::vector<URL>& links) {
                for (const URL& link : links) {
                    // Checked once more: the items may come from elsewhere than the menu.
                    if (!isWebLink(link)) continue;
                    QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(link.absoluteString()),
                                                                QUrl::StrictMode));
                }
            }));
    }
    return services;
}

}  // namespace tallowmere
