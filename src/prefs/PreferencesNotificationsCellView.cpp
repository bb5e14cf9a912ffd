#include "prefs/PreferencesNotificationsCellView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVariant>

#include "images/NodeIcons.h"
#include "menus/StoredObjectReading.h"
#include "sources/NodesSource.h"

namespace tallowmere {
namespace {

struct FeedLabel {
    QString name;
    QString url;
};

QPixmap rounded(const QImage& image, int size, qreal radius) {
    const qreal ratio = image.devicePixelRatio() > 0 ? image.devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, size, size), radius, radius);
    painter.setClipPath(clip);
    painter.drawImage(QRectF(0, 0, size, size), image);
    return pixmap;
}

}  // namespace

PreferencesNotificationsCellView::PreferencesNotificationsCellView(const QString& identifier,
                                                                   std::shared_ptr<NodesSource> nodes, QWidget* parent)
    : QWidget(parent), identifier_(identifier), nodes_(std::move(nodes)) {
    setObjectName(identifier);
    if (identifier == QLatin1String(feedIdentifier)) buildFeed();
    else if (identifier == QLatin1String(notificationsIdentifier)) buildNotifications();
    else if (identifier == QLatin1String(newsletterIdentifier)) buildNewsletter();
}

void PreferencesNotificationsCellView::buildFeed() {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(spacing, 0, 0, 0);
    layout->setSpacing(spacing);
    imageView_ = new QLabel(this);
    imageView_->setFixedSize(iconSize, iconSize);
    imageView_->setAlignment(Qt::AlignCenter);
    textField_ = new QLabel(this);
    textField_->setTextFormat(Qt::PlainText);
    textField_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(imageView_, 0, Qt::AlignVCenter);
    layout->addWidget(textField_, 1, Qt::AlignVCenter);
    textField_->installEventFilter(this);
}

void PreferencesNotificationsCellView::buildNotifications() {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(spacing, 0, 0, 0);
    notificationsCheckboxButton_ = new QCheckBox(this);
    layout->addWidget(notificationsCheckboxButton_, 0, Qt::AlignLeft | Qt::AlignVCenter);
    connect(notificationsCheckboxButton_, &QCheckBox::clicked, this, [this] { notificationUpdated(); });
}

void PreferencesNotificationsCellView::buildNewsletter() {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    newsletterPopUpButton_ = new QComboBox(this);
    // Shown as written, in every language; hourly is not offered.
    newsletterPopUpButton_->addItem(QStringLiteral("none"), rawValue(NewsletterType::none));
    newsletterPopUpButton_->addItem(QStringLiteral("daily"), rawValue(NewsletterType::daily));
    newsletterPopUpButton_->insertSeparator(1);
    newsletterPopUpButton_->setCurrentIndex(-1);
    layout->addWidget(newsletterPopUpButton_, 1, Qt::AlignVCenter);
    connect(newsletterPopUpButton_, &QComboBox::activated, this, [this](int index) { newsletterUpdated(index); });
}

void PreferencesNotificationsCellView::setObjectValue(std::optional<Feed> feed) {
    objectValue_ = std::move(feed);
    configure();
}

void PreferencesNotificationsCellView::configure() {
    if (!objectValue_) return;
    const Feed feed = *objectValue_;
    if (!isPresent(feed)) {
        clear();
        return;
    }
    if (identifier_ == QLatin1String(feedIdentifier)) {
        const FeedLabel label = readUnlessGone(feed, FeedLabel{}, [&] {
            return FeedLabel{QString::fromStdString(feed.name().value_or("")),
                             QString::fromStdString(feed.url().value_or(""))};
        });
        // A feed without a name is known by its address.
        showName(label.name.isEmpty() ? label.url : label.name);
        textField_->setToolTip(label.url);
        std::optional<QImage> icon;
        if (nodes_) icon = NodeIcons::iconImage(*nodes_, feed, QSizeF(iconSize, iconSize), devicePixelRatioF());
        imageView_->setPixmap(icon ? rounded(*icon, iconSize, iconCornerRadius) : QPixmap());
    } else if (identifier_ == QLatin1String(notificationsIdentifier)) {
        notificationsCheckboxButton_->setChecked(readUnlessGone(feed, false, [&] { return feed.notifyUpdates(); }));
    } else if (identifier_ == QLatin1String(newsletterIdentifier)) {
        const int raw = readUnlessGone(feed, 0, [&] { return static_cast<int>(feed.newsletterType()); });
        std::optional<NewsletterType> type = newsletterTypeFromRaw(raw);
        if (!type) {
            // A value out of range is read as none and stored as none.
            type = NewsletterType::none;
            if (nodes_) nodes_->setNewsletterType(feed, NewsletterType::none);
        }
        // Hourly has no item: nothing is selected.
        newsletterPopUpButton_->setCurrentIndex(newsletterPopUpButton_->findData(rawValue(*type)));
    }
}

void PreferencesNotificationsCellView::clear() {
    if (textField_) {
        showName(QString());
        textField_->setToolTip(QString());
    }
    if (imageView_) imageView_->setPixmap(QPixmap());
    if (notificationsCheckboxButton_) notificationsCheckboxButton_->setChecked(false);
    if (newsletterPopUpButton_) newsletterPopUpButton_->setCurrentIndex(-1);
}

void PreferencesNotificationsCellView::showName(const QString& name) {
    fullText_ = name;
    textField_->setText(textField_->fontMetrics().elidedText(name, Qt::ElideRight, std::max(0, textField_->width())));
}

bool PreferencesNotificationsCellView::eventFilter(QObject* watched, QEvent* event) {
    // The name is shortened again whenever the column's width changes.
    if (watched == textField_ && event->type() == QEvent::Resize) showName(fullText_);
    return QWidget::eventFilter(watched, event);
}

void PreferencesNotificationsCellView::notificationUpdated() {
    if (auto* delegate = this->delegate())
        delegate->notificationUpdated(*this, notificationsCheckboxButton_->isChecked());
}

void PreferencesNotificationsCellView::newsletterUpdated(int index) {
    if (index < 0) return;
    const QVariant data = newsletterPopUpButton_->itemData(index);
    if (!data.isValid()) return;
    const std::optional<NewsletterType> type = newsletterTypeFromRaw(data.toLongLong());
    if (!type) return;
    if (auto* delegate = this->delegate()) delegate->newsletterUpdated(*this, *type);
}

}  // namespace tallowmere
