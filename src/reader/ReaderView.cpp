#include "reader/ReaderView.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>
#include <QResizeEvent>
#include <QOpenGLWidget>
#include <QTimer>
#include <QWindow>
#include <QWebChannel>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "foundation/AppUtils.h"
#include "foundation/Logger.h"
#include "foundation/Resources.h"
#include "reader/ReaderMessageBridge.h"
#include "reader/ReaderPage.h"
#include "reader/ReaderSchemeHandler.h"
#include "reader/ReaderViewMouseDelegate.h"
#include "reader/ReaderWebStorage.h"
#include "themes/ColorHelpers.h"
#include "themes/ThemesManager.h"
#include "window/ProgressView.h"

namespace tallowmere {

namespace {

constexpr const char* kBridgeName = "readerBridge";

ReaderSchemeHandler*& schemeHandler() {
    static ReaderSchemeHandler* handler = nullptr;
    return handler;
}

[[noreturn]] void missingScript(const QString& name) {
    Logger::error([&] { return "The reader script " + name.toStdString() + " is missing or not UTF-8 text"; });
    std::abort();  // a packaging fault: the reader cannot work without its scripts
}

QString scriptText(const QString& name) {
    const auto data = Resources::data("reader/" + name.toStdString() + ".js");
    if (!data) missingScript(name);
    const QByteArray bytes(data->data(), static_cast<qsizetype>(data->size()));
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError()) missingScript(name);
    return text;
}

// A JSON string literal of the value: safe inside a script whatever it holds.
std::string scriptLiteral(const std::optional<std::string>& value) {
    return nlohmann::json(value.value_or("")).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

QWebEngineProfile* ReaderView::profile() {
    static QWebEngineProfile* profile = [] {
        // Site storage whose removal was asked for goes while no profile has it open.
        ReaderWebStorage::removeScheduled();
        auto* made = new QWebEngineProfile(QStringLiteral("Reader"), qApp);
        made->setPersistentStoragePath(QString::fromStdString(ReaderWebStorage::folder().string()));
        made->setCachePath(QString::fromStdString(ReaderWebStorage::cacheFolder().string()));
        made->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
        made->setHttpUserAgent(made->httpUserAgent() + QLatin1Char(' ') + QString::fromStdString(AppUtils::appName()));
        schemeHandler() = new ReaderSchemeHandler(made);
        made->installUrlSchemeHandler(ReaderSchemeHandler::scheme, schemeHandler());
        return made;
    }();
    return profile;
}

ReaderView::ReaderView(QWidget* parent, EngineStart start)
    : QWidget(parent),
      contentEffectView_(new QWidget(this)),
      channel_(new QWebChannel(this)),
      bridge_(new ReaderMessageBridge(this)),
      progressView_(new ProgressView(ThemesManager::shared().colors().readerProgress, this)) {
    buildScripts();
    installUserScripts();
    channel_->registerObject(kBridgeName, bridge_);
    setAttribute(Qt::WA_StyledBackground, true);
    contentEffectView_->lower();
    progressView_->raise();
    progressView_->hide();
    applyTheme();

    connect(bridge_, &ReaderMessageBridge::messageReceived, this, &ReaderView::receiveMessage);
    timeoutTimer_.setSingleShot(true);
    connect(&timeoutTimer_, &QTimer::timeout, this, [this] {
        Logger::warning([&] { return "The reader stopped a page that did not load in time: " +
                                 (page_ ? page_->requestedUrl() : lastRequestedUrl_).toString().toStdString(); });
        stopLoading();
    });
    if (start == EngineStart::atOnce) {
        makePage();
    } else {
        pageAfterFirstPaint_ = true;
        // The engine's view draws through the window's graphics surface; a
        // window made without one would be made again once the view comes, a
        // flicker. This stand-in, never shown, has it made with one.
        surfaceKeeper_ = new QOpenGLWidget(this);
        surfaceKeeper_->hide();
    }
}

ReaderView::~ReaderView() {
    if (!page_) return;
    // The page goes before the channel and the bridge it posts to.
    disconnect(page_, nullptr, this, nullptr);
    delete webView_;
}

void ReaderView::makePage() {
    if (page_) return;
    delete std::exchange(surfaceKeeper_, nullptr);
    // The view too: shown without a page it would start the engine with a page of its own.
    webView_ = new QWebEngineView(this);
    page_ = new ReaderPage(profile(), webView_);
    insertUserScripts();
    page_->setWebChannel(channel_, QWebEngineScript::ApplicationWorld);
    webView_->setPage(page_);
    page_->setBackgroundColor(palette().color(QPalette::Window));
    webView_->setGeometry(rect());
    webView_->stackUnder(progressView_);
    connect(page_, &QWebEnginePage::loadStarted, this, &ReaderView::loadStarted);
    connect(page_, &QWebEnginePage::loadProgress, this, &ReaderView::loadProgress);
    connect(page_, &QWebEnginePage::loadFinished, this, &ReaderView::loadFinished);
    connect(page_, &QWebEnginePage::urlChanged, this, [this] { awaitingCommit_ = true; });
    connect(page_, &QWebEnginePage::loadingChanged, this, &ReaderView::loadingChanged);
    // Made after its parent was shown, a child stays hidden until told.
    webView_->setVisible(!webViewHidden_);
    if (auto pending = std::exchange(pendingPage_, std::nullopt)) {
        if (pending->url.isEmpty()) {
            showBuiltPage(pending->html);
        } else {
            navigate(pending->url);
        }
    }
}

QWebEngineView* ReaderView::webView() {
    makePage();
    return webView_;
}

void ReaderView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (page_ || !pageAfterFirstPaint_ || awaitsExposure_) return;
    awaitsExposure_ = true;
    QWindow* shown = window()->windowHandle();
    if (shown && !shown->isExposed()) {
        shown->installEventFilter(this);
        return;
    }
    QTimer::singleShot(0, this, &ReaderView::makePage);
}

bool ReaderView::eventFilter(QObject* watched, QEvent* event) {
    // The exposure is handled (painted) before the queued start runs.
    if (event->type() == QEvent::Expose && watched == window()->windowHandle()) {
        watched->removeEventFilter(this);
        QTimer::singleShot(0, this, &ReaderView::makePage);
    }
    return QWidget::eventFilter(watched, event);
}

QWebEngineScript ReaderView::userScript(const QString& name, QWebEngineScript::InjectionPoint injection,
                                        bool mainFrameOnly) const {
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(scriptText(name));
    script.setInjectionPoint(injection);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(!mainFrameOnly);
    return script;
}

void ReaderView::buildScripts() {
    QFile channelFile(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!channelFile.open(QIODevice::ReadOnly)) missingScript(QStringLiteral("qwebchannel"));
    channelScript_.setName(QStringLiteral("QWebChannelJS"));
    channelScript_.setSourceCode(QString::fromUtf8(channelFile.readAll()));
    channelScript_.setInjectionPoint(QWebEngineScript::DocumentCreation);
    channelScript_.setWorldId(QWebEngineScript::ApplicationWorld);
    channelScript_.setRunsOnSubFrames(true);
    messageShimScript_ = userScript(QStringLiteral("MessageShimJS"), QWebEngineScript::DocumentCreation, false);
    contextMenuHandlerScript_ = userScript(QStringLiteral("ContextMenuHandlerJS"), QWebEngineScript::DocumentCreation, false);
    editableFocusScript_ = userScript(QStringLiteral("EditableFocusJS"), QWebEngineScript::DocumentCreation, false);
    linksMouseoverScript_ = userScript(QStringLiteral("LinksMouseoverJS"), QWebEngineScript::DocumentReady, false);
    readabilityScript_ = userScript(QStringLiteral("ReadabilityJS"), QWebEngineScript::DocumentCreation, true);
    readableArticleScript_ = userScript(QStringLiteral("ReadableArticleJS"), QWebEngineScript::DocumentReady, true);
    fullArticleScript_ = userScript(QStringLiteral("FullArticleJS"), QWebEngineScript::DocumentReady, true);
    iTunesScript_ = userScript(QStringLiteral("iTunesJS"), QWebEngineScript::DocumentReady, true);
}

void ReaderView::installUserScripts() {
    // Without the page yet: it takes the set when it is made.
    if (page_) insertUserScripts();
    needsUpdateContentControllerUserScripts_ = false;
    ++scriptInstallCount_;
}

void ReaderView::insertUserScripts() {
    QWebEngineScriptCollection& scripts = page_->scripts();
    scripts.clear();
    // The channel and the post shim come first so that every script can post.
    scripts.insert(channelScript_);
    scripts.insert(messageShimScript_);
    scripts.insert(contextMenuHandlerScript_);
    scripts.insert(editableFocusScript_);
    if (isReadable_) {
        scripts.insert(readabilityScript_);
        scripts.insert(readableArticleScript_);
    } else {
        scripts.insert(linksMouseoverScript_);
        scripts.insert(fullArticleScript_);
    }
    scripts.insert(iTunesScript_);
}

QStringList ReaderView::installedScriptNames() {
    makePage();
    QStringList names;
    for (const QWebEngineScript& script : page_->scripts().toList()) names << script.name();
    return names;
}

void ReaderView::loadHTML(const std::string& html, bool readable) {
    if (showProgress_ != readable) {
        showProgress_ = readable;
        updateProgressVisibility();
    }
    if (isReadable_ != readable) {
        isReadable_ = readable;
        needsUpdateContentControllerUserScripts_ = true;
    }
    if (needsUpdateContentControllerUserScripts_) installUserScripts();
    if (readable) setWebViewHidden(true);
    readablePending_ = false;
    timeoutTimer_.stop();
    showsBuiltPage_ = true;
    startPending_ = true;
    showBuiltPage(QByteArray::fromStdString(html));
}

void ReaderView::load(const QUrl& url, bool readable, std::chrono::milliseconds timeout) {
    if (!showProgress_) {
        showProgress_ = true;
        updateProgressVisibility();
    }
    if (isReadable_ != readable) {
        isReadable_ = readable;
        needsUpdateContentControllerUserScripts_ = true;
    }
    if (needsUpdateContentControllerUserScripts_) installUserScripts();
    setWebViewHidden(readable);
    readablePending_ = readable;
    extractedText_.reset();
    readableLoadSucceeded_ = false;
    ++readableGeneration_;
    showsBuiltPage_ = false;
    startPending_ = true;
    navigate(url);
    timeoutTimer_.start(timeout);
}

void ReaderView::showBuiltPage(const QByteArray& html) {
    if (!page_) {
        pendingPage_ = PendingPage{html, {}};
        pageNeeded();
        return;
    }
    lastRequestedUrl_ = schemeHandler()->addPage(html);
    page_->setUrl(lastRequestedUrl_);
}

void ReaderView::navigate(const QUrl& url) {
    lastRequestedUrl_ = url;
    if (!page_) {
        pendingPage_ = PendingPage{{}, url};
        pageNeeded();
        return;
    }
    page_->setUrl(url);
}

void ReaderView::setWebViewHidden(bool hidden) {
    if (webView_) {
        webView_->setHidden(hidden);
    } else {
        webViewHidden_ = hidden;
    }
}

void ReaderView::pageNeeded() {
    // Due right after the window's first paint: the load waits for it.
    if (!pageAfterFirstPaint_) makePage();
}

void ReaderView::stopLoading() {
    timeoutTimer_.stop();
    // A load asked for but not yet reported as started is stopped too.
    if (page_ && (loading_ || startPending_)) page_->triggerAction(QWebEnginePage::Stop);
    pendingPage_.reset();
    startPending_ = false;
}

void ReaderView::setTopImage(std::optional<std::string> image) {
    topImage_ = std::move(image);
    runTopImageScript();
}

void ReaderView::setTopVideo(std::optional<std::string> video) {
    topVideo_ = std::move(video);
    runTopVideoScript();
}

void ReaderView::runTopVideoScript() {
    const std::string script = "var videoElement = document.getElementById('tallowmere-top_video');\n"
                               "if (videoElement) {\nvideoElement.src=" + scriptLiteral(topVideo_) +
                               ";\nvideoElement.className='" + (topVideo_ ? "show" : "hide") + "';\n}";
    if (page_) page_->runJavaScript(QString::fromStdString(script), QWebEngineScript::ApplicationWorld);
}

void ReaderView::runTopImageScript() {
    const std::string script = "var imageElement = document.getElementById('tallowmere-top_image');\n"
                               "if (imageElement) {\nimageElement.src=" + scriptLiteral(topImage_) +
                               ";\nimageElement.removeAttribute('style');\n}";
    if (page_) page_->runJavaScript(QString::fromStdString(script), QWebEngineScript::ApplicationWorld);
}

void ReaderView::receiveMessage(const QString& name, const std::optional<QString>& body) {
    std::optional<std::string> text;
    if (body) text = body->toStdString();
    auto* mouseDelegate = dynamic_cast<ReaderViewMouseDelegate*>(delegate_);
    if (name == QLatin1String(linksMouseoverMessage)) {
        if (mouseDelegate) mouseDelegate->readerViewDidHoverLink(text);
    } else if (name == QLatin1String(readableArticleMessage)) {
        // Only the extraction of a page loaded for it may hand over text; a
        // page's own script cannot store text in an article.
        if (!readablePending_ || extractedText_) return;
        extractedText_ = text;
        receiveExtraction();
    } else if (name == QLatin1String(fullArticleMessage)) {
        if (mouseDelegate) mouseDelegate->readerViewShowFullArticle();
    } else if (name == QLatin1String(editableFocusMessage)) {
        editableFocus_ = text == "true";
    }
}

// The text is handed over once the load is known to have brought the
// article. The rest of the page is not waited for: stopping it reports the
// outcome, and should no report come, the text goes over shortly after.
void ReaderView::receiveExtraction() {
    if (readableLoadSucceeded_) {
        endReadableLoad(*extractedText_);
        return;
    }
    stopLoading();
    QTimer::singleShot(outcomeWait, this, [this, generation = readableGeneration_] {
        if (generation == readableGeneration_ && readablePending_) endReadableLoad(*extractedText_);
    });
}

void ReaderView::endReadableLoad(const std::optional<std::string>& text) {
    readablePending_ = false;
    if (showProgress_) progressView_->setProgress(1.0);
    updateProgressVisibility();
    if (delegate_) delegate_->readerViewDidReceiveReadableArticle(text);
}

// An engine's error page or a server's error answer is no article: its
// extraction would be stored in place of the article's text.
void ReaderView::settleReadableLoad(const QWebEngineLoadingInfo& info) {
    const bool httpError = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain && info.errorCode() >= 400;
    const bool stoppedBeforeExtraction = info.status() == QWebEngineLoadingInfo::LoadStoppedStatus && !extractedText_;
    if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus || httpError || stoppedBeforeExtraction) {
        endReadableLoad(std::nullopt);
    } else if (extractedText_) {
        endReadableLoad(*extractedText_);
    } else {
        readableLoadSucceeded_ = true;
    }
}

void ReaderView::updateProgressVisibility() {
    if (loading_) {
        progressView_->show();
        return;
    }
    QTimer::singleShot(settleDelay, this, [this] {
        if (!loading_) progressView_->hide();
    });
}

void ReaderView::loadStarted() {
    startPending_ = false;
    loading_ = true;
    // A new page starts without a focused field.
    editableFocus_ = false;
    updateProgressVisibility();
}

void ReaderView::loadProgress(int percent) {
    if (percent > 0 && awaitingCommit_) didCommit();
    if (showProgress_) progressView_->setProgress(percent / 100.0);
}

void ReaderView::loadFinished(bool ok) {
    timeoutTimer_.stop();
    startPending_ = false;
    loading_ = false;
    updateProgressVisibility();
    if (ok) {
        if (awaitingCommit_) didCommit();
        // Media that arrived while the page was still on its way.
        if (showsBuiltPage_ && topVideo_) runTopVideoScript();
        if (showsBuiltPage_ && topImage_) runTopImageScript();
    }
    Q_EMIT loadEnded(ok);
}

void ReaderView::loadingChanged(const QWebEngineLoadingInfo& info) {
    const bool ended = info.status() != QWebEngineLoadingInfo::LoadStartedStatus;
    if (ended && info.url() == lastRequestedUrl_ && readablePending_) settleReadableLoad(info);
    const bool failed = info.status() == QWebEngineLoadingInfo::LoadFailedStatus ||
                        info.status() == QWebEngineLoadingInfo::LoadStoppedStatus;
    // A load cut short by the next one can report its end after the next
    // page has already been committed; hiding then would leave that page
    // hidden for good.
    if (!failed || info.url() != lastRequestedUrl_) return;
    awaitingCommit_ = false;
    webView_->hide();
}

void ReaderView::didCommit() {
    awaitingCommit_ = false;
    if (isReadable_ || !webView_->isHidden()) return;
    QPointer<QWebEngineView> view = webView_;
    QTimer::singleShot(settleDelay, view, [view] { view->show(); });
}

void ReaderView::applyTheme() {
    const ThemesManager& manager = ThemesManager::shared();
    const QColor progress = manager.colors().readerProgress;
    progressView_->setColor(progress);
    const bool useBackground = manager.settings().useReaderBackgroundColor;
    contentEffectView_->setHidden(useBackground);
    // The effect view stands in for the desktop's content background
    // material: near black under a dark reader style, white under a light one.
    QPalette material = contentEffectView_->palette();
    material.setColor(QPalette::Window, contentMaterial(manager.settings().readerStyle));
    contentEffectView_->setPalette(material);
    contentEffectView_->setAutoFillBackground(true);
    // Without the theme's colour the view itself shows the material, so that
    // the colour of a theme shown before never stays behind the page.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, useBackground ? manager.colors().readerBackground
                                                     : material.color(QPalette::Window));
    setPalette(palette);
    setAutoFillBackground(true);
    // Shown while a page loads, before it paints its own (same) colour.
    if (page_) page_->setBackgroundColor(palette.color(QPalette::Window));
}

void ReaderView::setVisible(bool visible) {
    QWidget::setVisible(visible);
    if (!visible) setWebViewHidden(true);
}

void ReaderView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QRect all(QPoint(0, 0), event->size());
    contentEffectView_->setGeometry(all);
    if (webView_) webView_->setGeometry(all);
    progressView_->setGeometry(0, 0, all.width(), progressViewHeight);
}

}  // namespace tallowmere
