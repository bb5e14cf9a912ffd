#pragma once

#include <QColor>

namespace tallowmere {

// The colours of every surface and text role of a theme.
struct ThemeColors {
    QColor windowBackground;
    QColor separator;
    QColor rowBorder;
    QColor feedsButtons;
    QColor feedsTopBackground;
    QColor feedsBottomBackground;
    QColor feedsSelectedRow;
    QColor feedName;
    QColor feedSelectedName;
    QColor articlesBackground;
    QColor articlesButtons;
    QColor articlesCount;
    QColor articlesSelectedRow;
    QColor articleFeed;
    QColor articleDate;
    QColor articleTitle;
    QColor articleTitleUnread;
    QColor articleContent;
    QColor readerBackground;
    QColor readerButtons;
    QColor readerFeed;
    QColor readerTitle;
    QColor readerCreator;
    QColor readerContent;
    QColor readerProgress;
    QColor readerLink;
};

}  // namespace tallowmere
