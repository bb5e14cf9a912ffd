#include "window/ArticlesManagementToolbar.h"

#include <QAction>
#include <QStyle>

#include "foundation/Localization.h"
#include "foundation/Resources.h"
#include "images/ImageUtils.h"
#include "platform/dispatch/MainQueue.h"
#include "themes/ColorHelpers.h"
#include "themes/ThemesManager.h"
#include "window/ArticlesManagementToolbarDelegate.h"

namespace tallowmere {

namespace {

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

ArticlesManagementToolbar::ArticlesManagementToolbar(QWidget* parent)
    : Toolbar(parent),
      markAsReadButton_(makeButton("mark_listed_articles_as_read")),
      countField_(new QLabel),
      searchButton_(makeButton("search_articles")),
      searchField_(new QLineEdit),
      clearSearchAction_(nullptr),
      closeSearchButton_(makeButton(nullptr)) {
    connect(markAsReadButton_, &QToolButton::clicked, this, &ArticlesManagementToolbar::markAsRead);
    connect(searchButton_, &QToolButton::clicked, this, &ArticlesManagementToolbar::showSearchField);
    connect(closeSearchButton_, &QToolButton::clicked, this, &ArticlesManagementToolbar::hideSearchField);
    for (QToolButton* button : {markAsReadButton_, searchButton_, closeSearchButton_}) showPressedImages(button);

    countField_->setTextFormat(Qt::PlainText);
    countField_->setAlignment(Qt::AlignCenter);
    countField_->setWordWrap(false);

    // Reports while the user types, after a short pause; Return reports at once.
    typingPause_.setSingleShot(true);
    typingPause_.setInterval(typingPauseMs);
    connect(&typingPause_, &QTimer::timeout, this, &ArticlesManagementToolbar::searchTextChange);
    connect(searchField_, &QLineEdit::textEdited, this, [this] { typingPause_.start(); });
    connect(searchField_, &QLineEdit::returnPressed, this, [this] {
        typingPause_.stop();
        searchTextChange();
    });
    clearSearchAction_ = searchField_->addAction(style()->standardIcon(QStyle::SP_LineEditClearButton),
                                                 QLineEdit::TrailingPosition);
    clearSearchAction_->setVisible(false);
    connect(searchField_, &QLineEdit::textChanged, this,
            [this](const QString& value) { clearSearchAction_->setVisible(!value.isEmpty()); });
    connect(clearSearchAction_, &QAction::triggered, this, &ArticlesManagementToolbar::clearSearchText);

    setAttribute(Qt::WA_StyledBackground);
    addView(markAsReadButton_, stackView(), ToolbarGravity::leading);
    addView(countField_, stackView(), ToolbarGravity::center);
    addView(searchButton_, stackView(), ToolbarGravity::trailing);
    addView(searchField_, auxStackView(), ToolbarGravity::leading);
    addView(closeSearchButton_, auxStackView(), ToolbarGravity::trailing);
    applyTheme();
}

QToolButton* ArticlesManagementToolbar::makeButton(const char* toolTipKey) {
    auto* button = new QToolButton;
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    if (toolTipKey) button->setToolTip(text(localized(toolTipKey)));
    return button;
}

void ArticlesManagementToolbar::setArticlesCount(int count) {
    articlesCount_ = count;
    countField_->setText(text(Localization::format(localized("articles"), {std::to_string(count)})));
}

void ArticlesManagementToolbar::markAsRead() {
    if (delegate_) delegate_->articlesMarkAsRead();
}

void ArticlesManagementToolbar::showSearchField() {
    showAuxiliaryStackView();
    previousResponder_ = window() ? window()->focusWidget() : nullptr;
    searchField_->setFocus(Qt::OtherFocusReason);
}

void ArticlesManagementToolbar::hideSearchField() {
    if (previousResponder_) previousResponder_->setFocus(Qt::OtherFocusReason);
    // After the focus has moved back: clear, then bring the main row back.
    QPointer<ArticlesManagementToolbar> self(this);
    dispatch::MainQueue::shared().async([self] {
        if (!self) return;
        self->clearSearchText();
        ToolbarRow* current = self->currentStackView();
        if (current && current != self->stackView()) self->replaceStackView(self->stackView());
    });
}

void ArticlesManagementToolbar::clearSearchText() {
    if (searchField_->text().isEmpty()) return;
    typingPause_.stop();
    searchField_->setText(QString());
    searchTextChange();
}

void ArticlesManagementToolbar::searchTextChange() {
    typingPause_.stop();
    if (delegate_) delegate_->searchTextDidChange(searchField_->text().toStdString());
}

QImage ArticlesManagementToolbar::toolbarImage(std::string_view name, const QColor& tint) {
    QImage image;
    if (auto data = Resources::data("images/" + std::string(name) + ".png"))
        image = QImage::fromData(reinterpret_cast<const uchar*>(data->data()), static_cast<int>(data->size()), "PNG");
    if (image.isNull()) return image;
    return ImageUtils::tinted(image, tint);
}

void ArticlesManagementToolbar::setImages(QToolButton* button, std::string_view name, const QColor& colour,
                                          const std::optional<QColor>& alternate) {
    ButtonImages& images = buttonImages_[button];
    images.normal = toolbarIcon(toolbarImage(name, colour));
    // Without an alternate colour the pressed image stays as it was.
    if (alternate) images.pressed = toolbarIcon(toolbarImage(name, *alternate));
    button->setIcon(button->isDown() && !images.pressed.isNull() ? images.pressed : images.normal);
    button->setIconSize(QSize(iconSide, iconSide));
}

// The images are drawn for screens of twice the density: there as they are,
// elsewhere reduced so that their thin strokes stay solid.
QIcon ArticlesManagementToolbar::toolbarIcon(const QImage& image) {
    QIcon icon(QPixmap::fromImage(ImageUtils::glyphReduced(image, iconSide)));
    QImage dense = image;
    dense.setDevicePixelRatio(static_cast<qreal>(image.width()) / iconSide);
    icon.addPixmap(QPixmap::fromImage(dense));
    return icon;
}

void ArticlesManagementToolbar::showPressedImages(QToolButton* button) {
    connect(button, &QToolButton::pressed, this, [this, button] {
        const ButtonImages& images = buttonImages_[button];
        if (!images.pressed.isNull()) button->setIcon(images.pressed);
    });
    connect(button, &QToolButton::released, this, [this, button] { button->setIcon(buttonImages_[button].normal); });
}

void ArticlesManagementToolbar::applyTheme() {
    const auto& theme = ThemesManager::shared();
    countField_->setFont(theme.fonts().articlesCount.font);
    QPalette palette = countField_->palette();
    palette.setColor(QPalette::WindowText, theme.colors().articlesCount);
    countField_->setPalette(palette);

    setAutoFillBackground(theme.settings().useToolbarsBackgroundColor);
    if (theme.settings().useToolbarsBackgroundColor) {
        QPalette own = this->palette();
        own.setColor(QPalette::Window, theme.colors().windowBackground);
        setPalette(own);
    }

    const QColor colour = theme.colors().articlesButtons;
    const std::optional<QColor> alternate =
        theme.settings().articlesStyle == ThemeStyle::light ? darker(colour) : lighter(colour);
    setImages(markAsReadButton_, "ArticlesMarkAsRead", colour, alternate);
    setImages(searchButton_, "ArticlesSearch", colour, alternate);
    setImages(closeSearchButton_, "ArticlesCloseSearch", colour, alternate);
    update();
}

}  // namespace tallowmere
