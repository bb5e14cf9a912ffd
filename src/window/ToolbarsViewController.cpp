#include "window/ToolbarsViewController.h"

#include <QEvent>
#include <QVBoxLayout>

namespace tallowmere {

ToolbarsViewController::ToolbarsViewController(QObject* parent)
    : desktop::ViewController(parent),
      contentView_(new QWidget()),
      containerView_(new QWidget()),
      contentEffectView_(new QWidget()) {
    contentEffectView_->setObjectName(QStringLiteral("contentEffectView"));
    contentEffectView_->hide();
}

ToolbarsViewController::~ToolbarsViewController() {
    // Parts that never joined the container (the view was never loaded, or a
    // toolbar came too late); a loaded container goes with the base class.
    for (QWidget* part : {static_cast<QWidget*>(contentView_), static_cast<QWidget*>(contentEffectView_),
                          static_cast<QWidget*>(topToolbar_), static_cast<QWidget*>(bottomToolbar_)}) {
        if (part && !part->parentWidget()) delete part;
    }
    if (!isViewLoaded()) delete containerView_;
}

void ToolbarsViewController::loadView() {
    contentEffectView_->setParent(containerView_);
    contentEffectView_->setGeometry(containerView_->rect());
    containerView_->installEventFilter(this);

    auto* layout = new QVBoxLayout(containerView_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (topToolbar_) {
        topToolbar_->setFixedHeight(topToolbarHeight);
        layout->addWidget(topToolbar_);
    }
    layout->addWidget(contentView_, 1);
    if (bottomToolbar_) {
        bottomToolbar_->setFixedHeight(bottomToolbarHeight);
        layout->addWidget(bottomToolbar_);
    }
    contentEffectView_->lower();  // behind everything
    setView(containerView_);
}

bool ToolbarsViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == containerView_ && event->type() == QEvent::Resize && contentEffectView_) {
        contentEffectView_->setGeometry(containerView_->rect());
    }
    return desktop::ViewController::eventFilter(watched, event);
}

}  // namespace tallowmere
