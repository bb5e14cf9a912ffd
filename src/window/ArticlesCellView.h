#pragma once

#include <QImage>
#include <QMarginsF>
#include <QString>
#include <QStyledItemDelegate>
#include <functional>
#include <optional>
#include <unordered_map>

#include "platform/graph/ObjectID.h"
#include "platform/graph/Value.h"
#include "store/Article.h"
#include "store/Feed.h"
#include "themes/Themable.h"

class QFont;
class QPainter;

namespace tallowmere {

class ArticlesTableView;

// Paints one row of the article list: the feed's icon on a white disc, the
// feed's name and the date on the first line, then the title and a preview
// of the text, each on at most two lines with the last one cut short. All
// text is shown as plain text. What a row last showed is kept per article,
// so that an article that lost its feed keeps its row as it was.
class ArticlesCellView : public QStyledItemDelegate, public Themable {
    Q_OBJECT
public:
    static constexpr const char* identifier = "ArticlesCellView";
    static inline const QMarginsF contentEdgeInsets{20.0, 10.0, 20.0, 10.0};  // left, top, right, bottom
    static constexpr qreal imageSize = 16.0;
    static constexpr qreal imageCornerRadius = 8.0;
    static constexpr qreal firstLineSpacing = 2.0;
    static constexpr qreal titleMaximumLineHeight = 19.0;
    static constexpr qreal contentMaximumLineHeight = 16.0;
    static constexpr int maximumLines = 2;
    static constexpr qreal readIconAlpha = 0.3;
    static constexpr qreal unreadIconAlpha = 0.9;

    using IconSource = std::function<std::optional<QImage>(const Feed& feed, qreal size)>;

    // What one row shows.
    struct Content {
        QImage icon;
        QString feedName;
        QString date;
        QString title;
        QString preview;
        bool isRead = false;
    };

    explicit ArticlesCellView(ArticlesTableView* table, IconSource iconSource = {});

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void applyTheme() override;

    // The row's content for the article, read now; what the row showed
    // before where the article gives nothing (no feed, no title, no preview).
    Content configure(const Article& article) const;
    // Medium date, short time, in the user's locale and time zone.
    static QString formattedDate(graph::Date date);
    // The text wrapped into at most `maximumLines` lines of `width`, the last
    // one cut short with an ellipsis when the text goes on; only as much of
    // the text as those lines can hold is laid out.
    static QStringList wrappedLines(const QString& text, const QFont& font, qreal width);

private:
    void paintContent(QPainter* painter, const QRectF& rect, const Content& content) const;

    ArticlesTableView* table_;
    IconSource iconSource_;
    mutable std::unordered_map<graph::ObjectID, Content> shown_;
};

}  // namespace tallowmere
