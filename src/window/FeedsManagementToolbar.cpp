#include "window/FeedsManagementToolbar.h"

#include <QEvent>

#include "themes/ColorHelpers.h"
#include "themes/ThemesManager.h"
#include "window/FeedsManagementToolbarDelegate.h"
#include "window/TintedImage.h"

namespace tallowmere {

FeedsManagementToolbar::FeedsManagementToolbar(QWidget* parent)
    : Toolbar(parent), refreshButton_(new QToolButton()), refreshProgressIndicator_(new ProgressIndicator()) {
    refreshButton_->setAutoRaise(true);
    refreshButton_->setFocusPolicy(Qt::NoFocus);
    refreshButton_->setToolTip(QString::fromStdString(localized("refresh_feeds")));
    refreshButton_->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    connect(refreshButton_, &QToolButton::clicked, this, &FeedsManagementToolbar::refresh);
    // The pressed image shows only while the button is down.
    connect(refreshButton_, &QToolButton::pressed, this, [this] { refreshButton_->setIcon(pressedImage_); });
    connect(refreshButton_, &QToolButton::released, this, [this] { refreshButton_->setIcon(image_); });
    // The spinner stands where the button was, so the hidden button keeps its place.
    QSizePolicy policy = refreshButton_->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    refreshButton_->setSizePolicy(policy);

    refreshProgressIndicator_->hide();
    refreshProgressIndicator_->stopAnimation();

    addView(refreshButton_, stackView(), ToolbarGravity::trailing);
    refreshProgressIndicator_->setParent(this);
    refreshProgressIndicator_->resize(refreshProgressIndicator_->sizeHint());
    refreshButton_->installEventFilter(this);
    applyTheme();
    centreIndicator();
}

void FeedsManagementToolbar::refresh() {
    if (delegate_) delegate_->refreshFeeds();
}

void FeedsManagementToolbar::setRefreshProgressHidden(bool hidden) {
    isRefreshProgressHidden_ = hidden;
    refreshButton_->setVisible(hidden);
    refreshProgressIndicator_->setVisible(!hidden);
    if (hidden) {
        refreshProgressIndicator_->stopAnimation();
    } else {
        refreshProgressIndicator_->startAnimation();
        refreshProgressIndicator_->raise();
    }
    centreIndicator();
}

void FeedsManagementToolbar::applyTheme() {
    const ThemesManager& themes = ThemesManager::shared();
    const ThemeSettings& settings = themes.settings();
    const QColor buttons = themes.colors().feedsButtons;
    std::optional<QColor> tint;
    if (settings.useFeedsBackgroundColors) {
        appearance_ = NamedAppearance::aqua;
        tint = buttons;
    } else {
        appearance_ = settings.feedsStyle == ThemeStyle::dark ? NamedAppearance::vibrantDark
                                                              : NamedAppearance::vibrantLight;
    }
    const QPalette palette = paletteFor(appearance_);
    refreshButton_->setPalette(palette);
    refreshProgressIndicator_->setPalette(palette);
    refreshProgressIndicator_->setTintColor(tint.value_or(QColor()));

    const QImage image = bundleImage("FeedsRefresh");
    image_ = tinted(image, buttons);
    alternateColor_ = settings.feedsStyle == ThemeStyle::dark ? lighter(buttons) : darker(buttons);
    // Without a pressed colour the earlier pressed image stays.
    if (alternateColor_) pressedImage_ = tinted(image, *alternateColor_);
    refreshButton_->setIcon(refreshButton_->isDown() ? pressedImage_ : image_);
    refreshButton_->setIconSize(QSize(16, 16));
    update();
}

void FeedsManagementToolbar::resizeEvent(QResizeEvent* event) {
    Toolbar::resizeEvent(event);
    centreIndicator();
}

bool FeedsManagementToolbar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == refreshButton_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        centreIndicator();
    return Toolbar::eventFilter(watched, event);
}

void FeedsManagementToolbar::centreIndicator() {
    // Centred on the button's place, also while the button is hidden.
    const QRect button(refreshButton_->mapTo(this, QPoint(0, 0)), refreshButton_->size());
    QRect indicator(QPoint(), refreshProgressIndicator_->size());
    indicator.moveCenter(button.center());
    refreshProgressIndicator_->setGeometry(indicator);
}

}  // namespace tallowmere
