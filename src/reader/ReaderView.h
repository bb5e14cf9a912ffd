#pragma once

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWebEngineScript>
#include <QWidget>
#include <chrono>
#include <optional>
#include <string>

#include "themes/Themable.h"

class QWebChannel;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;

namespace tallowmere {

class ProgressView;
class ReaderMessageBridge;
class ReaderPage;
class ReaderSchemeHandler;
class ReaderViewDelegate;

// The reader pane's web view: shows a built page or an article's web page,
// with a one-point progress bar along its top, runs our scripts in their own
// world and turns their messages into calls on its delegate.
//
// The web engine reports no commit of a navigation: the first progress after
// the page's address changed (or the end of a load that succeeded) counts as
// the commit here.
class ReaderView : public QWidget, public Themable {
    Q_OBJECT
public:
    static constexpr int progressViewHeight = 1;
    // How long a finished load or a commit waits for the page to settle.
    static constexpr std::chrono::milliseconds settleDelay{250};
    // How long an extracted page may take to report its outcome once stopped.
    static constexpr std::chrono::milliseconds outcomeWait{2000};
    static constexpr const char* readableArticleMessage = "readableArticle";
    static constexpr const char* linksMouseoverMessage = "linksMouseover";
    static constexpr const char* fullArticleMessage = "fullArticle";
    static constexpr const char* editableFocusMessage = "editableFocus";

    // When the web engine starts (the page is made). Starting takes a good
    // part of a second: a window about to be shown paints first and starts
    // the engine right after; pages asked for before wait for it.
    enum class EngineStart { atOnce, afterFirstPaint };

    explicit ReaderView(QWidget* parent = nullptr, EngineStart start = EngineStart::atOnce);
    ~ReaderView() override;

    // The persistent profile every reader shares (its disk cache serves
    // pages already read), made on first use.
    static QWebEngineProfile* profile();

    ReaderViewDelegate* delegate() const { return delegate_; }
    void setDelegate(ReaderViewDelegate* delegate) { delegate_ = delegate; }

    // Shows a built page; its relative addresses ("Fonts/…") resolve in the
    // reader's page folder.
    void loadHTML(const std::string& html, bool readable);
    // Shows a web page; the load is stopped when it has not ended within the time-out.
    void load(const QUrl& url, bool readable, std::chrono::milliseconds timeout);
    void stopLoading();
    bool isLoading() const { return loading_; }

    const std::optional<std::string>& topImage() const { return topImage_; }
    void setTopImage(std::optional<std::string> image);
    const std::optional<std::string>& topVideo() const { return topVideo_; }
    void setTopVideo(std::optional<std::string> video);

    void applyTheme() override;
    void setVisible(bool visible) override;

    // The engine's view with its page, made now when they were not yet.
    QWebEngineView* webView();
    ProgressView* progressView() const { return progressView_; }
    QWidget* contentEffectView() const { return contentEffectView_; }
    bool showProgress() const { return showProgress_; }
    bool isReadable() const { return isReadable_; }
    // The focus is in a field of the page that takes typed text, as the
    // page's script last reported.
    bool hasEditableFocus() const { return editableFocus_; }
    // The names of the installed scripts, in order, and how often the set was installed.
    QStringList installedScriptNames();
    int scriptInstallCount() const { return scriptInstallCount_; }
    // The message dispatch, as the page's scripts reach it.
    void receiveMessage(const QString& name, const std::optional<QString>& body);

Q_SIGNALS:
    // After every load that ended, successfully or not.
    void loadEnded(bool ok);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWebEngineScript userScript(const QString& name, QWebEngineScript::InjectionPoint injection, bool mainFrameOnly) const;
    void buildScripts();
    void makePage();
    void pageNeeded();
    void setWebViewHidden(bool hidden);
    void showBuiltPage(const QByteArray& html);
    void navigate(const QUrl& url);
    void installUserScripts();
    void insertUserScripts();
    void updateProgressVisibility();
    void loadStarted();
    void loadProgress(int percent);
    void loadFinished(bool ok);
    void loadingChanged(const QWebEngineLoadingInfo& info);
    void receiveExtraction();
    void settleReadableLoad(const QWebEngineLoadingInfo& info);
    void endReadableLoad(const std::optional<std::string>& text);
    void didCommit();
    void runTopImageScript();
    void runTopVideoScript();

    ReaderViewDelegate* delegate_ = nullptr;
    bool showProgress_ = false;
    bool isReadable_ = false;
    bool needsUpdateContentControllerUserScripts_ = false;
    // A web page is loading for extraction; only then is readable text taken.
    bool readablePending_ = false;
    // The page's extraction, held until the load's outcome says whether it
    // was the article or an error page.
    std::optional<std::optional<std::string>> extractedText_;
    bool readableLoadSucceeded_ = false;
    unsigned readableGeneration_ = 0;
    bool loading_ = false;
    // A load was asked for and the engine has not reported its start yet.
    bool startPending_ = false;
    bool awaitingCommit_ = false;
    // Ours: the page's requested URL falls back to the shown one when a load stops.
    QUrl lastRequestedUrl_;
    bool showsBuiltPage_ = false;
    bool editableFocus_ = false;
    int scriptInstallCount_ = 0;

    QWebEngineScript channelScript_;
    QWebEngineScript messageShimScript_;
    QWebEngineScript contextMenuHandlerScript_;
    QWebEngineScript editableFocusScript_;
    QWebEngineScript linksMouseoverScript_;
    QWebEngineScript readabilityScript_;
    QWebEngineScript readableArticleScript_;
    QWebEngineScript fullArticleScript_;
    QWebEngineScript iTunesScript_;

    QWidget* contentEffectView_;
    // Both made at once, or right after the window was first painted (sooner when asked for).
    QWebEngineView* webView_ = nullptr;
    ReaderPage* page_ = nullptr;
    // Hidden (with the reader, or for a readable load) before it was made.
    bool webViewHidden_ = false;
    bool pageAfterFirstPaint_ = false;
    bool awaitsExposure_ = false;
    QWidget* surfaceKeeper_ = nullptr;
    // What was asked to be shown before the page was made: a built page or an address.
    struct PendingPage {
        QByteArray html;
        QUrl url;
    };
    std::optional<PendingPage> pendingPage_;
    QWebChannel* channel_;
    ReaderMessageBridge* bridge_;
    ProgressView* progressView_;
    QTimer timeoutTimer_;
    std::optional<std::string> topImage_;
    std::optional<std::string> topVideo_;
};

}  // namespace tallowmere
