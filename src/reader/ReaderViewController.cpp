#include "reader/ReaderViewController.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

#include "feeds/PrefetchManager.h"
#include "foundation/HTMLText.h"
#include "foundation/TextOperations.h"
#include "platform/dispatch/MainQueue.h"
#include "reader/ReaderManagementToolbar.h"
#include "reader/ReaderPageBuilder.h"
#include "reader/ReaderView.h"
#include "sources/ArticlesSource.h"
#include "store/DataController.h"
#include "store/Preferences.h"
#include "themes/ThemesManager.h"

namespace tallowmere {

namespace {

std::string withLineBreaks(std::string text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (c == '\n') {
            result += "<br>";
        } else {
            result += c;
        }
    }
    return result;
}

bool isShownLink(const std::optional<std::string>& link) {
    if (!link || link->empty()) return false;
    const QUrl url(QString::fromStdString(*link), QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() && !url.isLocalFile();
}

}  // namespace

ReaderViewController::ReaderViewController(QObject* parent, ReaderView::EngineStart engineStart)
    : ToolbarsViewController(parent),
      readerManagementToolbar_(new ReaderManagementToolbar()),
      linkTextField_(new QLabel(contentView())),
      readerView_(new ReaderView(contentView(), engineStart)),
      self_(std::make_shared<QPointer<ReaderViewController>>(this)) {
    setTopToolbar(readerManagementToolbar_);
    setBottomToolbar(nullptr);
    readerManagementToolbar_->setDelegate(this);

    linkTextField_->setTextFormat(Qt::PlainText);
    linkTextField_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    linkTextField_->setAutoFillBackground(true);
    linkTextField_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    linkTextField_->setContentsMargins(4, 1, 4, 1);
    linkTextField_->installEventFilter(this);
    applyLinkFieldTheme();

    std::weak_ptr<QPointer<ReaderViewController>> weak = self_;
    changesToken_ = graph::ObjectsDidChangeCenter::shared().addListener([weak](const graph::ObjectsDidChange& changes) {
        auto self = weak.lock();
        if (!self) return;
        // Only the main thread may read `article`.
        dispatch::MainQueue::shared().async([self, changes] {
            if (*self) (*self)->objectsDidChange(changes);
        });
    });
}

ReaderViewController::~ReaderViewController() {
    graph::ObjectsDidChangeCenter::shared().removeListener(changesToken_);
    readerView_->setDelegate(nullptr);
}

void ReaderViewController::viewDidLoad() {
    readerView_->setDelegate(this);
    QWidget* content = contentView();
    // The web view fills the pane; the link field lies over its bottom edge.
    auto place = [this, content] {
        readerView_->setGeometry(content->rect());
        const int height = linkTextField_->sizeHint().height();
        linkTextField_->setGeometry(0, content->height() - height, content->width(), height);
        linkTextField_->raise();
    };
    content->installEventFilter(this);
    place();
}

bool ReaderViewController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        if (watched == contentView()) {
            QWidget* content = contentView();
            readerView_->setGeometry(content->rect());
            const int height = linkTextField_->sizeHint().height();
            linkTextField_->setGeometry(0, content->height() - height, content->width(), height);
        } else if (watched == linkTextField_) {
            updateLinkElision();
        }
    }
    return ToolbarsViewController::eventFilter(watched, event);
}

void ReaderViewController::setLoadTimeouts(std::chrono::milliseconds readable, std::chrono::milliseconds web) {
    readableTimeout_ = readable;
    webTimeout_ = web;
}

bool ReaderViewController::articleIsFullTextContent() const {
    if (!article_ || !article_->context()) return false;
    bool full = false;
    article_->context()->performAndWait([&] { full = !article_->isDeleted() && article_->isFullTextContent(); });
    return full;
}

void ReaderViewController::setSegment(ReaderReadMode mode) { readerManagementToolbar_->setSelectedSegment(readerSegment(mode)); }

void ReaderViewController::didSelectArticle(const std::optional<Article>& article) {
    if (!article && !article_) return;
    if (article && article_ && *article == *article_) return;
    article_ = article;
    articleDidChange();
}

void ReaderViewController::articleDidChange() {
    readerManagementToolbar_->starButton()->setChecked(article_ && article_->isStarred());
    if (readMode_ != ReaderReadMode::web) {
        readMode_ = Preferences::shared()->alwaysShowFullArticle() ? ReaderReadMode::readable : ReaderReadMode::preview;
        readerManagementToolbar_->setSelectedSegment(0);
    }
    reloadArticle();
}

void ReaderViewController::reloadArticle() {
    ++reloadGeneration_;
    linkTextField_->hide();
    readerView_->stopLoading();
    if (!article_) {
        readerView_->hide();
        return;
    }
    readerView_->show();
    switch (readMode_) {
        case ReaderReadMode::web:
            loadArticleLink(false);
            return;
        case ReaderReadMode::readable:
            if (!articleIsFullTextContent()) {
                loadArticleLink(true);
                return;
            }
            break;
        case ReaderReadMode::preview:
            break;
    }
    graph::Context* context = article_->context();
    if (!context) return;
    std::optional<std::string> text;
    context->performAndWait([&] {
        if (!article_->isDeleted()) text = article_->textContent();
    });
    if (text) text = withLineBreaks(std::move(*text));
    if (text && characterCount(*text) > shortTextLength) {
        showArticlePage(text);
    } else {
        loadArticleLink(true);
    }
}

void ReaderViewController::loadArticleLink(bool readable) {
    graph::Context* context = article_->context();
    if (!context) return;
    const Article article = *article_;
    const std::uint64_t generation = reloadGeneration_;
    const auto timeout = readable ? readableTimeout_ : webTimeout_;
    auto self = self_;
    context->perform([self, article, generation, readable, timeout] {
        std::optional<std::string> link = article.isDeleted() ? std::nullopt : article.link();
        if (!link) return;
        const QUrl url(QString::fromStdString(*link), QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty()) return;
        dispatch::MainQueue::shared().async([self, url, generation, readable, timeout] {
            // A newer reload has replaced the one that asked for this page.
            if (!*self || (*self)->reloadGeneration_ != generation) return;
            (*self)->readerView_->load(url, readable, timeout);
        });
    });
}

void ReaderViewController::showArticlePage(const std::optional<std::string>& text) {
    const auto page = ReaderPageBuilder::build(*ThemesManager::shared().theme(), *article_, text,
                                               !articleIsFullTextContent(), true);
    if (!page) return;
    if (page->needsMedia) {
        auto self = self_;
        dispatch::MainQueue::shared().async([self] {
            if (*self) (*self)->clearTopMedia();
        });
        const Article article = *article_;
        PrefetchManager::shared().prefetch(article, WebServicePriority::default_, [self, article](bool) {
            dispatch::MainQueue::shared().async([self, article] {
                if (*self) (*self)->showTopMedia(article);
            });
        });
        Q_EMIT topMediaPrefetchStarted();
    }
    readerView_->loadHTML(page->html, false);
}

void ReaderViewController::clearTopMedia() {
    readerView_->setTopVideo(std::nullopt);
    readerView_->setTopImage(std::nullopt);
}

void ReaderViewController::showTopMedia(const Article& article) {
    // Media of an article no longer shown would land in another article's page.
    if (!article_ || !(*article_ == article)) return;
    graph::Context* context = article.context();
    if (!context) return;
    std::optional<std::string> video;
    std::optional<std::string> image;
    context->performAndWait([&] {
        if (article.isDeleted()) return;
        video = article.topVideo();
        if (!video) image = article.topImage();
    });
    if (video) {
        readerView_->setTopVideo(video);
    } else if (image) {
        readerView_->setTopImage(image);
    }
}

void ReaderViewController::storeReadableText(const std::optional<std::string>& text, const Article& article) {
    // An extraction that found nothing leaves the article as it was, so its
    // full text can be read again later.
    if (!text || text->empty() || article.isDeleted()) return;
    const std::optional<std::string> stored = article.textContent();
    if (!stored || characterCount(*stored) < characterCount(*text)) article.setTextContent(*text);
    article.setIsFullTextContent(true);
}

void ReaderViewController::readerViewDidReceiveReadableArticle(const std::optional<std::string>& body) {
    if (!article_) return;
    std::optional<std::string> text;
    if (body) text = strippingHTML(*body, true);
    if (graph::Context* context = article_->context()) {
        context->performAndWait([&] { storeReadableText(text, *article_); });
        // Saved at once, so that the text outlives the session.
        if (auto controller = DataController::owning(*context)) controller->save();
    }
    if (text) text = withLineBreaks(std::move(*text));
    showArticlePage(text);
}

void ReaderViewController::readerViewDidHoverLink(const std::optional<std::string>& link) {
    if (!isShownLink(link)) {
        linkTextField_->hide();
        return;
    }
    showLinkText(QString::fromStdString(*link));
}

void ReaderViewController::showLinkText(const QString& text) {
    linkText_ = text;
    updateLinkElision();
    linkTextField_->show();
    linkTextField_->raise();
}

void ReaderViewController::updateLinkElision() {
    const QFontMetrics metrics(linkTextField_->font());
    const int width = std::max(0, linkTextField_->contentsRect().width());
    linkTextField_->setText(metrics.elidedText(linkText_, Qt::ElideMiddle, width));
}

void ReaderViewController::readerViewShowFullArticle() {
    readMode_ = ReaderReadMode::readable;
    setSegment(readMode_);
    reloadArticle();
}

void ReaderViewController::readerMarkAsStarred(bool starred) {
    if (!article_ || !article_->context()) return;
    ArticlesSource::shared().setStarred(*article_, starred, {});
}

void ReaderViewController::readerShare() { Q_EMIT viewSelectedArticleInDefaultBrowserRequested(); }

void ReaderViewController::readerShowNextArticle() { Q_EMIT showNextArticleRequested(); }

void ReaderViewController::readerSetReadMode(ReaderReadMode mode) {
    readMode_ = mode;
    setSegment(mode);
    reloadArticle();
}

void ReaderViewController::objectsDidChange(const graph::ObjectsDidChange& changes) {
    if (!article_) return;
    const graph::ObjectID shown = article_->objectID();
    const auto it = std::find_if(changes.updated.begin(), changes.updated.end(),
                                 [&](const auto& entry) { return entry.first == shown; });
    if (it == changes.updated.end()) return;
    if (std::find(it->second.begin(), it->second.end(), Article::Key::starredInFeed) == it->second.end()) return;
    readerManagementToolbar_->starButton()->setChecked(article_->isStarred());
}

void ReaderViewController::applyTheme() {
    applyLinkFieldTheme();
    reloadArticle();
}

void ReaderViewController::applyLinkFieldTheme() {
    const ThemesManager& manager = ThemesManager::shared();
    linkTextField_->setFont(manager.fonts().readerLink.font);
    QPalette palette = linkTextField_->palette();
    palette.setColor(QPalette::WindowText, manager.colors().readerLink);
    palette.setColor(QPalette::Window, manager.colors().readerBackground);
    linkTextField_->setPalette(palette);
    updateLinkElision();
}

}  // namespace tallowmere
