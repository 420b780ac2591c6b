#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 (a port of its own), run on threads of its own so that
// blocking clients on the test's thread can talk to it. Every connection gets one answer and is
// closed.
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
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer &) = delete;
    LocalHttpServer &operator=(const LocalHttpServer &) = delete;

    // "http://127.0.0.1:<port>"
    QString BaseUrl() const;
    quint16 Port() const { return port_; }

    // Answers `path` with `route`; paths without a route get 404.
    void SetRoute(const QString &path, const Route &route);
    void SetRoute(const QString &path, const QByteArray &body, int status = 200);

    // The paths requested so far, oldest first.
    QStringList RequestedPaths() const;

  private:
    void AcceptLoop();
    void Serve(int client);

    int listener_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    QMap<QString, Route> routes_;
    QStringList requested_;
    std::thread acceptor_;
    std::vector<std::thread> connections_;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
quint16 UnusedLocalPort();
