#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <mutex>

#include "support/LoopbackServer.h"

// A small HTTP/1.1 server on 127.0.0.1 with a route per path. Every connection gets one answer
// and is closed; connections are served at the same time, so a stalled answer does not hold up
// the next request.
class LocalHttpServer final {
  public:
    enum class Kind {
        Complete,   // the whole body with its length
        Truncated,  // announces the whole body but closes after half of it
        Stalled,    // sends the head and half of the body, then holds the connection open
    };
    struct Route {
        int status = 200;
        QByteArray body;
        Kind kind = Kind::Complete;
        QByteArray contentType = "text/plain";
    };

    LocalHttpServer();
    LocalHttpServer(const LocalHttpServer &) = delete;
    LocalHttpServer &operator=(const LocalHttpServer &) = delete;

    // "http://127.0.0.1:<port>"
    QString BaseUrl() const { return server_.Url(); }
    quint16 Port() const { return server_.Port(); }

    // Answers `path` with `route`; paths without a route get 404.
    void SetRoute(const QString &path, const Route &route);
    void SetRoute(const QString &path, const QByteArray &body, int status = 200);

    // The paths requested so far, oldest first.
    QStringList RequestedPaths() const;

  private:
    void Serve(LoopbackConnection &connection);

    mutable std::mutex mutex_;
    QMap<QString, Route> routes_;
    QStringList requested_;
    // Last: it serves on its own threads, which use the members above, until it is destroyed.
    LoopbackServer server_;
};
