#include "prefs/PreferencesContentViewController.h"

#include <QEvent>
#include <QGridLayout>
#include <QWidget>

namespace tallowmere {

PreferencesContentViewController::PreferencesContentViewController(QObject* parent)
    : desktop::ViewController(parent) {}

void PreferencesContentViewController::saveSettings(Completion completion) {
    if (completion) completion();
}

void PreferencesContentViewController::loadView() {
    auto* container = new QWidget();
    auto* grid = new QWidget(container);
    gridView_ = new QGridLayout(grid);
    gridView_->setContentsMargins(0, 0, 0, 0);
    gridView_->setHorizontalSpacing(gridSpacing);
    gridView_->setVerticalSpacing(gridSpacing);
    auto* centring = new QGridLayout(container);
    centring->addWidget(grid, 0, 0, Qt::AlignCenter);
    container->installEventFilter(this);
    setView(container);
    preferredContentSize_ = QSize(width, 0);
}

void PreferencesContentViewController::addRow(QWidget* label, QWidget* control) {
    view();
    const int row = rows_++;
    if (label) gridView_->addWidget(label, row, 0, Qt::AlignRight | Qt::AlignVCenter);
    if (control) gridView_->addWidget(control, row, 1, Qt::AlignLeft | Qt::AlignVCenter);
}

bool PreferencesContentViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view() && event->type() == QEvent::Show) {
        viewWillAppear();
        QMetaObject::invokeMethod(this, [this] { viewDidAppear(); }, Qt::QueuedConnection);
    }
    if (watched == view() && event->type() == QEvent::Hide) viewDidDisappear();
    return desktop::ViewController::eventFilter(watched, event);
}

}  // namespace tallowmere
