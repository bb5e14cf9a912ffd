#pragma once

#include <QAbstractScrollArea>
#include <QPointer>

#include "window/ToolbarsViewController.h"

namespace tallowmere {

// A pane whose content is one scrolling view: the sidebar's outline, the
// article list's table. Item views scroll themselves, so the scrolling view
// is the item view the subclass hands in (a plain scroll area otherwise).
class ScrollViewController : public ToolbarsViewController {
    Q_OBJECT
public:
    explicit ScrollViewController(QAbstractScrollArea* scrollView = nullptr, QObject* parent = nullptr);
    ~ScrollViewController() override;

    QAbstractScrollArea* scrollView() const { return scrollView_; }

protected:
    void viewDidLoad() override;

private:
    QPointer<QAbstractScrollArea> scrollView_;
};

}  // namespace tallowmere
