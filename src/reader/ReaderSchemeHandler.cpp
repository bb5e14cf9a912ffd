#include "reader/ReaderSchemeHandler.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QMutexLocker>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "themes/FontMap.h"

namespace tallowmere {

namespace {

constexpr const char* kHost = "reader";
const QString kFontsFolder = QStringLiteral("/Fonts/");

QByteArray mimeTypeOfFont(const QString& file) {
    if (file.endsWith(QLatin1String(".otf"), Qt::CaseInsensitive)) return "font/otf";
    return "font/ttf";
}

}  // namespace

void ReaderSchemeHandler::registerScheme() {
    static bool done = false;
    if (done) return;
    done = true;
    QWebEngineUrlScheme readerScheme(scheme);
    readerScheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Not secure: the pages show pictures from plain http addresses, which a
    // secure origin would block as mixed content.
    readerScheme.setFlags(QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(readerScheme);
    // The web engine shares its GL contexts with the widgets; this too must
    // be said before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

QUrl ReaderSchemeHandler::pageFolder() { return QUrl(QStringLiteral("%1://%2/").arg(QLatin1String(scheme), QLatin1String(kHost))); }

ReaderSchemeHandler::ReaderSchemeHandler(QObject* parent) : QWebEngineUrlSchemeHandler(parent) {}

QUrl ReaderSchemeHandler::addPage(QByteArray html) {
    QMutexLocker lock(&mutex_);
    const QString path = QStringLiteral("/page-%1.html").arg(nextPage_++);
    pages_.emplace_back(path, std::move(html));
    while (pages_.size() > keptPages) pages_.pop_front();
    QUrl url = pageFolder();
    url.setPath(path);
    return url;
}

void ReaderSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    if (url.host() != QLatin1String(kHost)) {
        job->fail(QWebEngineUrlRequestJob::UrlInvalid);
        return;
    }
    const QString path = url.path();
    QByteArray body;
    QByteArray type;
    if (path.startsWith(kFontsFolder)) {
        const QString file = path.mid(kFontsFolder.size());
        const auto data = FontMap::shared().fileData(file.toStdString());
        if (!data) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        body = *data;
        type = mimeTypeOfFont(file);
    } else {
        QMutexLocker lock(&mutex_);
        auto it = std::find_if(pages_.begin(), pages_.end(), [&](const auto& page) { return page.first == path; });
        if (it == pages_.end()) {
            lock.unlock();
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        body = it->second;
        type = "text/html;charset=utf-8";
    }
    auto* buffer = new QBuffer(job);
    buffer->setData(body);
    buffer->open(QIODevice::ReadOnly);
    job->reply(type, buffer);
}

}  // namespace tallowmere
