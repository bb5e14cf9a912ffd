#pragma once

#include <QIcon>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/Localizable.h"
#include "foundation/URL.h"

namespace tallowmere {

// One way of passing links on, as an entry of the article menu's share
// submenu: its title, its image and what it does with the links.
class ShareService : public Localizable<ShareService> {
public:
    static constexpr std::string_view tableName = "ShareService";
    using Handler = std::function<void(const std::vector<URL>& items)>;

    ShareService(QString menuItemTitle, QIcon image, Handler handler);

    const QString& menuItemTitle() const { return menuItemTitle_; }
    const QIcon& image() const { return image_; }
    void perform(const std::vector<URL>& items) const;

    // What this desktop offers for the links, in this order: an e-mail with
    // the links as its body; the web browser, when every link is a web
    // (http or https) link. Nothing for no links.
    static std::vector<std::shared_ptr<ShareService>> sharingServices(const std::vector<URL>& items);
    // "mailto:?body=" and the text with every byte but the unreserved ones
    // percent-encoded, so that "&", "?", "#" or line breaks of the text can
    // neither end the body nor start another header.
    static QUrl mailtoURL(std::string_view body);
    static bool isWebLink(const URL& url);

private:
    QString menuItemTitle_;
    QIcon image_;
    Handler handler_;
};

}  // namespace tallowmere
