#pragma once

#include <QPointer>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "foundation/Localizable.h"
#include "platform/graph/ObjectsDidChangeCenter.h"
#include "reader/ReaderManagementToolbarDelegate.h"
#include "reader/ReaderReadMode.h"
#include "reader/ReaderView.h"
#include "reader/ReaderViewMouseDelegate.h"
#include "store/Article.h"
#include "themes/Themable.h"
#include "window/ArticlesViewControllerDelegate.h"
#include "window/ToolbarsViewController.h"

class QLabel;

namespace tallowmere {

class ReaderManagementToolbar;

// The reader pane: shows the article selected in the list as the page built
// from its stored text (preview), as its own web page (web), or as the built
// page with the text read from its web page (readable), under the reader
// toolbar and over a one-line field with the hovered link's address.
class ReaderViewController : public ToolbarsViewController,
                             public ArticlesViewControllerDelegate,
                             public ReaderManagementToolbarDelegate,
                             public ReaderViewMouseDelegate,
                             public Themable,
                             public Localizable<ReaderViewController> {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "ReaderViewController";
    // How long a web page may take: briefly when only its text is wanted.
    static constexpr std::chrono::milliseconds readableLoadTimeout{10'000};
    static constexpr std::chrono::milliseconds webLoadTimeout{60'000};
    // A stored text this long or shorter is no article: its web page is read instead.
    static constexpr std::size_t shortTextLength = 19;

    explicit ReaderViewController(QObject* parent = nullptr,
                                  ReaderView::EngineStart engineStart = ReaderView::EngineStart::atOnce);
    ~ReaderViewController() override;

    ReaderManagementToolbar* readerManagementToolbar() const { return readerManagementToolbar_; }
    QLabel* linkTextField() const { return linkTextField_; }
    ReaderView* readerView() const { return readerView_; }
    ReaderReadMode readMode() const { return readMode_; }
    // The window's commands set the mode and the toolbar segment, then reload.
    void setReadMode(ReaderReadMode mode) { readMode_ = mode; }
    const std::optional<Article>& article() const { return article_; }
    bool articleIsFullTextContent() const;
    // The link shown in the link field, before eliding.
    const QString& linkText() const { return linkText_; }

    void reloadArticle();

    void didSelectArticle(const std::optional<Article>& article) override;

    void readerMarkAsStarred(bool starred) override;
    void readerShare() override;
    void readerShowNextArticle() override;
    void readerSetReadMode(ReaderReadMode mode) override;

    void readerViewDidReceiveReadableArticle(const std::optional<std::string>& text) override;
    void readerViewDidHoverLink(const std::optional<std::string>& link) override;
    void readerViewShowFullArticle() override;

    void applyTheme() override;

    // Shorter loads for tests that need a time-out to pass.
    void setLoadTimeouts(std::chrono::milliseconds readable, std::chrono::milliseconds web);

Q_SIGNALS:
    // The toolbar's share and next buttons, for the window's split view to carry out.
    void viewSelectedArticleInDefaultBrowserRequested();
    void showNextArticleRequested();
    // A prefetch for media was started for the page just built.
    void topMediaPrefetchStarted();

protected:
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void articleDidChange();
    void loadArticleLink(bool readable);
    void showArticlePage(const std::optional<std::string>& text);
    static void storeReadableText(const std::optional<std::string>& text, const Article& article);
    void clearTopMedia();
    void showTopMedia(const Article& article);
    void objectsDidChange(const graph::ObjectsDidChange& changes);
    void applyLinkFieldTheme();
    void showLinkText(const QString& text);
    void updateLinkElision();
    void setSegment(ReaderReadMode mode);

    ReaderManagementToolbar* readerManagementToolbar_;
    QLabel* linkTextField_;
    ReaderReadMode readMode_ = ReaderReadMode::preview;
    std::optional<Article> article_;
    ReaderView* readerView_;
    QString linkText_;
    // Bumped by every reload: a load queued for an older one is dropped.
    std::uint64_t reloadGeneration_ = 0;
    std::chrono::milliseconds readableTimeout_ = readableLoadTimeout;
    std::chrono::milliseconds webTimeout_ = webLoadTimeout;
    // Reaches this controller from other threads' blocks only on the main thread.
    std::shared_ptr<QPointer<ReaderViewController>> self_;
    graph::ObjectsDidChangeCenter::Token changesToken_ = 0;
};

}  // namespace tallowmere
