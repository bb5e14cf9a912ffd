#include "window/MainViewController.h"

#include <QEvent>
#include <QVBoxLayout>
#include <QWidget>
#include <chrono>

#include "platform/desktop/Application.h"
#include "platform/dispatch/MainQueue.h"
#include "sources/NodesSource.h"
#include "store/Preferences.h"
#include "themes/Themable.h"
#include "themes/ThemesManager.h"
#include "window/AppDelegate.h"
#include "window/MainContent.h"
#include "window/MainContentFactory.h"
#include "window/MainThreadSettingsObserver.h"

namespace tallowmere {
namespace {

void applyThemeToControllers(desktop::ViewController& controller) {
    if (auto* themable = dynamic_cast<Themable*>(&controller)) themable->applyTheme();
    for (auto* child : controller.children()) applyThemeToControllers(*child);
}

void applyThemeToViews(QWidget& view) {
    if (auto* themable = dynamic_cast<Themable*>(&view)) themable->applyTheme();
    for (auto* child : view.children()) {
        if (auto* subview = qobject_cast<QWidget*>(child)) applyThemeToViews(*subview);
    }
}

}  // namespace

MainViewController::MainViewController(MainContent* content, QObject* parent)
    : desktop::ViewController(parent), splitViewController_(content) {
    if (splitViewController_) {
        addChild(&splitViewController_->contentController());
    } else {
        splitViewController_ = makeMainContent(this);
    }
}

MainViewController::~MainViewController() = default;

void MainViewController::loadView() {
    auto* root = new QWidget;
    root->resize(defaultSize);
    root->setMinimumSize(minimumWidth, minimumHeight);
    auto* layout = new QVBoxLayout(root);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(splitViewController_->contentController().view());
    root->installEventFilter(this);
    setView(root);
    startObservations();
}

void MainViewController::startObservations() {
    auto& preferences = *Preferences::shared();
    QPointer<MainViewController> self(this);
    feedsRefreshIntervalObservation_ = MainThreadSettingsObserver::observe(
        preferences, Preferences::KeyPath::feedsRefreshInterval, [self](const std::string&) {
            if (self) self->updateFeedsRefreshTimer(false);
        });
    themeTypeObservation_ = MainThreadSettingsObserver::observe(preferences, Preferences::KeyPath::themeType,
                                                                [self](const std::string&) {
                                                                    if (self) self->reloadTheme();
                                                                });
    showUnreadArticlesCountBadgeObservation_ = MainThreadSettingsObserver::observe(
        preferences, Preferences::KeyPath::showUnreadArticlesCountBadge, [self](const std::string&) {
            if (self) self->refreshDockBadge();
        });
    effectiveAppearanceObservation_ = connect(&desktop::Application::shared(), &desktop::Application::appearanceChanged,
                                              this, &MainViewController::reloadTheme);
}

bool MainViewController::eventFilter(QObject* watched, QEvent* event) {
    // The root view is shown with the window and again when the window comes
    // back from being minimised; the window's own second show once it is
    // mapped is not a new appearance.
    if (watched == view()) {
        if (event->type() == QEvent::Show && !appeared_) {
            appeared_ = true;
            viewDidAppear();
        } else if (event->type() == QEvent::Hide) {
            appeared_ = false;
        }
    }
    return desktop::ViewController::eventFilter(watched, event);
}

void MainViewController::viewDidAppear() {
    QPointer<MainViewController> self(this);
    dispatch::MainQueue::shared().async([self] {
        if (!self) return;
        self->updateFeedsRefreshTimer(true);
        self->refreshDockBadge();
    });
}

void MainViewController::updateFeedsRefreshTimer(bool fireNow) {
    delete feedsRefreshTimer_;
    const auto interval = Preferences::shared()->feedsRefreshInterval();
    if (interval == FeedsRefreshInterval::never) return;
    if (interval == FeedsRefreshInterval::atLaunch) {
        if (fireNow) splitViewController_->refreshFeeds();
        return;
    }
    feedsRefreshTimer_ = new QTimer(this);
    feedsRefreshTimer_->setInterval(std::chrono::minutes(rawValue(interval)));
    connect(feedsRefreshTimer_, &QTimer::timeout, this, [this] { splitViewController_->refreshFeeds(); });
    feedsRefreshTimer_->start();
    if (fireNow) splitViewController_->refreshFeeds();
}

void MainViewController::reloadTheme() {
    QPointer<MainViewController> self(this);
    ThemesManager::shared().reloadTheme([self] {
        if (self) self->applyThemeToWindowTree();
    });
}

void MainViewController::applyThemeToWindowTree() {
    if (auto* themable = dynamic_cast<Themable*>(view()->window())) themable->applyTheme();
    auto& content = splitViewController_->contentController();
    applyThemeToControllers(content);
    applyThemeToViews(*content.view());
}

void MainViewController::refreshDockBadge() {
    auto* delegate = qobject_cast<AppDelegate*>(desktop::Application::shared().delegate());
    if (!delegate) return;
    delegate->updateDockBadge(NodesSource::shared()->unreadArticlesCount(std::nullopt).value_or(0));
}

}  // namespace tallowmere
