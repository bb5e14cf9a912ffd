#include "prefs/PreferencesWindowController.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "prefs/PreferencesViewController.h"
#include "prefs/PreferencesWindow.h"

namespace tallowmere {

PreferencesWindowController::PreferencesWindowController(QWidget* owner, QObject* parent)
    : QObject(parent),
      window_(std::make_unique<PreferencesWindow>()),
      contentViewController_(new PreferencesViewController(this)),
      owner_(owner) {
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(contentViewController_->view());
    contentViewController_->viewWillAppear();
}

// The window goes first: the controllers' views live inside it.
PreferencesWindowController::~PreferencesWindowController() { window_.reset(); }

void PreferencesWindowController::showWindow() {
    contentViewController_->viewWillAppear();
    if (!shown_) {
        shown_ = true;
        window_->setTransientParent(owner_);
        center();
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void PreferencesWindowController::center() {
    QScreen* screen = owner_ ? owner_->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame(QPoint(), window_->size());
    frame.moveCenter(screen->availableGeometry().center());
    window_->move(frame.topLeft());
}

}  // namespace tallowmere
