#include "window/FeedsCellView.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QTimer>
#include <QPainterPath>
#include <cmath>

#include "sources/ArticlesSource.h"
#include "themes/ThemesManager.h"
#include "window/FeedsOutlineModel.h"
#include "window/FeedsOutlineView.h"
#include "window/FeedsRowView.h"
#include "window/FeedsSmartGroup.h"

namespace tallowmere {

FeedsCellView::FeedsCellView(ArticlesSource& articlesSource, QObject* parent)
    : QStyledItemDelegate(parent), articlesSource_(articlesSource) {
    applyTheme();
    // Later fonts keep this offset, as the cell's layout was made once.
    nameBaselineOffset_ = static_cast<int>(std::floor((font_.pointSizeF() - 1.0) * 0.5));
}

int FeedsCellView::imageViewLeft(int level) {
    return imageViewLeftMargin + (FeedsRowView::height - imageViewSize) / 2 + level * FeedsRowView::height;
}

void FeedsCellView::applyTheme() { font_ = ThemesManager::shared().fonts().feedName.font; }

int FeedsCellView::levelOf(const QModelIndex& index) {
    int level = 0;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) ++level;
    return level;
}

QColor FeedsCellView::nameColor(const QModelIndex& index, bool selected) const {
    const int group = index.data(FeedsOutlineModel::SmartGroupRole).toInt();
    const bool orangeGroup = group == rawValue(FeedsSmartGroup::unread) || group == rawValue(FeedsSmartGroup::today);
    if (orangeGroup && articlesSource_.sortUnreadAscending()) return systemOrange();
    return countColor(selected);
}

QColor FeedsCellView::countColor(bool selected) const {
    const ThemeColors& colors = ThemesManager::shared().colors();
    return selected ? colors.feedSelectedName : colors.feedName;
}

QColor FeedsCellView::selectedRowColor() const {
    const ThemesManager& themes = ThemesManager::shared();
    if (themes.settings().useFeedsBackgroundColors) return themes.colors().feedsSelectedRow;
    // Over the plain sidebar the selection is a veil of the sidebar's style.
    return themes.settings().feedsStyle == ThemeStyle::dark ? QColor(255, 255, 255, 46) : QColor(0, 0, 0, 31);
}

int FeedsCellView::nameLeft(const QModelIndex& index, const QRect& row) const {
    return row.left() + imageViewLeft(levelOf(index)) + imageViewSize + textFieldLeftMargin;
}

namespace {
constexpr const char* editedIndexProperty = "editedIndex";
constexpr const char* editingEndedProperty = "editingEnded";
}  // namespace

QWidget* FeedsCellView::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const {
    if (!index.data(FeedsOutlineModel::FolderRole).toBool()) return nullptr;
    auto* editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("FeedsCellViewNameEditor"));
    editor->setFont(font_);
    editor->setFrame(false);
    editor->setProperty(editedIndexProperty, QVariant::fromValue(QPersistentModelIndex(index)));
    // A name is one line: pasted line breaks become spaces, nothing else changes.
    connect(editor, &QLineEdit::textChanged, editor, [editor](const QString& text) {
        QString line = text;
        for (QChar& c : line)
            if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) c = u' ';
        if (line != text) {
            const int cursor = editor->cursorPosition();
            editor->setText(line);
            editor->setCursorPosition(cursor);
        }
    });
    return editor;
}

void FeedsCellView::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line) return;
    line->setText(index.data(Qt::DisplayRole).toString());
    line->selectAll();
}

void FeedsCellView::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const {
    // The name went to the feeds manager when the editor was allowed to close.
}

void FeedsCellView::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    const QRect row = option.rect;
    const int left = nameLeft(index, row) - 2;
    editor->setGeometry(QRect(left, row.top() + 3, row.right() - unreadCountFieldRightMargin - left, row.height() - 6));
}

bool FeedsCellView::eventFilter(QObject* object, QEvent* event) {
    auto* editor = qobject_cast<QLineEdit*>(object);
    if (!editor) return QStyledItemDelegate::eventFilter(object, event);
    if (editor->property(editingEndedProperty).toBool()) {
        // Closed already: losing the keyboard on the way out commits nothing more.
        if (event->type() == QEvent::FocusOut) return true;
        return QStyledItemDelegate::eventFilter(object, event);
    }
    bool ending = event->type() == QEvent::FocusOut;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            editor->setProperty(editingEndedProperty, true);
            return QStyledItemDelegate::eventFilter(object, event);
        }
        ending = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab || key == Qt::Key_Backtab;
    }
    if (!ending) return QStyledItemDelegate::eventFilter(object, event);
    const QModelIndex index = editor->property(editedIndexProperty).value<QPersistentModelIndex>();
    if (textShouldEndEditing_ && !textShouldEndEditing_(index, editor->text())) {
        // Stays open, and keeps the keyboard when something else took it.
        if (event->type() == QEvent::FocusOut) QTimer::singleShot(0, editor, [editor] { editor->setFocus(); });
        return true;
    }
    editor->setProperty(editingEndedProperty, true);
    return QStyledItemDelegate::eventFilter(object, event);
}

QSize FeedsCellView::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), FeedsRowView::height};
}

void FeedsCellView::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QRect row = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (selected) painter->fillRect(row, selectedRowColor());

    const int iconLeft = row.left() + imageViewLeft(levelOf(index));
    const QRect iconRect(iconLeft, row.center().y() - imageViewSize / 2 + 1, imageViewSize, imageViewSize);
    const QPixmap icon = index.data(FeedsOutlineModel::IconRole).value<QPixmap>();
    if (!icon.isNull()) {
        painter->setOpacity(imageAlpha);
        QPainterPath disc;
        disc.addRoundedRect(iconRect, imageViewCornerRadius, imageViewCornerRadius);
        painter->fillPath(disc, Qt::white);
        painter->setClipPath(disc);
        painter->drawPixmap(iconRect, icon);
        painter->setClipping(false);
        painter->setOpacity(1.0);
    }

    painter->setFont(font_);
    const QFontMetrics metrics(font_);
    const int baseline = row.top() + row.height() / 2 + nameBaselineOffset_;
    const qint64 count = index.data(FeedsOutlineModel::CountRole).toLongLong();
    int countLeft = row.right() - unreadCountFieldRightMargin;
    if (count > 0) {
        const QString digits = QString::number(count);
        countLeft -= metrics.horizontalAdvance(digits);
        QColor color = countColor(selected);
        painter->setOpacity(countAlpha);
        painter->setPen(color);
        painter->drawText(QPoint(countLeft, baseline), digits);
        painter->setOpacity(1.0);
    }
    const auto* outline = qobject_cast<const FeedsOutlineView*>(option.widget);
    const int nameLeft = this->nameLeft(index, row);
    const int nameWidth = countLeft - unreadCountFieldLeftMargin - nameLeft;
    if (nameWidth > 0) {
        const QString name = metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, nameWidth);
        painter->setOpacity(nameAlpha);
        const bool highlighted = outline && outline->highlightedIndex().isValid() && outline->highlightedIndex() == index;
        painter->setPen(nameColor(index, selected || highlighted));
        painter->drawText(QPoint(nameLeft, baseline), name);
        painter->setOpacity(1.0);
    }

    if (outline && outline->borderedIndex().isValid() && outline->borderedIndex() == index) {
        QPen pen(ThemesManager::shared().colors().rowBorder, 2.0);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(row).adjusted(4.0, 1.0, -4.0, -1.0), 4.0, 4.0);
    }
    painter->restore();
}

}  // namespace tallowmere
