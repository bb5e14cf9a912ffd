#pragma once

#include <QPixmap>
#include <QToolButton>
#include <optional>
#include <string_view>

#include "foundation/Localizable.h"
#include "themes/Themable.h"
#include "window/NamedAppearance.h"
#include "window/ProgressIndicator.h"
#include "window/Toolbar.h"

namespace tallowmere {

class FeedsManagementToolbarDelegate;

// The sidebar's toolbar: one refresh button at the trailing end, and the
// refresh spinner centred over the button's place, shown instead of the
// button while feeds are being refreshed, added or imported.
class FeedsManagementToolbar : public Toolbar, public Themable, public Localizable<FeedsManagementToolbar> {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "FeedsManagementToolbar";

    explicit FeedsManagementToolbar(QWidget* parent = nullptr);

    FeedsManagementToolbarDelegate* delegate() const { return delegate_; }
    void setDelegate(FeedsManagementToolbarDelegate* delegate) { delegate_ = delegate; }

    QToolButton* refreshButton() const { return refreshButton_; }
    ProgressIndicator* refreshProgressIndicator() const { return refreshProgressIndicator_; }

    bool isRefreshProgressHidden() const { return isRefreshProgressHidden_; }
    // Every assignment, also of the same value, sets button and spinner.
    void setRefreshProgressHidden(bool hidden);

    // The look the controls take from the theme.
    NamedAppearance appearance() const { return appearance_; }
    // The pressed image's colour, when the theme's colour has one.
    std::optional<QColor> alternateColor() const { return alternateColor_; }
    // The button's image, and the one it shows while pressed.
    const QPixmap& image() const { return image_; }
    const QPixmap& pressedImage() const { return pressedImage_; }

    void refresh();
    void applyTheme() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void centreIndicator();

    FeedsManagementToolbarDelegate* delegate_ = nullptr;
    QToolButton* refreshButton_;
    ProgressIndicator* refreshProgressIndicator_;
    bool isRefreshProgressHidden_ = false;
    NamedAppearance appearance_ = NamedAppearance::aqua;
    std::optional<QColor> alternateColor_;
    QPixmap image_;
    QPixmap pressedImage_;
};

}  // namespace tallowmere
