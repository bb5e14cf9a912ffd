#include "prefs/PreferencesWindowController.h"

#include <QVBoxLayout>

#include "prefs/PreferencesViewController.h"

namespace tallowmere {

PreferencesWindowController::PreferencesWindowController(QObject* parent)
    : QObject(parent), contentViewController_(new PreferencesViewController(this)), window_(new QWidget()) {
    window_->setWindowFlag(Qt::Window);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(contentViewController_->view());
}

PreferencesWindowController::~PreferencesWindowController() { delete window_; }

void PreferencesWindowController::showWindow() {
    window_->show();
    window_->raise();
    window_->activateWindow();
}

}  // namespace tallowmere
