#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// A TCP server on 127.0.0.1 (port chosen by the system) that the test itself runs on a thread of
// its own, so that a blocking client on the test's thread can talk to it. Connections are served
// one after another by the handler.

class LoopbackConnection final {
  public:
    LoopbackConnection(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}

    // Reads up to and including the first CR LF (or until the peer closes).
    QByteArray ReadLine();
    // Reads an HTTP request head: up to and including the empty line.
    QByteArray ReadRequestHead();
    // Sends all of `data`.
    void Write(const QByteArray &data);
    // Waits, sending nothing, until the peer closes or the server stops.
    void WaitForClose();

  private:
    QByteArray ReadUntil(const QByteArray &end);
    bool WaitReadable();

    int fd_;
    int stopFd_;
    QByteArray pending_;
};

class LoopbackServer final {
  public:
    using Handler = std::function<void(LoopbackConnection &connection, LoopbackServer &server)>;

    explicit LoopbackServer(Handler handler);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    quint16 Port() const { return port_; }
    // "http://127.0.0.1:<port>"
    QString Url() const;
    // "127.0.0.1:<port>"
    QString HostPort() const;

    // What the handler chose to record (request lines, heads), oldest first; thread-safe.
    void Record(const QByteArray &item);
    QList<QByteArray> Recorded() const;
    int Connections() const { return connections_; }

  private:
    void Serve();

    Handler handler_;
    int listenFd_ = -1;
    int stopFds_[2] = {-1, -1};
    quint16 port_ = 0;
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    QList<QByteArray> recorded_;
    std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
quint16 ClosedLoopbackPort();

// An HTTP/1.1 reply with Content-Length and "Connection: close"; `headers` are extra lines
// without line ends.
QByteArray HttpReply(int status, const QByteArray &reason, const QByteArray &body,
                     const QList<QByteArray> &headers = {});

// The value of header `name` (any letter case) in a request head, or an empty array.
QByteArray HeaderValue(const QByteArray &head, const QByteArray &name);

// The path of the request line of a request head ("GET /path HTTP/1.1" gives "/path").
QByteArray RequestPath(const QByteArray &head);
