#pragma once

#include <QColor>
#include <QWidget>
#include <optional>
#include <utility>

namespace tallowmere {

// Fills itself with a vertical gradient, the starting colour at the top and
// the ending colour at the bottom; without a gradient it paints nothing.
class GradientView : public QWidget {
    Q_OBJECT
public:
    GradientView(const QColor& startingColor, const QColor& endingColor, QWidget* parent = nullptr);

    const std::optional<std::pair<QColor, QColor>>& gradient() const { return gradient_; }
    void setGradient(std::optional<std::pair<QColor, QColor>> gradient);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<std::pair<QColor, QColor>> gradient_;
};

}  // namespace tallowmere
