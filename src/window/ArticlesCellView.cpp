#include "window/ArticlesCellView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <unicode/datefmt.h>
#include <unicode/unistr.h>

#include <memory>

#include "themes/ThemesManager.h"
#include "window/ArticlesListModel.h"
#include "window/ArticlesRowView.h"
#include "window/ArticlesTableView.h"

namespace tallowmere {

namespace {

// Rows painted at most this many articles ago are forgotten now and then.
constexpr std::size_t shownLimit = 2000;
// Spacing between the icon, the feed's name and the date.
constexpr qreal firstLineGap = 8.0;

QString qString(const std::optional<std::string>& text) {
    return text ? QString::fromStdString(*text) : QString();
}

icu::DateFormat& dateFormatter() {
    // One formatter for every row: made once, on first use.
    static const std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createDateTimeInstance(icu::DateFormat::kMedium, icu::DateFormat::kShort));
    return *formatter;
}

// Line pitch: the font's own line spacing, capped.
qreal linePitch(const QFont& font, qreal maximum) { return std::min(QFontMetricsF(font).lineSpacing(), maximum); }

}  // namespace

ArticlesCellView::ArticlesCellView(ArticlesTableView* table, IconSource iconSource)
    : QStyledItemDelegate(table), table_(table), iconSource_(std::move(iconSource)) {
    setObjectName(QString::fromLatin1(identifier));
}

QString ArticlesCellView::formattedDate(graph::Date date) {
    icu::UnicodeString text;
    dateFormatter().format(date.seconds * 1000.0, text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

ArticlesCellView::Content ArticlesCellView::configure(const Article& article) const {
    auto known = shown_.find(article.objectID());
    Content content = known != shown_.end() ? known->second : Content{};
    graph::Context* context = article.context();
    if (!context) return content;
    bool hasFeed = false;
    std::optional<QImage> icon;
    std::optional<std::string> feedName, title, preview;
    std::optional<graph::Date> date;
    context->performAndWait([&] {
        auto feed = article.feed();
        if (!feed) return;
        hasFeed = true;
        if (iconSource_) icon = iconSource_(*feed, imageSize);
        feedName = feed->name();
        date = article.date();
        title = article.title();
        // An empty text counts as present: only an absent one falls through.
        preview = article.descriptionContent();
        if (!preview) preview = article.textContent();
        if (!preview) preview = article.previewContent();
    });
    if (!hasFeed) return content;
    if (icon) content.icon = *icon;
    content.feedName = qString(feedName);
    content.date = date ? formattedDate(*date) : QString();
    if (title) content.title = QString::fromStdString(*title);
    if (preview) content.preview = QString::fromStdString(*preview);
    content.isRead = article.isRead();
    if (shown_.size() >= shownLimit) shown_.clear();
    shown_[article.objectID()] = content;
    return content;
}

QStringList ArticlesCellView::wrappedLines(const QString& text, const QFont& font, qreal width) {
    QStringList lines;
    if (text.isEmpty() || width <= 0) return lines;
    // Two lines of this width never hold more characters than this.
    const qsizetype limit = static_cast<qsizetype>(maximumLines * (width + 1.0) * 2.0);
    QString shown = text.left(limit);
    const bool cut = shown.size() < text.size();
    for (QChar& c : shown) {
        if (c == QLatin1Char('\n') || c == QChar::ParagraphSeparator) c = QChar::LineSeparator;
        else if (c == QLatin1Char('\r') || c == QLatin1Char('\t')) c = QLatin1Char(' ');
    }
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    std::vector<std::pair<int, int>> spans;
    while (static_cast<int>(spans.size()) < maximumLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        spans.emplace_back(line.textStart(), line.textLength());
    }
    layout.endLayout();
    const QFontMetricsF metrics(font);
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const auto [start, length] = spans[i];
        const bool last = i + 1 == spans.size();
        const bool more = start + length < shown.size() || cut;
        QString line = last && more ? shown.mid(start) : shown.mid(start, length);
        line.replace(QChar::LineSeparator, QLatin1Char(' '));
        if (last && more) {
            line = metrics.elidedText(line, Qt::ElideRight, width);
            if (!line.endsWith(QChar(0x2026))) line = metrics.elidedText(line + QChar(0x2026), Qt::ElideRight, width);
        }
        lines << line.trimmed();
    }
    return lines;
}

QSize ArticlesCellView::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), static_cast<int>(ArticlesRowView::height));
}

void ArticlesCellView::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    painter->save();
    ArticlesRowView* rowView = table_ ? table_->rowView(index.row(), true) : nullptr;
    if (rowView && (option.state & QStyle::State_Selected)) rowView->drawSelection(painter, option.rect);
    auto* model = qobject_cast<const ArticlesListModel*>(index.model());
    if (auto article = model ? model->article(index.row()) : std::nullopt) paintContent(painter, option.rect, configure(*article));
    if (rowView && rowView->isBordered()) rowView->drawBorder(painter, option.rect);
    painter->restore();
}

void ArticlesCellView::paintContent(QPainter* painter, const QRectF& rowRect, const Content& content) const {
    const auto& theme = ThemesManager::shared();
    const auto& fonts = theme.fonts();
    const auto& colors = theme.colors();
    const QRectF area = rowRect.marginsRemoved(contentEdgeInsets);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setClipRect(rowRect);

    // First line: icon, feed name (cut at its end), date.
    const QFontMetricsF feedMetrics(fonts.articleFeed.font), dateMetrics(fonts.articleDate.font);
    const qreal firstHeight = std::max({imageSize, feedMetrics.height(), dateMetrics.height()});
    const QRectF iconRect(area.left(), area.top() + (firstHeight - imageSize) / 2, imageSize, imageSize);
    painter->setOpacity(content.isRead ? readIconAlpha : unreadIconAlpha);
    QPainterPath disc;
    disc.addRoundedRect(iconRect, imageCornerRadius, imageCornerRadius);
    painter->fillPath(disc, Qt::white);
    if (!content.icon.isNull()) {
        painter->setClipPath(disc);
        painter->drawImage(iconRect, content.icon);
        painter->setClipRect(rowRect);
    }
    painter->setOpacity(1.0);
    const qreal dateWidth = dateMetrics.horizontalAdvance(content.date);
    const qreal dateLeft = area.right() - dateWidth;
    const qreal feedLeft = iconRect.right() + firstLineGap;
    const qreal feedWidth = std::max<qreal>(0, dateLeft - firstLineGap - feedLeft);
    painter->setFont(fonts.articleFeed.font);
    painter->setPen(colors.articleFeed);
    painter->drawText(QRectF(feedLeft, area.top(), feedWidth, firstHeight), Qt::AlignLeft | Qt::AlignVCenter,
                      feedMetrics.elidedText(QString(content.feedName).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                                             Qt::ElideRight, feedWidth));
    painter->setFont(fonts.articleDate.font);
    painter->setPen(colors.articleDate);
    painter->drawText(QRectF(dateLeft, area.top(), dateWidth + 1, firstHeight), Qt::AlignLeft | Qt::AlignVCenter,
                      content.date);

    // Title and preview, each at most two lines.
    qreal y = area.top() + firstHeight + firstLineSpacing;
    auto paintLines = [&](const QString& text, const QFont& font, const QColor& colour, qreal maximumHeight) {
        const qreal pitch = linePitch(font, maximumHeight);
        const qreal ascent = QFontMetricsF(font).ascent();
        painter->setFont(font);
        painter->setPen(colour);
        for (const QString& line : wrappedLines(text, font, area.width())) {
            if (y >= area.bottom()) break;
            painter->drawText(QPointF(area.left(), y + std::min(ascent, pitch)), line);
            y += pitch;
        }
    };
    paintLines(content.title, fonts.articleTitle.font, content.isRead ? colors.articleTitle : colors.articleTitleUnread,
               titleMaximumLineHeight);
    paintLines(content.preview, fonts.articleContent.font, colors.articleContent, contentMaximumLineHeight);
}

void ArticlesCellView::applyTheme() {
    // Fonts and colours are read from the theme at every paint.
    if (table_) table_->viewport()->update();
}

}  // namespace tallowmere
