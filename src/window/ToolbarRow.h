#pragma once

#include <QWidget>
#include <array>

#include "window/ToolbarGravity.h"

class QHBoxLayout;

namespace tallowmere {

// One row of a toolbar: controls in a leading, a centre and a trailing area
// inside edge insets. The centre area stays centred in the row whatever the
// other two hold; when the areas do not fit they are clipped, the row never
// asks its container to grow.
class ToolbarRow : public QWidget {
    Q_OBJECT
public:
    explicit ToolbarRow(int inset, QWidget* parent = nullptr);

    void addView(QWidget* view, ToolbarGravity gravity);
    QWidget* area(ToolbarGravity gravity) const;
    // The height controls of the row get: the row's less its insets.
    int controlHeight() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, 0}; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutAreas();

    int inset_;
    std::array<QWidget*, 3> areas_{};
    std::array<QHBoxLayout*, 3> layouts_{};
};

}  // namespace tallowmere
