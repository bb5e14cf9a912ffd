#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

class QVariantAnimation;

namespace tallowmere {

// The reader's page-load bar: a bar along the top-left that grows to
// `progress` × the view's width over 1/6 s. Hiding the view empties the bar
// at once, so the next load starts from nothing.
class ProgressView : public QWidget {
    Q_OBJECT
public:
    static constexpr int animationDurationMs = 167;  // 1/6 s

    explicit ProgressView(const QColor& color = QColor(), QWidget* parent = nullptr);

    QColor color() const { return color_; }
    // An invalid colour paints no bar.
    void setColor(const QColor& color);
    double progress() const { return progress_; }
    // Not clamped: the bar's target is the view's current width × progress.
    void setProgress(double progress);
    void setVisible(bool visible) override;

    QWidget* barView() const { return barView_; }
    // The width the bar is heading for.
    int barTargetWidth() const { return targetWidth_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setBarWidth(int width);

    QWidget* barView_;
    QColor color_;
    double progress_ = 0;
    int targetWidth_ = 0;
    QPointer<QVariantAnimation> animation_;
};

}  // namespace tallowmere
