#pragma once

#include <string>

#include "foundation/Localizable.h"
#include "themes/Themable.h"
#include "window/Toolbar.h"

class QButtonGroup;
class QToolButton;

namespace tallowmere {

class ReaderManagementToolbarDelegate;

// The strip above the reader: star, next article, the preview/web segments
// and "view in default browser". The owner sets the star and the segment.
class ReaderManagementToolbar : public Toolbar, public Themable, public Localizable<ReaderManagementToolbar> {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "ReaderManagementToolbar";
    static constexpr const char* nextArticleImage = "ReaderNext";

    explicit ReaderManagementToolbar(QWidget* parent = nullptr);

    ReaderManagementToolbarDelegate* delegate() const { return delegate_; }
    void setDelegate(ReaderManagementToolbarDelegate* delegate) { delegate_ = delegate; }

    QToolButton* starButton() const { return starButton_; }
    QToolButton* nextButton() const { return nextButton_; }
    QToolButton* shareButton() const { return shareButton_; }
    QWidget* readModeSegmentedControl() const { return readModeSegmentedControl_; }
    QToolButton* segmentButton(int segment) const;
    // The segment shown; -1 with none.
    int selectedSegment() const;
    // Shows the segment and records it as the last one reported, so that a
    // later click on the other segment is never swallowed.
    void setSelectedSegment(int segment);
    // The segment last reported to the delegate.
    int readModeSelectedSegment() const { return readModeSelectedSegment_; }

    // The actions of the controls.
    void markAsStarred();
    void share();
    void showNext();
    virtual void readModeSelectionChange();

    void applyTheme() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* makeButton(const char* tooltipKey);

    ReaderManagementToolbarDelegate* delegate_ = nullptr;
    QWidget* readModeSegmentedControl_;
    QButtonGroup* segments_;
    int readModeSelectedSegment_ = 0;
    QToolButton* starButton_;
    QToolButton* shareButton_;
    QToolButton* nextButton_;
};

}  // namespace tallowmere
