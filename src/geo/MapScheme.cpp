#include "geo/MapScheme.h"

#include <QBuffer>
#include <QFile>
#include <QUrl>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "geo/MapPage.h"

void RegisterMapScheme() {
    static bool registered = false;
    if (registered) {
        return;
    }
    registered = true;
    QWebEngineUrlScheme scheme(kMapScheme);
    // Host syntax gives the page an origin of its own (tarvex://map). No flag grants it local
    // access: the page reaches nothing on disk, only what the handler serves and the web.
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    QWebEngineUrlScheme::registerScheme(scheme);
}

namespace {

// Runs as this code is loaded, before the engine can have made anything.
const bool schemeRegistered = (RegisterMapScheme(), true);

}  // namespace

TMapSchemeHandler::TMapSchemeHandler(QObject *parent) : QWebEngineUrlSchemeHandler(parent) {
    (void)schemeRegistered;
}

void TMapSchemeHandler::SetPage(const QByteArray &html) {
    page_ = html;
}

void TMapSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job) {
    const QUrl url = job->requestUrl();
    if (job->requestMethod() != "GET" || url.host() != QLatin1String(kMapHost)) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    QByteArray body;
    QByteArray type;
    const QString path = url.path();
    if (path == MapPageUrl().path()) {
        body = page_;
        type = "text/html";
    } else if (path == MapPictureUrl(false).path() || path == MapPictureUrl(true).path()) {
        QFile picture(MapPicturePath(path == MapPictureUrl(true).path()));
        if (!picture.open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        body = picture.readAll();
        type = "image/png";
    } else if (path.startsWith(QLatin1String("/leaflet/")) &&
               LeafletFiles().contains(path.mid(9))) {
        // Only the listed files of the system's Leaflet: a path of its own making ("..") never
        // reaches the disk.
        const QString name = path.mid(9);
        QFile file(LeafletFolder() + QLatin1Char('/') + name);
        if (!file.open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        body = file.readAll();
        type = name.endsWith(QLatin1String(".js"))    ? "text/javascript"
               : name.endsWith(QLatin1String(".css")) ? "text/css"
                                                      : "image/png";
    } else {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The job owns the buffer, which holds its own copy of the bytes.
    auto *buffer = new QBuffer(job);
    buffer->setData(body);
    buffer->open(QIODevice::ReadOnly);
    job->reply(type, buffer);
}
