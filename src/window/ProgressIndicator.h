#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace tallowmere {

// The refresh spinner: twelve spokes, painted in the tint colour when one is
// set and in the palette's text colour otherwise.
class ProgressIndicator : public QWidget {
    Q_OBJECT
public:
    explicit ProgressIndicator(QWidget* parent = nullptr);

    QColor tintColor() const { return tintColor_; }
    // An invalid colour goes back to the palette's colour.
    void setTintColor(const QColor& color);
    // The colour the spokes are painted in now.
    QColor spokeColor() const;

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return timer_.isActive(); }

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor tintColor_;
    QTimer timer_;
    int step_ = 0;
};

}  // namespace tallowmere
