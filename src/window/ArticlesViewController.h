#pragma once

#include <QLabel>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Localizable.h"
#include "sources/ArticlesSourceDelegate.h"
#include "sources/ArticlesSourceFilter.h"
#include "store/Article.h"
#include "themes/Themable.h"
#include "window/ArticlesCellView.h"
#include "window/ArticlesChangingInfo.h"
#include "window/ArticlesListModel.h"
#include "window/ArticlesManagementToolbarDelegate.h"
#include "window/ScrollViewController.h"

namespace tallowmere {

class ArticlesManagementToolbar;
class ArticlesSource;
class ArticlesTableView;
class ArticlesViewControllerDelegate;
class DataController;
class SearchManager;

// The middle pane: the articles of the sidebar's selection, kept in step
// with the article source's row changes, with the articles toolbar above.
// Selecting a row marks its article read and hands it to the delegate.
class ArticlesViewController : public ScrollViewController,
                               public ArticlesSourceDelegate,
                               public ArticlesManagementToolbarDelegate,
                               public Themable,
                               public Localizable<ArticlesViewController> {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "ArticlesViewController";

    // What the list works with; the program's shared ones by default.
    struct Services {
        ArticlesSource* source = nullptr;
        std::shared_ptr<DataController> dataController;
        SearchManager* searchManager = nullptr;
        ArticlesCellView::IconSource iconSource;
    };
    static Services sharedServices();

    explicit ArticlesViewController(QObject* parent = nullptr);
    explicit ArticlesViewController(Services services, QObject* parent = nullptr);
    ~ArticlesViewController() override;

    ArticlesViewControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(ArticlesViewControllerDelegate* delegate) { delegate_ = delegate; }
    ArticlesManagementToolbar* articlesManagementToolbar() const { return articlesManagementToolbar_; }
    ArticlesTableView* articlesTableView() const { return articlesTableView_; }
    ArticlesListModel* articlesModel() const { return model_; }
    QLabel* noArticlesFoundTextField() const { return noArticlesFoundTextField_; }
    const std::optional<Article>& selectedArticle() const { return selectedArticle_; }
    const std::vector<ArticlesChangingInfo>& changingInfos() const { return changingInfos_; }

    // Reload, back to the top, first row selected.
    virtual void reloadArticles();
    // Selects and reveals the article's row; nothing when it is not listed.
    virtual void selectArticle(const Article& article);
    // Always stars, never unstars.
    virtual void markSelectedArticleAsStarred();
    virtual void setSortUnreadAscending(bool ascending);
    void setFilter(std::optional<ArticlesSourceFilter> filter);
    void openLink(const std::string& link);
    bool copyLink(const std::string& link);

    // The toolbar's commands.
    void articlesMarkAsRead() override;
    void searchTextDidChange(const std::string& text) override;

    void applyTheme() override;

    // The article source's reports; they may come from any thread and are
    // handled in order on the main queue.
    void articlesSourceDidReloadArticles() override;
    void articlesSourceWillChangeArticles() override;
    void articlesSourceDidChangeArticle(std::optional<std::size_t> oldRow, graph::ResultsChange type,
                                        std::optional<std::size_t> newRow) override;
    void articlesSourceDidChangeArticles() override;
    void articlesSourceDidUpdate(const std::vector<Article>& articles) override;

    // Records one reported change by the list's rules; a report that gives
    // no step is dropped. Runs of one kind merge into the last step.
    static void record(std::vector<ArticlesChangingInfo>& infos, std::optional<std::size_t> oldRow,
                       graph::ResultsChange type, std::optional<std::size_t> newRow,
                       std::optional<graph::ObjectID> newRowID);

Q_SIGNALS:
    // A batch of row changes has been applied (or the list was reset instead).
    void batchApplied(bool fitted);

protected:
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tableViewSelectionDidChange();
    void selectRow(int row);
    void updateCount();
    void applyBatch(ArticlesListModel::Stamp stamp, const std::shared_ptr<std::vector<graph::ObjectID>>& after);
    // Takes the source's list again (or the given one, of the same
    // generation), keeping the selected article selected without reporting
    // it anew.
    void resyncArticles(std::optional<std::vector<graph::ObjectID>> ids = std::nullopt);
    void centreLabel();
    template <typename Block>
    void onMainQueue(Block block);

    Services services_;
    ArticlesSource& source_;
    ArticlesViewControllerDelegate* delegate_ = nullptr;
    ArticlesManagementToolbar* articlesManagementToolbar_ = nullptr;
    ArticlesTableView* articlesTableView_;
    ArticlesListModel* model_;
    ArticlesCellView* cellView_;
    QPointer<QLabel> noArticlesFoundTextField_;
    std::vector<ArticlesChangingInfo> changingInfos_;
    std::optional<Article> selectedArticle_;
    // The source holds its delegate weakly: this handle, released first.
    std::shared_ptr<ArticlesSourceDelegate> sourceDelegate_;
    // A search whose results arrive after a newer search began is stale.
    std::uint64_t searchSerial_ = 0;
    bool restoringSelection_ = false;
};

}  // namespace tallowmere
