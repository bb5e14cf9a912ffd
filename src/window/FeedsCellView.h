#pragma once

#include <QStyledItemDelegate>
#include <functional>
#include <string_view>

#include "foundation/Localizable.h"
#include "themes/Themable.h"

namespace tallowmere {

class ArticlesSource;

// Paints every sidebar row: the theme's selection background, the icon on a
// white disc indented by the row's level, the name on one line and the
// unread count at the trailing edge, and the border of the row whose context
// menu is open. It reads only what the model keeps, never the store. A
// folder's name is edited in place in a line editor.
class FeedsCellView : public QStyledItemDelegate, public Themable, public Localizable<FeedsCellView> {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "FeedsCellView";
    static constexpr const char* identifier = "FeedsCellView";
    static constexpr int imageViewLeftMargin = 20;
    static constexpr int imageViewSize = 16;
    static constexpr int imageViewCornerRadius = 8;
    static constexpr int textFieldLeftMargin = 6;
    static constexpr int unreadCountFieldLeftMargin = 30;
    // The count's distance from the row's trailing edge.
    static constexpr int unreadCountFieldRightMargin = 12;
    static constexpr double imageAlpha = 0.8;
    static constexpr double nameAlpha = 0.8;
    static constexpr double countAlpha = 0.6;

    // The names of unread and today while the oldest articles come first.
    static QColor systemOrange() { return QColor(0xff, 0x95, 0x00); }

    explicit FeedsCellView(ArticlesSource& articlesSource, QObject* parent = nullptr);

    // The icon's distance from the row's leading edge at an outline level.
    static int imageViewLeft(int level);
    // Where the name's baseline sits below the row's centre, fixed when the
    // cell was made.
    int nameBaselineOffset() const { return nameBaselineOffset_; }

    // The colours a row is painted in now.
    QColor nameColor(const QModelIndex& index, bool selected) const;
    QColor countColor(bool selected) const;
    QColor selectedRowColor() const;

    // Asked before a name editor closes with a name (Return, Tab, focus
    // leaving it); false keeps it open. Escape closes it without asking.
    using TextShouldEndEditing = std::function<bool(const QModelIndex& index, const QString& name)>;
    void setTextShouldEndEditing(TextShouldEndEditing handler) { textShouldEndEditing_ = std::move(handler); }

    void applyTheme() override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    static int levelOf(const QModelIndex& index);
    // Where the name is drawn in a row.
    int nameLeft(const QModelIndex& index, const QRect& row) const;

    ArticlesSource& articlesSource_;
    QFont font_;
    int nameBaselineOffset_ = 0;
    TextShouldEndEditing textShouldEndEditing_;
};

}  // namespace tallowmere
