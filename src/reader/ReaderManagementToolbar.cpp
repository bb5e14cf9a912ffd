#include "reader/ReaderManagementToolbar.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QIcon>
#include <QToolButton>

#include "images/ImageUtils.h"
#include "platform/desktop/AssetImage.h"
#include "reader/ReaderManagementToolbarDelegate.h"
#include "themes/ColorHelpers.h"
#include "themes/ThemesManager.h"
#include "window/ToolbarRow.h"
#include "window/ToolbarsViewController.h"

namespace tallowmere {

namespace {

QPixmap tintedAsset(const char* name, const QColor& color) {
    return QPixmap::fromImage(ImageUtils::tinted(desktop::AssetImage::named(name), color));
}

QString text(std::string_view key) { return QString::fromStdString(ReaderManagementToolbar::localized(key)); }

}  // namespace

ReaderManagementToolbar::ReaderManagementToolbar(QWidget* parent)
    : Toolbar(parent),
      readModeSegmentedControl_(new QWidget(this)),
      segments_(new QButtonGroup(this)),
      starButton_(makeButton("mark_as_starred")),
      shareButton_(makeButton("view_in_default_browser")),
      nextButton_(makeButton("next_article")) {
    starButton_->setCheckable(true);
    connect(starButton_, &QToolButton::clicked, this, &ReaderManagementToolbar::markAsStarred);
    connect(shareButton_, &QToolButton::clicked, this, &ReaderManagementToolbar::share);
    connect(nextButton_, &QToolButton::clicked, this, &ReaderManagementToolbar::showNext);

    auto* layout = new QHBoxLayout(readModeSegmentedControl_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const char* segmentKeys[] = {"preview", "web"};
    for (int segment = 0; segment < 2; ++segment) {
        auto* button = new QToolButton(readModeSegmentedControl_);
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setToolTip(text(segmentKeys[segment]));
        button->setFixedWidth(buttonWidth + 4);
        segments_->addButton(button, segment);
        layout->addWidget(button);
    }
    segments_->setExclusive(true);
    segments_->button(readModeSelectedSegment_)->setChecked(true);
    connect(segments_, &QButtonGroup::idClicked, this, [this] { readModeSelectionChange(); });

    setAttribute(Qt::WA_StyledBackground, true);
    addView(starButton_, stackView(), ToolbarGravity::leading);
    addView(nextButton_, stackView(), ToolbarGravity::center);
    addView(readModeSegmentedControl_, stackView(), ToolbarGravity::trailing);
    addView(shareButton_, stackView(), ToolbarGravity::trailing);
    applyTheme();
    nextButton_->setFixedWidth(ToolbarsViewController::topToolbarHeight);
}

void ReaderManagementToolbar::resizeEvent(QResizeEvent* event) {
    Toolbar::resizeEvent(event);
    // The next button is square in the bar.
    if (height() > 0) nextButton_->setFixedWidth(height());
}

QToolButton* ReaderManagementToolbar::makeButton(const char* tooltipKey) {
    auto* button = new QToolButton(this);
    button->setAutoRaise(true);
    button->setToolTip(text(tooltipKey));
    return button;
}

QToolButton* ReaderManagementToolbar::segmentButton(int segment) const {
    return qobject_cast<QToolButton*>(segments_->button(segment));
}

int ReaderManagementToolbar::selectedSegment() const { return segments_->checkedId(); }

void ReaderManagementToolbar::setSelectedSegment(int segment) {
    if (QAbstractButton* button = segments_->button(segment)) button->setChecked(true);
    readModeSelectedSegment_ = segment;
}

void ReaderManagementToolbar::markAsStarred() {
    if (delegate_) delegate_->readerMarkAsStarred(starButton_->isChecked());
}

void ReaderManagementToolbar::share() {
    if (delegate_) delegate_->readerShare();
}

void ReaderManagementToolbar::showNext() {
    if (delegate_) delegate_->readerShowNextArticle();
}

void ReaderManagementToolbar::readModeSelectionChange() {
    const int segment = selectedSegment();
    if (segment == readModeSelectedSegment_) return;
    readModeSelectedSegment_ = segment;
    if (!delegate_) return;
    delegate_->readerSetReadMode(readerReadModeFromRaw(segment).value_or(ReaderReadMode::preview));
}

void ReaderManagementToolbar::applyTheme() {
    const ThemesManager& manager = ThemesManager::shared();
    const ThemeSettings& settings = manager.settings();
    QPalette palette = this->palette();
    if (settings.useToolbarsBackgroundColor) {
        palette.setColor(QPalette::Window, manager.colors().windowBackground);
        setAutoFillBackground(true);
    } else {
        setAutoFillBackground(false);
    }
    setPalette(palette);

    const bool dark = settings.readerStyle == ThemeStyle::dark;
    const QColor buttonColor = manager.colors().readerButtons;
    const std::optional<QColor> pressed = dark ? lighter(buttonColor) : darker(buttonColor);

    QPalette segmentPalette = readModeSegmentedControl_->palette();
    segmentPalette.setColor(QPalette::ButtonText, dark ? QColor(Qt::white) : QColor(Qt::black));
    segmentPalette.setColor(QPalette::Button, dark ? QColor(60, 60, 60) : QColor(240, 240, 240));
    readModeSegmentedControl_->setPalette(segmentPalette);
    segmentButton(0)->setIcon(tintedAsset("ReaderPreview", buttonColor));
    segmentButton(1)->setIcon(tintedAsset("ReaderWeb", buttonColor));

    QIcon star;
    star.addPixmap(tintedAsset("ReaderUnstarred", buttonColor), QIcon::Normal, QIcon::Off);
    star.addPixmap(tintedAsset("ReaderStarred", buttonColor), QIcon::Normal, QIcon::On);
    starButton_->setIcon(star);

    QIcon shareIcon(tintedAsset("ReaderShare", buttonColor));
    QIcon nextIcon(tintedAsset(nextArticleImage, buttonColor));
    if (pressed) {
        shareIcon.addPixmap(tintedAsset("ReaderShare", *pressed), QIcon::Active);
        nextIcon.addPixmap(tintedAsset(nextArticleImage, *pressed), QIcon::Active);
    }
    shareButton_->setIcon(shareIcon);
    nextButton_->setIcon(nextIcon);
    update();
}

}  // namespace tallowmere
