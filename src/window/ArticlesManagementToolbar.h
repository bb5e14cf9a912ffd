#pragma once

#include <QIcon>
#include <QImage>
#include <map>
#include <optional>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <string_view>

#include "foundation/Localizable.h"
#include "themes/Themable.h"
#include "window/Toolbar.h"

namespace tallowmere {

class ArticlesManagementToolbarDelegate;

// The toolbar over the article list: mark-all-read, the count of listed
// articles and a search button; the search button swaps the row for a search
// field and a close button. The field reports its text after a short pause
// in typing, or at once on Return.
class ArticlesManagementToolbar : public Toolbar, public Themable, public Localizable<ArticlesManagementToolbar> {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "ArticlesManagementToolbar";
    static constexpr int typingPauseMs = 300;

    explicit ArticlesManagementToolbar(QWidget* parent = nullptr);

    ArticlesManagementToolbarDelegate* delegate() const { return delegate_; }
    void setDelegate(ArticlesManagementToolbarDelegate* delegate) { delegate_ = delegate; }
    int articlesCount() const { return articlesCount_; }
    // Rewrites the count text.
    void setArticlesCount(int count);
    QWidget* previousResponder() const { return previousResponder_; }

    QToolButton* markAsReadButton() const { return markAsReadButton_; }
    QLabel* countField() const { return countField_; }
    QToolButton* searchButton() const { return searchButton_; }
    QLineEdit* searchField() const { return searchField_; }
    QAction* clearSearchAction() const { return clearSearchAction_; }
    QToolButton* closeSearchButton() const { return closeSearchButton_; }

    void markAsRead();
    void showSearchField();
    void hideSearchField();
    void clearSearchText();
    void searchTextChange();
    void applyTheme() override;

    // An image of the resources, tinted; a blank one when it is missing.
    static QImage toolbarImage(std::string_view name, const QColor& tint);

private:
    QToolButton* makeButton(const char* toolTipKey);
    struct ButtonImages {
        QIcon normal;
        QIcon pressed;
    };
    static constexpr int iconSide = 16;
    static QIcon toolbarIcon(const QImage& image);
    void setImages(QToolButton* button, std::string_view name, const QColor& colour, const std::optional<QColor>& alternate);
    void showPressedImages(QToolButton* button);

    ArticlesManagementToolbarDelegate* delegate_ = nullptr;
    int articlesCount_ = 0;
    QToolButton* markAsReadButton_;
    QLabel* countField_;
    QToolButton* searchButton_;
    QLineEdit* searchField_;
    QAction* clearSearchAction_;
    QToolButton* closeSearchButton_;
    QPointer<QWidget> previousResponder_;
    QTimer typingPause_;
    std::map<QToolButton*, ButtonImages> buttonImages_;
};

}  // namespace tallowmere
