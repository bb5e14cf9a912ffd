#include "window/ScrollViewController.h"

#include <QScrollArea>
#include <QVBoxLayout>

namespace tallowmere {

ScrollViewController::ScrollViewController(QAbstractScrollArea* scrollView, QObject* parent)
    : ToolbarsViewController(parent), scrollView_(scrollView ? scrollView : new QScrollArea()) {}

ScrollViewController::~ScrollViewController() {
    if (scrollView_ && !scrollView_->parentWidget()) delete scrollView_;
}

void ScrollViewController::viewDidLoad() {
    ToolbarsViewController::viewDidLoad();
    // Scroll bars only while scrolling is possible, vertical only; no frame
    // or background of its own, so the pane's colours show through.
    scrollView_->setFrameShape(QFrame::NoFrame);
    scrollView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollView_->viewport()->setAutoFillBackground(false);
    scrollView_->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(contentView());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scrollView_);
}

}  // namespace tallowmere
