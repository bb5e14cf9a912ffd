#include "prefs/PreferencesViewController.h"

#include <QButtonGroup>
#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPropertyAnimation>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <string>

#include "foundation/Localization.h"
#include "platform/desktop/AssetImage.h"
#include "platform/dispatch/MainQueue.h"
#include "prefs/PreferencesAdvancedViewController.h"
#include "prefs/PreferencesContentViewController.h"
#include "prefs/PreferencesGeneralViewController.h"
#include "prefs/PreferencesNotificationsViewController.h"
#include "store/DefaultConfig.h"

namespace tallowmere {
namespace {

constexpr int kResizeMilliseconds = 250;

// Wayland lets no program place its own windows; there the compositor keeps
// the window where it is and only the size is animated.
bool windowsCanBePlaced() { return QGuiApplication::platformName() != QLatin1String("wayland"); }

}  // namespace

PreferencesViewController::PreferencesViewController(QObject* parent) : desktop::ViewController(parent) {}

void PreferencesViewController::loadView() {
    auto* view = new QWidget();
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tabBar_ = new QWidget(view);
    auto* tabLayout = new QHBoxLayout(tabBar_);
    tabLayout->setContentsMargins(8, 4, 8, 4);
    tabLayout->setSpacing(2);
    tabLayout->addStretch(1);
    tabLayout->addStretch(1);
    buttons_ = new QButtonGroup(this);
    buttons_->setExclusive(true);
    layout->addWidget(tabBar_);

    auto* separator = new QFrame(view);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    layout->addWidget(separator);

    stack_ = new QStackedWidget(view);
    // The window's size follows the shown pane, not the largest one.
    stack_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    layout->addWidget(stack_, 1);
    setView(view);
}

void PreferencesViewController::viewDidLoad() {
    addTabViewItem("general", "PreferencesGeneral", new PreferencesGeneralViewController());
    addTabViewItem("notifications", "PreferencesSubscription", new PreferencesNotificationsViewController());
    addTabViewItem("advanced", "PreferencesAdvanced", new PreferencesAdvancedViewController());
    addTabViewItem("ios_app", "PreferencesIOSApp", new PreferencesContentViewController(), iOSAppIdentifier);
    selected_ = 0;
    tabViewItems_.front().button->setChecked(true);
    stack_->setCurrentIndex(0);
}

void PreferencesViewController::addTabViewItem(const char* labelKey, const char* imageName,
                                               PreferencesContentViewController* pane, const char* identifier) {
    addChild(pane);
    TabViewItem item;
    item.label = QString::fromStdString(Localization::shared()->localized(tableName, labelKey));
    item.identifier = identifier ? QString::fromLatin1(identifier) : QString();
    item.viewController = pane;

    auto* button = new QToolButton(tabBar_);
    button->setText(item.label);
    button->setIcon(QIcon(QPixmap::fromImage(desktop::AssetImage::named(imageName))));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setMinimumWidth(72);
    item.button = button;
    const int index = static_cast<int>(tabViewItems_.size());
    buttons_->addButton(button, index);
    auto* tabLayout = static_cast<QHBoxLayout*>(tabBar_->layout());
    tabLayout->insertWidget(tabLayout->count() - 1, button);
    connect(button, &QToolButton::clicked, this, [this, index] { selectTabViewItem(index); });

    // Every pane is built now, before the window first shows.
    stack_->addWidget(pane->view());
    tabViewItems_.push_back(item);
}

void PreferencesViewController::selectTabViewItem(int index) {
    view();
    const auto restoreSelection = [this] {
        if (selected_ >= 0) tabViewItems_[static_cast<std::size_t>(selected_)].button->setChecked(true);
    };
    if (index < 0 || index >= static_cast<int>(tabViewItems_.size()) || index == selected_) {
        restoreSelection();
        return;
    }
    if (!shouldSelect(tabViewItems_[static_cast<std::size_t>(index)])) {
        restoreSelection();
        return;
    }
    transition(index);
}

bool PreferencesViewController::shouldSelect(const TabViewItem& item) {
    if (item.identifier != QLatin1String(iOSAppIdentifier)) return true;
    // Whether the page opens or not, the selection stays.
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(DefaultConfig::iOSAppStoreURL.data(),
                                                     static_cast<qsizetype>(DefaultConfig::iOSAppStoreURL.size()))));
    return false;
}

void PreferencesViewController::transition(int to) {
    selected_ = to;
    const auto& item = tabViewItems_[static_cast<std::size_t>(to)];
    item.button->setChecked(true);
    updateTitle();
    resizeWindow(item.viewController);
    stack_->setCurrentIndex(to);
}

QSize PreferencesViewController::windowContentSize(const PreferencesContentViewController* pane) const {
    const int tabsHeight = tabBar_ ? tabBar_->sizeHint().height() + 2 : 0;  // and the line below them
    return {pane->preferredContentSize().width(), tabsHeight + pane->preferredContentSize().height()};
}

void PreferencesViewController::resizeWindow(const PreferencesContentViewController* pane) {
    QWidget* window = view()->window();
    if (window == view()) return;  // not in a window yet
    const QSize size = windowContentSize(pane);
    if (animation_) {
        animation_->stop();
        delete animation_;
    }
    if (!window->isVisible()) {
        window->setFixedSize(size);
        return;
    }
    // The fixed size is let go while the window changes and set again at the end.
    window->setMinimumSize(0, 0);
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QRect from = window->geometry();
    if (windowsCanBePlaced()) {
        animation_ = new QPropertyAnimation(window, "geometry", this);
        animation_->setStartValue(from);
        // The same top edge; the height changes below it.
        animation_->setEndValue(QRect(from.topLeft(), size));
    } else {
        animation_ = new QPropertyAnimation(window, "size", this);
        animation_->setStartValue(from.size());
        animation_->setEndValue(size);
    }
    animation_->setDuration(kResizeMilliseconds);
    animation_->setEasingCurve(QEasingCurve::InOutQuad);
    QPointer<QWidget> guarded(window);
    connect(animation_, &QPropertyAnimation::finished, this, [guarded, size] {
        if (guarded) guarded->setFixedSize(size);
    });
    animation_->start();
}

void PreferencesViewController::viewWillAppear() {
    view();
    updateTitle();
    if (selected_ >= 0) {
        QWidget* window = view()->window();
        if (window != view() && !window->isVisible()) {
            window->setFixedSize(windowContentSize(tabViewItems_[static_cast<std::size_t>(selected_)].viewController));
        }
    }
}

void PreferencesViewController::updateTitle() {
    QWidget* window = view()->window();
    if (window == view()) return;
    window->setWindowTitle(selected_ >= 0 ? tabViewItems_[static_cast<std::size_t>(selected_)].label : QString());
}

void PreferencesViewController::refreshPanes() {
    for (const auto& item : tabViewItems_) {
        QPointer<PreferencesContentViewController> pane(item.viewController);
        // A pane reads its settings once, when it is built; the task leaves it as it is.
        dispatch::MainQueue::shared().async([pane] { (void)pane; });
    }
}

}  // namespace tallowmere
